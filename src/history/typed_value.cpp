#include "typed_value.h"

#include "common/sjis.h"

#include <charconv>
#include <cstring>

namespace kabuka::history {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
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

// A real in the one form appendNumber() writes, or text.
FieldType realOrText(std::string_view field) {
  double real = 0;
  const auto [end, error] =
      std::from_chars(field.data(), field.data() + field.size(), real, std::chars_format::fixed);
  char back[400];
  if (error == std::errc() && end == field.data() + field.size() &&
      std::string_view(back, formatReal(back, sizeof back, real)) == field) {
    return {Value::Kind::Real, 0, real};
  }
  return {Value::Kind::Text};
}

// Digits beyond this many may not fit an int64; from_chars decides for them.
constexpr size_t kSafeDigits = 18;

}  // namespace

FieldType typeOfField(std::string_view field) {
  if (field.empty()) {
    return {};
  }
  // The integer part: "0", or digits without a leading zero, after an optional
  // minus; read in the same pass, as most fields are whole numbers.
  const size_t first = field[0] == '-' ? 1 : 0;
  size_t i = first;
  std::uint64_t magnitude = 0;
  for (; i < field.size() && isDigit(field[i]); ++i) {
    magnitude = magnitude * 10 + std::uint64_t(field[i] - '0');
  }
  const size_t digits = i - first;
  if (digits == 0 || (digits > 1 && field[first] == '0')) {
    return {Value::Kind::Text};
  }
  if (i < field.size()) {
    return field[i] == '.' && i + 1 < field.size() ? realOrText(field)
                                                   : FieldType{Value::Kind::Text};
  }
  if (first == 1 && magnitude == 0) {
    return {Value::Kind::Text};  // "-0" would come back as "0"
  }
  if (digits <= kSafeDigits) {
    const auto value = std::int64_t(magnitude);
    return {Value::Kind::Integer, first == 1 ? -value : value};
  }
  std::int64_t integer = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), integer);
  if (error == std::errc() && end == field.data() + field.size()) {
    return {Value::Kind::Integer, integer};
  }
  return {Value::Kind::Text};
}

Value typedValue(std::string_view field) {
  const FieldType type = typeOfField(field);
  if (type.kind == Value::Kind::Text) {
    return Value::ofText(fromSjis(QByteArrayView(field.data(), qsizetype(field.size()))));
  }
  return Value{type.kind, type.integer, type.real, {}};
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
