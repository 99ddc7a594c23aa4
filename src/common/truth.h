#pragma once

#include <cstdint>

namespace kabuka {

// The tool's flags and results are 16-bit truth values: -1 is true, 0 is false.
// Anything other than 0 is read as true, as the old flags were.
using Truth = std::int16_t;

inline constexpr Truth kTrue = -1;
inline constexpr Truth kFalse = 0;

constexpr Truth toTruth(bool value) {
  return value ? kTrue : kFalse;
}
constexpr bool isTrue(Truth value) {
  return value != kFalse;
}

}  // namespace kabuka
