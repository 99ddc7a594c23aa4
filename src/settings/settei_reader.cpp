#include "settei_reader.h"

#include "common/field_reader.h"
#include "common/sjis.h"
#include "settings/folder_layout.h"

#include <QFile>

namespace kabuka {

namespace {

const QString kEof = QStringLiteral("EOF");

// Paths in settei.txt are often written for Windows; "\" means "/" here.
QString withForwardSlashes(const QString& value) {
  QString result = value;
  result.replace(QLatin1Char('\\'), QLatin1Char('/'));
  return result;
}

QString withTrailingSlash(const QString& url) {
  if (url.isEmpty() || url.endsWith(QLatin1Char('/'))) {
    return url;
  }
  return url + QLatin1Char('/');
}

// Blanks after an unquoted value are most likely left over from editing; a
// quoted value is kept exactly as written.
std::string_view valueBytes(const Field& field) {
  std::string_view bytes = field.bytes;
  if (!field.quoted) {
    while (!bytes.empty() && (bytes.back() == ' ' || bytes.back() == '\t')) {
      bytes.remove_suffix(1);
    }
  }
  return bytes;
}

class SettingsText {
public:
  explicit SettingsText(const QByteArray& fileBytes)
      : m_encoding(detectSettingsEncoding(fileBytes)), m_bytes(fileBytes) {
    if (m_encoding == SettingsEncoding::Utf8 && m_bytes.startsWith("\xEF\xBB\xBF")) {
      m_bytes.remove(0, 3);
    }
  }

  std::string_view bytes() const { return {m_bytes.constData(), size_t(m_bytes.size())}; }

  QString decode(const Field& field) const {
    const std::string_view raw = valueBytes(field);
    const QByteArrayView view(raw.data(), qsizetype(raw.size()));
    return m_encoding == SettingsEncoding::Utf8 ? QString::fromUtf8(view) : fromSjis(view);
  }

private:
  SettingsEncoding m_encoding;
  QByteArray m_bytes;
};

void storeSetting(SetteiTbl& tbl, const QString& programFolder, const QString& key,
                  const QString& value) {
  using namespace settei;
  struct PlainKey {
    const char16_t* name;
    Entry entry;
    bool isPath;
  };
  static const PlainKey kPlainKeys[] = {
      {u"時系列株価取得サイト", m_site, false},
      {u"時系列信用売買残取得サイト", shinyo_site, false},
      {u"日毎株価フォルダ名", day_folder, true},
      {u"時系列株価フォルダ名", m_folder, true},
      {u"信用売買残フォルダ名", shinyo_folder, true},
      {u"財務情報単独決算フォルダ名", fin_tandoku_folder, true},
      {u"財務情報連結決算フォルダ名", fin_renketsu_folder, true},
      {u"財務情報中間決算フォルダ名", fin_chukan_folder, true},
  };

  if (key == u"株価データベースフォルダパス") {
    tbl[db_path] = resolveDbPath(programFolder, value);
  } else if (key == u"日毎株価取得サイト") {
    tbl[day_site] = withTrailingSlash(value);
  } else if (key == u"修正株価データベースフォルダパス") {
    tbl[adj_db_path] = programFolder + layout::kSeparator + withForwardSlashes(value);
  } else {
    for (const PlainKey& plain : kPlainKeys) {
      if (key == plain.name) {
        tbl[plain.entry] = plain.isPath ? withForwardSlashes(value) : value;
        return;
      }
    }
  }
}

}  // namespace

SettingsEncoding detectSettingsEncoding(QByteArrayView fileBytes) {
  return hasNonAscii(fileBytes) && isValidUtf8(fileBytes) ? SettingsEncoding::Utf8
                                                          : SettingsEncoding::ShiftJis;
}

void resetSetteiTbl(SetteiTbl& settei_tbl, const QString& programFolder) {
  for (QString& entry : settei_tbl) {
    entry.clear();
  }
  settei_tbl[settei::db_path] = layout::defaultDbPath(programFolder);
  settei_tbl[settei::day_folder] = QStringLiteral("data_d");
  settei_tbl[settei::m_folder] = QStringLiteral("data_m");
}

QString resolveDbPath(const QString& programFolder, const QString& value) {
  const QString v = withForwardSlashes(value);
  const QString t = v.trimmed();
  QString resolved;
  if (t.startsWith(QLatin1String("./"))) {
    resolved = programFolder + v.mid(1);
  } else if (layout::isAbsoluteNativePath(t)) {
    resolved = v;
  } else {
    resolved = programFolder + layout::kSeparator + v;
  }
  return layout::withTrailingSeparator(resolved);
}

void settei_read_sub(SetteiTbl& settei_tbl, const QString& programFolder, Pump& pump) {
  resetSetteiTbl(settei_tbl, programFolder);

  QFile file(layout::settingsFile(programFolder));
  if (!file.open(QIODevice::ReadOnly)) {
    return;
  }
  const SettingsText text(file.readAll());
  file.close();

  FieldReader reader(text.bytes());
  QString key;
  QString value;
  while (!(key.contains(kEof) && value.contains(kEof))) {
    if (isTrue(pump.stop_flg())) {
      return;
    }
    pump.yield();
    Field keyField;
    Field valueField;
    // A file without the EOF record ends where it ends; a key whose value is cut
    // off by the end of the file is not a record.
    if (!reader.next(keyField) || !reader.next(valueField)) {
      return;
    }
    key = text.decode(keyField);
    value = text.decode(valueField);
    storeSetting(settei_tbl, programFolder, key, value);
  }
}

}  // namespace kabuka
