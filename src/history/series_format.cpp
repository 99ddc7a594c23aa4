#include "series.h"

namespace kabuka::history {

namespace {

constexpr const char* kKeys[] = {"date", "code", "market", "name",  "open",
                                 "high", "low",  "close",  "volume"};

void appendCsvText(QByteArray& out, const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  if (utf8.contains(',') || utf8.contains('"') || utf8.contains('\n') || utf8.contains('\r')) {
    out += '"';
    out += QByteArray(utf8).replace("\"", "\"\"");
    out += '"';
  } else {
    out += utf8;
  }
}

void appendJsonText(QByteArray& out, const QString& text) {
  out += '"';
  for (const char c : text.toUtf8()) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += QByteArray("\\u00") + QByteArray::number(c, 16).rightJustified(2, '0');
    } else {
      out += c;
    }
  }
  out += '"';
}

}  // namespace

QByteArray seriesCsv(const QList<SeriesRow>& rows, bool bom) {
  QByteArray out = bom ? QByteArray("\xef\xbb\xbf") : QByteArray();
  for (size_t i = 0; i < std::size(kKeys); ++i) {
    out += (i == 0 ? "" : ",");
    out += kKeys[i];
  }
  out += '\n';
  for (const SeriesRow& row : rows) {
    out += row.date.toString(Qt::ISODate).toLatin1();
    for (const QString* text : {&row.code, &row.market, &row.name}) {
      out += ',';
      appendCsvText(out, *text);
    }
    for (const Value& value : row.values) {
      out += ',';
      value.kind == Value::Kind::Text ? appendCsvText(out, value.text) : appendNumber(out, value);
    }
    out += '\n';
  }
  return out;
}

QByteArray seriesJson(const QList<SeriesRow>& rows) {
  QByteArray out = "[";
  for (qsizetype r = 0; r < rows.size(); ++r) {
    const SeriesRow& row = rows[r];
    out += r == 0 ? "\n{" : ",\n{";
    const QString texts[] = {row.date.toString(Qt::ISODate), row.code, row.market, row.name};
    for (size_t i = 0; i < std::size(kKeys); ++i) {
      out += (i == 0 ? "\"" : ",\"");
      out += kKeys[i];
      out += "\":";
      if (i < 4) {
        appendJsonText(out, texts[i]);
        continue;
      }
      const Value& value = row.values[i - 4];
      if (value.kind == Value::Kind::Null) {
        out += "null";
      } else if (value.kind == Value::Kind::Text) {
        appendJsonText(out, value.text);
      } else {
        appendNumber(out, value);
      }
    }
    out += '}';
  }
  out += rows.isEmpty() ? "]\n" : "\n]\n";
  return out;
}

}  // namespace kabuka::history
