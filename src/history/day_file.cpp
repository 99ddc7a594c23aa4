#include "day_file.h"

#include "check/findings.h"
#include "common/field_reader.h"
#include "common/sjis.h"

#include <algorithm>

namespace kabuka::history {

namespace {

bool isAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string_view withoutEndMark(std::string_view bytes) {
  // A DOS end-of-file mark ends the text, as the check and the splitter read it.
  if (!bytes.empty() && bytes.back() == '\x1a') {
    bytes.remove_suffix(1);
  }
  return bytes;
}

}  // namespace

void splitRecords(std::string_view bytes, RawRecord& header, std::vector<RawRecord>& records) {
  records.clear();
  FieldReader reader(withoutEndMark(bytes));
  Field field;
  RawRecord record;
  int index = 0;
  int line = 1;
  while (reader.next(field)) {
    record.fields[size_t(index)] = field.bytes;
    if (++index < 8) {
      continue;
    }
    record.line = line++;
    if (record.line == 1) {
      header = record;
    } else {
      records.push_back(record);
    }
    index = 0;
  }
}

QString faultText(const check::DayFault& fault) {
  const QString words = check::kindText(fault.kind);
  return fault.detail.isEmpty()
             ? words
             : words + QStringLiteral("（") + fault.detail + QStringLiteral("）");
}

QString decodeField(std::string_view sjis) {
  if (isAscii(sjis)) {
    return QString::fromLatin1(sjis.data(), qsizetype(sjis.size()));
  }
  return fromSjis(QByteArrayView(sjis.data(), qsizetype(sjis.size())));
}

std::string decodeFieldUtf8(std::string_view sjis) {
  return isAscii(sjis) ? std::string(sjis) : decodeField(sjis).toStdString();
}

void DayFileConverter::convert(std::string_view bytes, int day, std::string_view dayName,
                               DayContent& out) {
  out.problems.clear();
  out.rows.clear();
  out.header.clear();
  out.textValues = 0;
  for (const check::DayFault& fault : m_scanner.scan(bytes, dayName).faults) {
    out.problems.append(faultText(fault));
  }
  if (!out.problems.isEmpty()) {
    return;
  }
  splitRecords(bytes, m_header, m_records);
  const std::string_view text = withoutEndMark(bytes);
  out.header = decodeField(text.substr(0, text.find("\r\n")));
  out.rows.resize(m_records.size());
  for (size_t i = 0; i < m_records.size(); ++i) {
    const RawRecord& record = m_records[i];
    PriceRow& row = out.rows[i];
    row.code = decodeFieldUtf8(record.fields[0]);
    row.day = day;
    row.market = m_markets.idOf(record.fields[1]);
    row.name = m_names.idOf(record.fields[2]);
    for (size_t v = 0; v < row.values.size(); ++v) {
      row.values[v] = typedValue(record.fields[v + 3]);
      out.textValues += row.values[v].kind == Value::Kind::Text ? 1 : 0;
    }
  }
}

}  // namespace kabuka::history
