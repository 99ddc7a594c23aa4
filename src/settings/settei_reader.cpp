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

// Whether a key/value pair is the terminator record.
bool isEofRecord(QStringView key, QStringView value) {
  return key.contains(kEof) && value.contains(kEof);
}

// The bytes that are read: up to the end of the terminator record, found on the
// raw bytes. That is exact for UTF-8 and ASCII; for Shift-JIS it may end early,
// which only shortens what the encoding is guessed from.
QByteArrayView bytesUpToEofRecord(QByteArrayView fileBytes) {
  FieldReader reader(std::string_view(fileBytes.data(), size_t(fileBytes.size())));
  Field key;
  Field value;
  while (reader.next(key) && reader.next(value)) {
    if (key.bytes.find("EOF") != std::string_view::npos &&
        value.bytes.find("EOF") != std::string_view::npos) {
      return fileBytes.first(reader.position() - fileBytes.data());
    }
  }
  return fileBytes;
}

class SettingsText {
public:
  explicit SettingsText(const QByteArray& fileBytes)
      : m_encoding(detectSettingsEncoding(bytesUpToEofRecord(fileBytes))), m_bytes(fileBytes) {
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

// Reads settei.txt record by record up to its terminator (or its end), handing
// each key and value to `take`. `keepGoing` is asked before every record.
template <typename KeepGoing, typename Take>
void readSettingRecords(const QString& programFolder, KeepGoing&& keepGoing, Take&& take) {
  QFile file(layout::settingsFile(programFolder));
  if (!file.open(QIODevice::ReadOnly)) {
    return;
  }
  const SettingsText text(file.readAll());
  file.close();

  FieldReader reader(text.bytes());
  QString key;
  QString value;
  while (!isEofRecord(key, value)) {
    if (!keepGoing()) {
      return;
    }
    Field keyField;
    Field valueField;
    // A file without the EOF record ends where it ends; a key whose value is cut
    // off by the end of the file is not a record.
    if (!reader.next(keyField) || !reader.next(valueField)) {
      return;
    }
    key = text.decode(keyField);
    value = text.decode(valueField);
    take(key, value);
  }
}

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
  // Taken exactly as the field rule delivers it: trimming more would let a value
  // such as " .\\x" escape the program folder. Only a value that is absolute as
  // written ("/..." here) leaves it.
  const QString v = withForwardSlashes(value);
  QString resolved;
  if (v.startsWith(QLatin1String("./"))) {
    resolved = programFolder + v.mid(1);
  } else if (layout::isAbsoluteNativePath(value)) {
    resolved = v;
  } else {
    resolved = programFolder + layout::kSeparator + v;
  }
  return layout::withTrailingSeparator(resolved);
}

void settei_read_sub(SetteiTbl& settei_tbl, const QString& programFolder, Pump& pump) {
  resetSetteiTbl(settei_tbl, programFolder);
  readSettingRecords(
      programFolder,
      [&pump] {
        if (isTrue(pump.stop_flg())) {
          return false;
        }
        pump.yield();
        return true;
      },
      [&](const QString& key, const QString& value) {
        storeSetting(settei_tbl, programFolder, key, value);
      });
}

QList<QDate> readClosedDays(const QString& programFolder) {
  QList<QDate> days;
  readSettingRecords(
      programFolder, [] { return true; },
      [&days](const QString& key, const QString& value) {
        if (key == u"休場日") {
          const QDate day = QDate::fromString(value, QStringLiteral("yyyy/M/d"));
          if (day.isValid()) {
            days.append(day);
          }
        }
      });
  return days;
}

}  // namespace kabuka
