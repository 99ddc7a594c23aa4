#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kabuka {

// One field as it stands in the bytes, without its quotes; a view into the
// reader's buffer, valid as long as that buffer is.
struct Field {
  std::string_view bytes;
  bool quoted = false;
};

// Reads comma-separated fields from raw bytes, the tool's one rule for its text
// files (settings, fetched files, month files):
//  - a comma or a line end (CR LF, LF or CR) ends a field;
//  - blanks (space, tab) in front of a field are skipped;
//  - a field in double quotes may hold commas and line ends, and loses its quotes;
//    anything between the closing quote and the next delimiter is dropped;
//  - an empty line is one empty field;
//  - blanks at the end of an unquoted field are kept, so bytes pass through as read.
// Records are made by counting fields, not by lines. Works on Shift-JIS without
// decoding: no second byte of a double-byte character is a comma, quote, blank,
// CR or LF.
class FieldReader {
public:
  FieldReader() = default;
  explicit FieldReader(std::string_view bytes)
      : m_pos(bytes.data()), m_end(bytes.data() + bytes.size()) {}

  // Reads the next field into `out`; false when the input is used up.
  bool next(Field& out);

  bool atEnd() const { return m_pos == m_end && !m_emptyFieldPending; }
  // Bytes consumed so far, counted from the start of the buffer.
  const char* position() const { return m_pos; }

private:
  const char* m_pos = nullptr;
  const char* m_end = nullptr;
  const char* findDelimiter(const char* p);

  // Input that ends in a comma still owes the empty field after it.
  bool m_emptyFieldPending = false;
  // Delimiter positions of the 64 bytes from m_blockStart, one bit per byte: a
  // month file has several short fields in every 64 bytes, and this is computed
  // once for all of them.
  const char* m_blockStart = nullptr;
  std::uint64_t m_blockMask = 0;
};

// The reader sits in the innermost loop of the month splitter; keeping it inline
// lets the compiler fold it into that loop.

namespace field_reader_detail {

enum ByteClass : unsigned char { kPlain = 0, kDelimiter = 1 };

constexpr std::array<unsigned char, 256> makeDelimiterTable() {
  std::array<unsigned char, 256> table{};
  table[static_cast<unsigned char>(',')] = kDelimiter;
  table[static_cast<unsigned char>('\r')] = kDelimiter;
  table[static_cast<unsigned char>('\n')] = kDelimiter;
  return table;
}

constexpr auto kDelimiters = makeDelimiterTable();

inline bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

inline const char* findDelimiterScalar(const char* p, const char* end) {
  while (p != end && kDelimiters[static_cast<unsigned char>(*p)] == kPlain) {
    ++p;
  }
  return p;
}

#if defined(__SSE2__)
inline std::uint64_t delimiterMask16(const char* p) {
  const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(',')),
                                    _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('\r')),
                                                 _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\n'))));
  return static_cast<std::uint32_t>(_mm_movemask_epi8(hits));
}
#endif

// One bit per byte of p[0..63]: set where the byte is a comma, CR or LF.
inline std::uint64_t delimiterMask64(const char* p) {
#if defined(__SSE2__)
  return delimiterMask16(p) | delimiterMask16(p + 16) << 16 | delimiterMask16(p + 32) << 32 |
         delimiterMask16(p + 48) << 48;
#else
  std::uint64_t mask = 0;
  for (int i = 0; i < 64; ++i) {
    mask |= std::uint64_t(kDelimiters[static_cast<unsigned char>(p[i])]) << i;
  }
  return mask;
#endif
}

}  // namespace field_reader_detail

// The first comma, CR or LF at or after p, or the end of the input.
inline const char* FieldReader::findDelimiter(const char* p) {
  using namespace field_reader_detail;
  for (;;) {
    if (m_blockStart != nullptr && p >= m_blockStart && p < m_blockStart + 64) {
      const std::uint64_t ahead = m_blockMask >> (p - m_blockStart);
      if (ahead != 0) {
        return p + __builtin_ctzll(ahead);
      }
      p = m_blockStart + 64;
    }
    if (m_end - p < 64) {
      return findDelimiterScalar(p, m_end);
    }
    m_blockStart = p;
    m_blockMask = delimiterMask64(p);
  }
}

inline bool FieldReader::next(Field& out) {
  using namespace field_reader_detail;
  const char* p = m_pos;
  const char* const end = m_end;
  if (p == end) {
    if (!m_emptyFieldPending) {
      return false;
    }
    m_emptyFieldPending = false;
    out = Field{};
    return true;
  }

  while (p != end && isBlank(*p)) {
    ++p;
  }

  const char* delimiter;
  if (p != end && *p == '"') {
    const char* const start = p + 1;
    const auto* close = static_cast<const char*>(std::memchr(start, '"', end - start));
    if (close == nullptr) {
      out = Field{std::string_view(start, end - start), true};
      m_pos = end;
      return true;
    }
    out = Field{std::string_view(start, close - start), true};
    delimiter = findDelimiter(close + 1);
  } else {
    delimiter = findDelimiter(p);
    out = Field{std::string_view(p, delimiter - p), false};
  }

  if (delimiter == end) {
    m_pos = end;
  } else if (*delimiter == ',') {
    m_pos = delimiter + 1;
    m_emptyFieldPending = (m_pos == end);
  } else if (*delimiter == '\r' && delimiter + 1 != end && delimiter[1] == '\n') {
    m_pos = delimiter + 2;
  } else {
    m_pos = delimiter + 1;
  }
  return true;
}

}  // namespace kabuka
