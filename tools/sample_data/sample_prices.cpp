#include "sample_prices.h"

#include "calendar/market_calendar.h"

#include <QString>
#include <QStringEncoder>

#include <array>
#include <cstdint>

namespace kabuka::tools {

namespace {

// Name parts with awkward Shift-JIS bytes in them: 表, ソ and 能 end in 0x5C.
const std::array<const char16_t*, 16> kNameParts = {
    u"日本", u"東京", u"表示", u"ソフト", u"能力", u"電機", u"化学",  u"商事",
    u"水産", u"建設", u"薬品", u"証券",   u"銀行", u"海運", u"①技研", u"ホールディングス"};
const std::array<const char16_t*, 4> kMarkets = {u"東証1部", u"東証2部", u"マザーズ", u"ＪＱ"};

class Random {
public:
  explicit Random(std::uint64_t seed)
      : m_state(seed * 6364136223846793005ULL + 1442695040888963407ULL) {}
  std::uint32_t next() {
    m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
    return std::uint32_t(m_state >> 33);
  }
  int below(int n) { return int(next() % std::uint32_t(n)); }

private:
  std::uint64_t m_state;
};

QByteArray sjis(const QString& text) {
  QStringEncoder encoder("CP932");
  return encoder.encode(text);
}

struct Vocabulary {
  std::array<QByteArray, kNameParts.size()> names;
  std::array<QByteArray, kMarkets.size()> markets;
  QByteArray dayTitle;
  QByteArray monthTitle;
};

const Vocabulary& vocabulary() {
  static const Vocabulary words = [] {
    Vocabulary v;
    for (size_t i = 0; i < kNameParts.size(); ++i) {
      v.names[i] = sjis(QString::fromUtf16(kNameParts[i]));
    }
    for (size_t i = 0; i < kMarkets.size(); ++i) {
      v.markets[i] = sjis(QString::fromUtf16(kMarkets[i]));
    }
    v.dayTitle = sjis(QStringLiteral("日毎株価"));
    v.monthTitle = sjis(QStringLiteral("日毎株価月間"));
    return v;
  }();
  return words;
}

enum class Form { DayFile, MonthFile };

void appendNumber(QByteArray& out, long long value) {
  out += QByteArray::number(value);
}

void appendDayHeader(QByteArray& out, QDate day, int records) {
  out += day.toString(QStringLiteral("yyyyMMdd")).toLatin1();
  out += ',';
  appendNumber(out, records);
  out += ',';
  out += vocabulary().dayTitle;
  out += ",TSE,,,,\r\n";
}

// A record: the code, the market, the name, the four prices and the volume. A
// stock keeps its market and name from day to day, as listed stocks do.
void appendRecord(QByteArray& out, Random& random, int index, Form form) {
  const Vocabulary& words = vocabulary();
  const int parts = int(words.names.size());
  appendNumber(out, 1300 + index * 2);
  out += ',';
  out += words.markets[size_t(index) % words.markets.size()];
  out += ',';
  const QByteArray name =
      words.names[size_t(index * 7 % parts)] + words.names[size_t((index * 11 + 3) % parts)];
  const int kind = random.below(500);
  if (kind == 0) {
    // A name with a comma must be quoted in every form of the file.
    out += '"' + name + ',' + words.names[0] + '"';
  } else if (form == Form::MonthFile && kind < 100) {
    out += '"' + name + '"';
  } else {
    out += name;
  }
  const int base = 100 + random.below(9000);
  const int low = base - random.below(50);
  const int high = base + random.below(50);
  const int close = low + random.below(high - low + 1);
  for (int price : {base, high, low, close}) {
    out += ',';
    appendNumber(out, price);
  }
  out += ',';
  appendNumber(out, 100LL * (1 + random.below(100000)));
  out += "\r\n";
}

void appendDay(QByteArray& out, QDate day, int records, Form form) {
  Random random(std::uint64_t(day.toJulianDay()));
  appendDayHeader(out, day, records);
  for (int i = 0; i < records; ++i) {
    appendRecord(out, random, i, form);
  }
}

// The sample market knows no extra closed days.
const MarketCalendar& marketCalendar() {
  static const MarketCalendar calendar;
  return calendar;
}

}  // namespace

QList<QDate> SamplePrices::tradingDays(int year, int month) {
  const QDate first(year, month, 1);
  return marketCalendar().tradingDays(first, first.addMonths(1).addDays(-1));
}

bool SamplePrices::isTradingDay(QDate day) {
  return marketCalendar().isTradingDay(day);
}

QByteArray SamplePrices::dayFile(QDate day) const {
  QByteArray out;
  out.reserve(qsizetype(recordsPerDay) * 64 + 64);
  appendDay(out, day, recordsPerDay, Form::DayFile);
  return out;
}

QByteArray SamplePrices::monthFile(int year, int month, QDate lastDay) const {
  QList<QDate> days = tradingDays(year, month);
  if (lastDay.isValid()) {
    days.removeIf([lastDay](QDate day) { return day > lastDay; });
  }
  QByteArray out;
  out.reserve(qsizetype(days.size()) * (recordsPerDay * 64 + 64) + 64);
  out += QByteArray::number(year * 100 + month) + ',' + QByteArray::number(days.size()) + ',' +
         vocabulary().monthTitle + ",TSE,,,,\r\n";
  for (const QDate& day : days) {
    appendDay(out, day, recordsPerDay, Form::MonthFile);
  }
  return out;
}

}  // namespace kabuka::tools
