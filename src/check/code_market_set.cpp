#include "code_market_set.h"

#include "common/sjis.h"

namespace kabuka::check {

namespace {

// A field's text in UTF-8: ASCII as it is, anything else converted.
std::string textOf(std::string_view sjis) {
  const QByteArrayView bytes(sjis.data(), qsizetype(sjis.size()));
  return hasNonAscii(bytes) ? fromSjis(bytes).toUtf8().toStdString() : std::string(sjis);
}

}  // namespace

bool sameText(std::string_view a, std::string_view b) {
  return a == b || ((hasNonAscii(QByteArrayView(a.data(), qsizetype(a.size()))) ||
                     hasNonAscii(QByteArrayView(b.data(), qsizetype(b.size())))) &&
                    textOf(a) == textOf(b));
}

void CodeMarketSet::clear() {
  m_numeric.assign(kNumericCodeKeys / 64 + 1, 0);
  m_firstMarket.resize(kNumericCodeKeys);
  m_other.clear();
  m_pairs.clear();
}

bool CodeMarketSet::insert(std::string_view code, std::string_view market) {
  if (const int key = numericCodeKey(code); key >= 0) {
    std::uint64_t& word = m_numeric[size_t(key) / 64];
    const std::uint64_t bit = std::uint64_t(1) << (key % 64);
    if ((word & bit) != 0) {
      return insertAgain(code, m_firstMarket[size_t(key)], market);
    }
    word |= bit;
    m_firstMarket[size_t(key)] = market;
    return true;
  }
  const auto [at, fresh] = m_other.emplace(textOf(code), market);
  return fresh || insertAgain(at->first, at->second, market);
}

bool CodeMarketSet::insertAgain(std::string_view code, std::string_view firstMarket,
                                std::string_view market) {
  if (sameText(firstMarket, market)) {
    return false;
  }
  // Rare: a code on two markets. Its pairs are kept as texts from now on.
  const auto pairOf = [&code](std::string_view on) {
    return std::string(code) + '\0' + textOf(on);
  };
  m_pairs.insert(pairOf(firstMarket));
  return m_pairs.insert(pairOf(market)).second;
}

}  // namespace kabuka::check
