#include "typed_value.h"

#include "common/sjis.h"

#include <charconv>
#include <cstring>

namespace kabuka::history {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The integer part of a decimal number: "0" or digits without a leading zero,
// after an optional minus. Returns the length, 0 when there is none.
size_t integerPart(std::string_view text) {
  size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
  const size_t first = i;
  while (i < text.size() && isDigit(text[i])) {
    ++i;
  }
  const size_t digits = i - first;
  if (digits == 0 || (digits > 1 && text[first] == '0')) {
    return 0;
  }
  return i;
}

size_t formatReal(char* out, size_t size, double value) {
  const auto result = std::to_chars(out, out + size, value, std::chars_format::fixed);
  size_t length = size_t(result.ptr - out);
  if (std::memchr(out, '.', length) == nullptr && length + 2 <= size) {
    out[length++] = '.';
    out[length++] = '0';
  }
  return length;
}

Value numberOrText(std::string_view field) {
  const size_t whole = integerPart(field);
  if (whole == field.size()) {
    std::int64_t integer = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), integer);
    // "-0" reads as 0, which would come back as "0".
    if (error == std::errc() && end == field.data() + field.size() &&
        !(integer == 0 && field[0] == '-')) {
      return Value::ofInteger(integer);
    }
  } else if (whole > 0 && field[whole] == '.' && whole + 1 < field.size()) {
    double real = 0;
    const auto [end, error] =
        std::from_chars(field.data(), field.data() + field.size(), real, std::chars_format::fixed);
    char back[400];
    if (error == std::errc() && end == field.data() + field.size() &&
        std::string_view(back, formatReal(back, sizeof back, real)) == field) {
      return Value::ofReal(real);
    }
  }
  return Value::ofText(fromSjis(QByteArrayView(field.data(), qsizetype(field.size()))));
}

}  // namespace

Value typedValue(std::string_view field) {
  if (field.empty()) {
    return Value{};
  }
  return numberOrText(field);
}

void appendNumber(QByteArray& out, const Value& value) {
  char buffer[400];
  if (value.kind == Value::Kind::Integer) {
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.integer);
    out.append(buffer, qsizetype(result.ptr - buffer));
  } else if (value.kind == Value::Kind::Real) {
    out.append(buffer, qsizetype(formatReal(buffer, sizeof buffer, value.real)));
  }
}

}  // namespace kabuka::history
