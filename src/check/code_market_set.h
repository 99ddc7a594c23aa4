#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kabuka::check {

// True when two fields (Shift-JIS) are one text once converted.
bool sameText(std::string_view a, std::string_view b);

// Most stock codes are a few digits: a code of up to five digits has a number of
// its own below kNumericCodeKeys, by length and value, so "0123" and "123" stay
// apart. -1 for any other code.
constexpr int kNumericCodeKeys = 111110;
inline int numericCodeKey(std::string_view code) {
  constexpr int kOffsets[6] = {0, 0, 10, 110, 1110, 11110};
  if (code.empty() || code.size() > 5) {
    return -1;
  }
  int value = 0;
  for (char c : code) {
    if (c < '0' || c > '9') {
      return -1;
    }
    value = value * 10 + (c - '0');
  }
  return kOffsets[code.size()] + value;
}

// The (stock code, market) pairs of one day, to find a stock listed twice on one
// market; a code listed on two markets is two rows a day and is sound. Codes are
// mostly a few digits: those go to a bit set keyed by length and value (so "0123"
// and "123" stay apart), others to a hash map. Markets are compared as text, so
// the two byte forms code page 932 has for some characters are one market, as
// they are one text once converted. Reused from day to day; the views it keeps
// point into the day's bytes, which must stay until the next clear().
class CodeMarketSet {
public:
  void clear();
  // False when the day already had the code on this market.
  bool insert(std::string_view code, std::string_view market);

private:
  // A code the day had before, first on `firstMarket`.
  bool insertAgain(std::string_view code, std::string_view firstMarket, std::string_view market);

  std::vector<std::uint64_t> m_numeric;
  std::vector<std::string_view> m_firstMarket;  // by numeric key; valid where the bit is set
  std::unordered_map<std::string, std::string_view> m_other;  // by the code's text
  // The code and market texts of the codes the day has on more than one market.
  std::unordered_set<std::string> m_pairs;
};

}  // namespace kabuka::check
