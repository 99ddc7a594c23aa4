#include "day_file_scan.h"

#include "common/field_reader.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <bitset>
#include <charconv>
#include <memory>

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

QString latin(std::string_view bytes) {
  return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

std::uint32_t hashOf(std::string_view code) {
  std::uint32_t hash = 2166136261u;
  for (char c : code) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  return hash;
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
  std::string_view firstField;
  int badFieldsLine = 0;
  int badFieldsCount = 0;
  int badEndLine = 0;
  int duplicateLine = 0;
  int duplicateFirstLine = 0;
  std::string_view duplicateCode;
};

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

void DayFileScanner::startDay(size_t expectedCodes) {
  size_t capacity = 1024;
  while (capacity < expectedCodes * 2) {
    capacity *= 2;
  }
  if (m_slots.size() < capacity) {
    m_slots.assign(capacity, Slot{});
    m_generation = 0;
  }
  if (++m_generation == 0) {
    std::fill(m_slots.begin(), m_slots.end(), Slot{});
    m_generation = 1;
  }
}

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
             QStringLiteral("（0x%1）").arg(static_cast<unsigned char>(bytes[bad]), 2, 16,
                                           QLatin1Char('0'))});
  }

  // A record is a line of a little under 64 bytes; growing the set mid-day would
  // cost more than a generous start.
  startDay(bytes.size() / 48);
  m_count = 0;
  LineTally tally;
  const char* const begin = bytes.data();
  FieldReader reader(bytes);
  Field field;
  for (;;) {
    const char* const before = reader.position();
    if (!reader.next(field)) {
      break;
    }
    ++tally.fields;
    if (tally.fields == 1) {
      tally.firstField = field.bytes;
    } else if (tally.fields == 2 && tally.line == 1) {
      tally.headerCount = field.bytes;
    }
    const Ending ending = endingOf(before, reader.position(), begin);
    if (ending == Ending::Comma) {
      continue;
    }
    if (tally.fields != 8 && tally.badFieldsLine == 0) {
      tally.badFieldsLine = tally.line;
      tally.badFieldsCount = tally.fields;
    }
    if (ending != Ending::CrLf && tally.badEndLine == 0) {
      tally.badEndLine = tally.line;
    }
    if (tally.line == 1) {
      tally.headerDay = tally.firstField;
    } else if (int firstLine = insertCode(tally.firstField, tally.line);
               firstLine != 0 && tally.duplicateLine == 0) {
      tally.duplicateLine = tally.line;
      tally.duplicateFirstLine = firstLine;
      tally.duplicateCode = tally.firstField;
    }
    ++tally.line;
    tally.fields = 0;
  }
  result.records = std::max(0, tally.line - 2);

  if (tally.headerDay != dayName) {
    result.faults.append({FindingKind::HeaderDateMismatch,
                          QStringLiteral("見出し行の日付「%1」").arg(latin(tally.headerDay))});
  }
  long long announced = 0;
  if (!parseCount(tally.headerCount, announced)) {
    result.faults.append({FindingKind::BadRecordCount,
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
                          QStringLiteral("銘柄コード %1（%2 行目と %3 行目）")
                              .arg(latin(tally.duplicateCode))
                              .arg(tally.duplicateFirstLine)
                              .arg(tally.duplicateLine)});
  }
  return result;
}

int DayFileScanner::insertCode(std::string_view code, int line) {
  if ((m_count + 1) * 2 > m_slots.size()) {
    grow();
  }
  const std::uint32_t hash = hashOf(code);
  const size_t mask = m_slots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = m_slots[i];
    if (slot.generation != m_generation) {
      slot = Slot{m_generation, hash, line, code};
      ++m_count;
      return 0;
    }
    if (slot.hash == hash && slot.code == code) {
      return slot.line;
    }
  }
}

void DayFileScanner::grow() {
  std::vector<Slot> old(m_slots.size() * 2);
  old.swap(m_slots);
  const size_t mask = m_slots.size() - 1;
  for (const Slot& slot : old) {
    if (slot.generation != m_generation) {
      continue;
    }
    size_t i = slot.hash & mask;
    while (m_slots[i].generation == m_generation) {
      i = (i + 1) & mask;
    }
    m_slots[i] = slot;
  }
}

}  // namespace kabuka::check
