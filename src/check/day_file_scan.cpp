#include "day_file_scan.h"

#include "common/field_reader.h"
#include "common/sjis.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <bitset>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kabuka::check {

namespace {

enum SjisClass : unsigned char { kSingle, kLead, kBad };

struct SjisTables {
  std::array<unsigned char, 256> byteClass{};
  std::bitset<65536> validPair;
};

bool isLeadByte(int b) {
  return (b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc);
}

bool isTrailByte(int b) {
  return b >= 0x40 && b <= 0xfc && b != 0x7f;
}

// Whether the code page assigns a character to the pair. Asking the converter
// itself keeps the unassigned rows (0x85 0x40 and the like) out; without a
// converter only the pair's shape is judged.
bool isAssignedPair(int lead, int trail) {
  // A fresh decoder per pair: an error once seen stays with a decoder.
  QStringDecoder decoder("CP932");
  if (!decoder.isValid()) {
    return true;
  }
  const char pair[2] = {char(lead), char(trail)};
  const QString text = decoder.decode(QByteArrayView(pair, 2));
  return !decoder.hasError() && text.size() == 1 && text.at(0) != QChar(0xfffd) &&
         text.at(0) != QChar(0x1a);
}

std::unique_ptr<SjisTables> buildSjisTables() {
  auto tables = std::make_unique<SjisTables>();
  for (int b = 0; b < 256; ++b) {
    const bool single = b < 0x80 || (b >= 0xa1 && b <= 0xdf);
    tables->byteClass[b] = single ? kSingle : isLeadByte(b) ? kLead : kBad;
    if (!isLeadByte(b)) {
      continue;
    }
    for (int trail = 0x40; trail <= 0xfc; ++trail) {
      if (isTrailByte(trail) && isAssignedPair(b, trail)) {
        tables->validPair.set(size_t(b << 8 | trail));
      }
    }
  }
  return tables;
}

const SjisTables& sjisTables() {
  static const std::unique_ptr<SjisTables> tables = buildSjisTables();
  return *tables;
}

// How far from `i` the bytes stay ASCII.
size_t skipAscii(const unsigned char* p, size_t i, size_t n) {
#if defined(__SSE2__)
  while (i + 16 <= n) {
    const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
    if (high != 0) {
      return i + size_t(__builtin_ctz(unsigned(high)));
    }
    i += 16;
  }
#endif
  while (i < n && p[i] < 0x80) {
    ++i;
  }
  return i;
}

enum class Ending { Comma, CrLf, LfOnly, CrOnly, EndOfInput };

// What ended the field just read, seen from the reader's position before and after.
Ending endingOf(const char* before, const char* after, const char* begin) {
  if (after == before) {
    return Ending::EndOfInput;  // the empty field owed after a final comma
  }
  switch (after[-1]) {
    case ',':
      return Ending::Comma;
    case '\n':
      return (after - 2 >= begin && after[-2] == '\r') ? Ending::CrLf : Ending::LfOnly;
    case '\r':
      return Ending::CrOnly;
    default:
      return Ending::EndOfInput;
  }
}

int lineAt(std::string_view bytes, size_t offset) {
  return 1 + int(std::count(bytes.begin(), bytes.begin() + qsizetype(offset), '\n'));
}

QString lineText(int line) {
  return QStringLiteral("%1 行目").arg(line);
}

QString shown(std::string_view sjis) {
  return fromSjis(QByteArrayView(sjis.data(), qsizetype(sjis.size())));
}

QString latin(std::string_view bytes) {
  return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

// A count as the day header gives it: a whole decimal number, blanks around it.
bool parseCount(std::string_view field, long long& count) {
  const auto notBlank = [](char c) { return c != ' ' && c != '\t'; };
  const auto first = std::find_if(field.begin(), field.end(), notBlank);
  const auto last = std::find_if(field.rbegin(), field.rend(), notBlank).base();
  if (first >= last) {
    return false;
  }
  const char* const end = field.data() + (last - field.begin());
  const auto [stop, error] = std::from_chars(field.data() + (first - field.begin()), end, count);
  return error == std::errc() && stop == end;
}

// What one pass over the day's lines found; turned into faults at the end.
struct LineTally {
  int line = 1;
  int fields = 0;
  std::string_view headerDay;
  std::string_view headerCount;
  int badFieldsLine = 0;
  int badFieldsCount = 0;
  int badEndLine = 0;
  int duplicateLine = 0;
  int duplicateFirstLine = 0;
  std::string_view duplicateCode;
  std::string_view duplicateMarket;
};

// A line of plain fields, read without the field reader: when it holds no quote
// and no CR but the one before its LF, its fields are its commas plus one, and the
// reader would give the same fields.
struct PlainLine {
  int fields = 0;
  std::string_view firstField;
  std::string_view secondField;
  Ending ending = Ending::EndOfInput;
  const char* next = nullptr;
};

// The bits set in a mask of 16 bits, counted in place: the base instruction set
// has no popcnt, and the compiler's fallback is a library call per line.
int bitsSet(unsigned mask) {
  mask = mask - ((mask >> 1) & 0x5555u);
  mask = (mask & 0x3333u) + ((mask >> 2) & 0x3333u);
  mask = (mask + (mask >> 4)) & 0x0f0fu;
  return int((mask + (mask >> 8)) & 0x1fu);
}

// An unquoted field, without the blanks in front that the field rule skips.
std::string_view fieldBetween(const char* start, const char* end) {
  while (start != end && field_reader_detail::isBlank(*start)) {
    ++start;
  }
  return std::string_view(start, size_t(end - start));
}

bool readPlainLine(const char* p, const char* end, PlainLine& line) {
  const auto* newline = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
  const char* const stop = newline != nullptr ? newline : end;
  const bool crlf = newline != nullptr && stop != p && stop[-1] == '\r';
  const char* const contentEnd = crlf ? stop - 1 : stop;
  int commas = 0;
  const char* firstComma = nullptr;
  const char* secondComma = nullptr;
  const char* q = p;
#if defined(__SSE2__)
  for (; q + 16 <= contentEnd; q += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const int special = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('"')),
                                                       _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\r'))));
    if (special != 0) {
      return false;
    }
    const unsigned comma = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(','))));
    if (comma != 0 && secondComma == nullptr) {
      const unsigned after = firstComma == nullptr ? comma & (comma - 1) : comma;
      firstComma = firstComma != nullptr ? firstComma : q + __builtin_ctz(comma);
      secondComma = after != 0 ? q + __builtin_ctz(after) : nullptr;
    }
    commas += bitsSet(comma);
  }
#endif
  for (; q < contentEnd; ++q) {
    if (*q == '"' || *q == '\r') {
      return false;
    }
    if (*q == ',') {
      secondComma = firstComma != nullptr && secondComma == nullptr ? q : secondComma;
      firstComma = firstComma != nullptr ? firstComma : q;
      ++commas;
    }
  }
  const char* const firstEnd = firstComma != nullptr ? firstComma : contentEnd;
  line.fields = commas + 1;
  line.firstField = fieldBetween(p, firstEnd);
  line.secondField =
      firstComma != nullptr
          ? fieldBetween(firstComma + 1, secondComma != nullptr ? secondComma : contentEnd)
          : std::string_view();
  line.ending = newline == nullptr ? Ending::EndOfInput : crlf ? Ending::CrLf : Ending::LfOnly;
  line.next = newline != nullptr ? newline + 1 : end;
  return true;
}

// The line on which `code` first stands on `market`, for the message about its
// second; lines counted as the scan counts them.
int firstLineWith(std::string_view bytes, std::string_view code, std::string_view market) {
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  for (int line = 1; p != end; ++line) {
    FieldReader reader(std::string_view(p, size_t(end - p)));
    std::array<std::string_view, 2> firstTwo;
    Field field;
    for (size_t index = 0;; ++index) {
      const char* const before = reader.position();
      if (!reader.next(field)) {
        break;
      }
      if (index < firstTwo.size()) {
        firstTwo[index] = field.bytes;
      }
      if (endingOf(before, reader.position(), p) != Ending::Comma) {
        break;
      }
    }
    if (line > 1 && sameText(firstTwo[0], code) && sameText(firstTwo[1], market)) {
      return line;
    }
    p = reader.position();
  }
  return 0;
}

}  // namespace

size_t firstInvalidSjisByte(std::string_view bytes) {
  const SjisTables& tables = sjisTables();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  for (;;) {
    i = skipAscii(p, i, n);
    while (i < n && p[i] >= 0x80) {
      const unsigned char kind = tables.byteClass[p[i]];
      if (kind == kSingle) {
        ++i;
        continue;
      }
      if (kind == kBad || i + 1 == n || !tables.validPair.test(size_t(p[i] << 8 | p[i + 1]))) {
        return i;
      }
      i += 2;
    }
    if (i >= n) {
      return std::string_view::npos;
    }
  }
}

namespace {

void finishLine(LineTally& tally, CodeMarketSet& codes, int fields, std::string_view firstField,
                std::string_view secondField, Ending ending) {
  if (fields != 8 && tally.badFieldsLine == 0) {
    tally.badFieldsLine = tally.line;
    tally.badFieldsCount = fields;
  }
  if (ending != Ending::CrLf && tally.badEndLine == 0) {
    tally.badEndLine = tally.line;
  }
  if (tally.line == 1) {
    tally.headerDay = firstField;
  } else if (!codes.insert(firstField, secondField) && tally.duplicateLine == 0) {
    tally.duplicateLine = tally.line;
    tally.duplicateCode = firstField;
    tally.duplicateMarket = secondField;
  }
  ++tally.line;
}

// Reads one line with the field reader; returns where the next line starts.
const char* readLineByFields(const char* p, const char* end, LineTally& tally,
                             CodeMarketSet& codes) {
  FieldReader reader(std::string_view(p, size_t(end - p)));
  Field field;
  int fields = 0;
  std::string_view first, second;
  for (;;) {
    const char* const before = reader.position();
    if (!reader.next(field)) {
      break;
    }
    ++fields;
    if (fields == 1) {
      first = field.bytes;
    } else if (fields == 2) {
      second = field.bytes;
      tally.headerCount = tally.line == 1 ? second : tally.headerCount;
    }
    const Ending ending = endingOf(before, reader.position(), p);
    if (ending != Ending::Comma) {
      finishLine(tally, codes, fields, first, second, ending);
      return reader.position();
    }
  }
  if (fields > 0) {
    finishLine(tally, codes, fields, first, second, Ending::EndOfInput);
  }
  return end;
}

}  // namespace

DayScan DayFileScanner::scan(std::string_view bytes, std::string_view dayName) {
  DayScan result;
  if (bytes.empty()) {
    result.faults.append({FindingKind::EmptyFile, {}});
    return result;
  }
  if (const size_t bad = firstInvalidSjisByte(bytes); bad != std::string_view::npos) {
    result.faults.append(
        {FindingKind::InvalidSjis,
         lineText(lineAt(bytes, bad)) +
             QStringLiteral("（0x%1）")
                 .arg(static_cast<unsigned char>(bytes[bad]), 2, 16, QLatin1Char('0'))});
  }

  // A DOS end-of-file mark ends the text, as it does for the splitter; a file
  // collected by date keeps whatever the server sent.
  if (bytes.back() == '\x1a') {
    bytes.remove_suffix(1);
  }
  m_codes.clear();
  LineTally tally;
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  while (p != end) {
    PlainLine plain;
    // The day header always goes through the field reader: its second field counts.
    if (tally.line > 1 && readPlainLine(p, end, plain)) {
      finishLine(tally, m_codes, plain.fields, plain.firstField, plain.secondField, plain.ending);
      p = plain.next;
    } else {
      p = readLineByFields(p, end, tally, m_codes);
    }
  }
  if (tally.duplicateLine != 0) {
    tally.duplicateFirstLine = firstLineWith(bytes, tally.duplicateCode, tally.duplicateMarket);
  }
  result.records = std::max(0, tally.line - 2);

  if (tally.headerDay != dayName) {
    result.faults.append({FindingKind::HeaderDateMismatch,
                          QStringLiteral("見出し行の日付「%1」").arg(latin(tally.headerDay))});
  }
  long long announced = 0;
  if (!parseCount(tally.headerCount, announced)) {
    result.faults.append(
        {FindingKind::BadRecordCount,
         QStringLiteral("件数「%1」が数ではありません").arg(latin(tally.headerCount))});
  } else if (announced != result.records) {
    result.faults.append(
        {FindingKind::BadRecordCount,
         QStringLiteral("見出し %1 件、実際 %2 件").arg(announced).arg(result.records)});
  }
  if (tally.badFieldsLine != 0) {
    result.faults.append({FindingKind::BadFieldCount,
                          lineText(tally.badFieldsLine) +
                              QStringLiteral("に項目が %1 個").arg(tally.badFieldsCount)});
  }
  if (tally.badEndLine != 0) {
    result.faults.append({FindingKind::BadLineEnd, lineText(tally.badEndLine)});
  }
  if (tally.duplicateLine != 0) {
    result.faults.append({FindingKind::DuplicateCode,
                          QStringLiteral("銘柄コード %1、市場「%2」（%3 行目と %4 行目）")
                              .arg(shown(tally.duplicateCode), shown(tally.duplicateMarket))
                              .arg(tally.duplicateFirstLine)
                              .arg(tally.duplicateLine)});
  }
  return result;
}

}  // namespace kabuka::check
