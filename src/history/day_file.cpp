#include "day_file.h"

#include "check/code_market_set.h"
#include "check/findings.h"
#include "common/field_reader.h"
#include "common/sjis.h"
#include "history/row_codec.h"

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

DayFileConverter::DayFileConverter(TextTable& codes, TextTable& markets, TextTable& names)
    : m_codes(codes), m_markets(markets), m_names(names), m_numericCodes(check::kNumericCodeKeys) {}

void DayFileConverter::convert(std::string_view bytes, int day, std::string_view dayName,
                               DayContent& out) {
  out.problems.clear();
  out.header.clear();
  out.rows.records.clear();
  out.rows.codes.clear();
  out.textValues = 0;
  const check::DayScan scan = m_scanner.scan(bytes, dayName);
  for (const check::DayFault& fault : scan.faults) {
    out.problems.append(faultText(fault));
  }
  if (!out.problems.isEmpty()) {
    return;
  }
  // Room for the day at once: a record takes some 30 bytes, rarely more.
  out.rows.codes.reserve(size_t(scan.records));
  out.rows.records.reserve(size_t(scan.records) * 40);
  // Sound: every line has eight fields and ends in CR LF.
  const std::string_view text = withoutEndMark(bytes);
  out.header = decodeField(text.substr(0, text.find("\r\n")));
  FieldReader reader(text);
  Field field;
  std::string_view fields[8];
  size_t index = 0;
  bool header = true;
  while (reader.next(field)) {
    fields[index] = field.bytes;
    if (++index < std::size(fields)) {
      continue;
    }
    index = 0;
    if (!header) {
      convertRecord(fields, day, out);
    }
    header = false;
  }
}

void DayFileConverter::convertRecord(const std::string_view (&fields)[8], int day,
                                     DayContent& out) {
  const std::uint32_t code = codeNumber(fields[0]);
  RowEncoder row(out.rows.records);
  row.begin(code, day, m_markets.idOf(fields[1]), m_names.idOf(fields[2]));
  for (size_t v = 3; v < 8; ++v) {
    const FieldType type = typeOfField(fields[v]);
    switch (type.kind) {
      case Value::Kind::Null:
        row.null();
        break;
      case Value::Kind::Integer:
        row.integer(type.integer);
        break;
      case Value::Kind::Real:
        row.real(type.real);
        break;
      case Value::Kind::Text:
        row.text(decodeFieldUtf8(fields[v]));
        ++out.textValues;
        break;
    }
  }
  row.end();
  out.rows.codes.push_back(code);
}

std::uint32_t DayFileConverter::codeNumber(std::string_view sjis) {
  const int key = check::numericCodeKey(sjis);
  if (key < 0) {
    return std::uint32_t(m_codes.idOf(sjis));
  }
  std::uint32_t& number = m_numericCodes[size_t(key)];
  if (number == 0) {
    number = std::uint32_t(m_codes.idOf(sjis));
  }
  return number;
}

}  // namespace kabuka::history
