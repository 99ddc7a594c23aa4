#include "records.h"

#include <QDate>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kabuka {

long long countOf(std::string_view field) {
  size_t i = 0;
  while (i < field.size() && (field[i] == ' ' || field[i] == '\t')) {
    ++i;
  }
  // from_chars takes no leading "+", which a count may carry.
  if (i + 1 < field.size() && field[i] == '+' && field[i + 1] != '-') {
    ++i;
  }
  double value = 0;
  const char* const first = field.data() + i;
  const char* const last = field.data() + field.size();
  // Always the "." decimal point, whatever the user's locale says.
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
  if (error != std::errc() || !std::isfinite(value)) {
    return 0;
  }
  // Far beyond any real count; kept finite so the loops stay well defined.
  constexpr double kLimit = 1e15;
  return static_cast<long long>(std::nearbyint(std::clamp(value, -kLimit, kLimit)));
}

bool isDayName(std::string_view field) {
  return field.size() == 8 &&
         std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isDayOfMonth(std::string_view field, SplitMonth month) {
  if (!isDayName(field)) {
    return false;
  }
  const auto number = [field](size_t from, size_t digits) {
    int value = 0;
    for (size_t i = from; i < from + digits; ++i) {
      value = value * 10 + (field[i] - '0');
    }
    return value;
  };
  return number(0, 4) == month.year && number(4, 2) == month.month &&
         QDate(month.year, month.month, number(6, 2)).isValid();
}

}  // namespace kabuka
