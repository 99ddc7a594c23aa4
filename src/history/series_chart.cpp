#include "series.h"

#include "common/round_step.h"

#include <QHash>
#include <QLocale>
#include <QMap>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace kabuka::history {

namespace {

constexpr int kWidth = 1160;
constexpr int kLeft = 64;
constexpr int kRight = kWidth - 16;
constexpr int kPriceTop = 16;
constexpr int kPriceBottom = 376;
constexpr int kVolumeTop = 396;
constexpr int kVolumeBottom = 486;
constexpr int kAxisBottom = 526;
// Narrower than this, a day's candle cannot be told from its neighbours.
constexpr double kNarrowestCandle = 2.0;

enum class Span { Day, Week, Month };

struct Candle {
  double open = 0, high = 0, low = 0, close = 0, volume = 0;
  QDate first, last;  // the days with values
  int days = 0;
};

struct Period {
  QDate start, end;  // the calendar days the slot stands for
  std::optional<Candle> candle;
};

std::optional<double> numberOf(const Value& value) {
  if (value.kind == Value::Kind::Integer) {
    return double(value.integer);
  }
  if (value.kind == Value::Kind::Real) {
    return value.real;
  }
  return std::nullopt;
}

QDate periodStart(const QDate& day, Span span) {
  switch (span) {
    case Span::Day:
      return day;
    case Span::Week:
      return day.addDays(1 - day.dayOfWeek());
    case Span::Month:
      return QDate(day.year(), day.month(), 1);
  }
  return day;
}

QDate periodEnd(const QDate& start, Span span) {
  return span == Span::Day    ? start
         : span == Span::Week ? start.addDays(6)
                              : start.addMonths(1).addDays(-1);
}

// The trading days of the range, and any other day that has a row.
QList<QDate> slotDays(const QList<SeriesRow>& rows, const MarketCalendar& calendar) {
  QList<QDate> days = calendar.tradingDays(rows.first().date, rows.last().date);
  for (const SeriesRow& row : rows) {
    days.append(row.date);
  }
  std::sort(days.begin(), days.end());
  days.erase(std::unique(days.begin(), days.end()), days.end());
  return days;
}

Span spanFor(const QList<QDate>& days) {
  for (Span span : {Span::Day, Span::Week, Span::Month}) {
    QDate previous;
    int periods = 0;
    for (const QDate& day : days) {
      const QDate start = periodStart(day, span);
      periods += start != previous ? 1 : 0;
      previous = start;
    }
    if (double(kRight - kLeft) / std::max(periods, 1) >= kNarrowestCandle) {
      return span;
    }
  }
  return Span::Month;
}

std::vector<Period> periodsOf(const QList<SeriesRow>& rows, const QList<QDate>& days, Span span) {
  std::vector<Period> periods;
  QHash<QDate, size_t> index;
  for (const QDate& day : days) {
    const QDate start = periodStart(day, span);
    if (periods.empty() || periods.back().start != start) {
      index.insert(start, periods.size());
      periods.push_back({start, periodEnd(start, span), std::nullopt});
    }
  }
  for (const SeriesRow& row : rows) {
    const auto open = numberOf(row.values[0]), high = numberOf(row.values[1]),
               low = numberOf(row.values[2]), close = numberOf(row.values[3]);
    if (!open || !high || !low || !close) {
      continue;  // not traded that day: a gap
    }
    std::optional<Candle>& candle = periods[index.value(periodStart(row.date, span))].candle;
    if (!candle) {
      candle = Candle{*open, *high, *low, *close, 0, row.date, row.date, 0};
    }
    candle->high = std::max(candle->high, *high);
    candle->low = std::min(candle->low, *low);
    candle->close = *close;
    candle->last = row.date;
    candle->volume += numberOf(row.values[4]).value_or(0);
    ++candle->days;
  }
  return periods;
}

QString num(double value) {
  return QString::number(value, 'f', 1);
}

QString price(double value) {
  return value == std::floor(value) ? QString::number(qint64(value))
                                    : QString::number(value, 'g', 10);
}

// About five round steps over the range.
QString spanName(Span span) {
  return span == Span::Day    ? QStringLiteral("日")
         : span == Span::Week ? QStringLiteral("週")
                              : QStringLiteral("月");
}

// What one candle stands for: "1 日", "1 週間", "1 か月".
QString unitName(Span span) {
  return span == Span::Day    ? QStringLiteral("日")
         : span == Span::Week ? QStringLiteral("週間")
                              : QStringLiteral("か月");
}

QString tooltip(const Period& period, Span span) {
  const Candle& c = *period.candle;
  QString when = c.first.toString(Qt::ISODate);
  if (span != Span::Day) {
    when += QStringLiteral("〜") + c.last.toString(Qt::ISODate) +
            QStringLiteral("（%1、%2 日）").arg(spanName(span)).arg(c.days);
  }
  return QStringLiteral("%1\n始値 %2　高値 %3\n安値 %4　終値 %5\n出来高 %6")
      .arg(when, price(c.open), price(c.high), price(c.low), price(c.close),
           QString::number(qint64(c.volume)));
}

struct Scale {
  double low, high, volumeHigh, slot;
  double x(size_t i) const { return kLeft + slot * (double(i) + 0.5); }
  double y(double v) const {
    return kPriceBottom - (kPriceBottom - kPriceTop) * (v - low) / std::max(high - low, 1e-9);
  }
  double vy(double v) const {
    return kVolumeBottom - (kVolumeBottom - kVolumeTop) * v / std::max(volumeHigh, 1.0);
  }
};

Scale scaleOf(const std::vector<Period>& periods) {
  Scale scale{1e300, -1e300, 0,
              double(kRight - kLeft) / double(std::max<size_t>(periods.size(), 1))};
  for (const Period& period : periods) {
    if (period.candle) {
      scale.low = std::min(scale.low, period.candle->low);
      scale.high = std::max(scale.high, period.candle->high);
      scale.volumeHigh = std::max(scale.volumeHigh, period.candle->volume);
    }
  }
  const double step = roundStep(scale.high - scale.low, 5);
  scale.low = std::floor(scale.low / step) * step;
  scale.high = std::ceil(scale.high / step) * step + (scale.high == scale.low ? step : 0);
  return scale;
}

QString priceGrid(const Scale& scale) {
  QString svg;
  const double step = roundStep(scale.high - scale.low, 5);
  for (double v = scale.low; v <= scale.high + step / 2; v += step) {
    svg += QStringLiteral(
               "<line class=\"grid\" x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\"/>"
               "<text class=\"axis\" x=\"%4\" y=\"%5\">%6</text>\n")
               .arg(kLeft)
               .arg(kRight)
               .arg(num(scale.y(v)))
               .arg(kLeft - 6)
               .arg(num(scale.y(v) + 4))
               .arg(price(v));
  }
  svg += QStringLiteral(
             "<text class=\"axis\" x=\"%1\" y=\"%2\">出来高</text>"
             "<text class=\"volmax\" x=\"%3\" y=\"%2\">最大 %4</text>\n")
             .arg(kLeft - 6)
             .arg(kVolumeTop + 10)
             .arg(kLeft + 4)
             .arg(QLocale(QLocale::English).toString(qint64(scale.volumeHigh)));
  return svg;
}

double pixelsPerMonth(Span span, double slot) {
  return span == Span::Day ? slot * 21 : span == Span::Week ? slot * 4.35 : slot;
}

QString yearLabel(double x, int year) {
  return QStringLiteral("<text class=\"yeartick\" x=\"%1\" y=\"%2\">%3</text>\n")
      .arg(num(x + 3))
      .arg(kAxisBottom - 2)
      .arg(year);
}

// Year ticks with their year, month ticks with their month when there is room.
QString dateAxis(const std::vector<Period>& periods, const Scale& scale, Span span) {
  const bool monthLabels = pixelsPerMonth(span, scale.slot) >= 26;
  QString svg = yearLabel(kLeft, periods.front().start.year());
  QDate previous = periods.front().start;
  for (size_t i = 1; i < periods.size(); ++i) {
    const QDate start = periods[i].start;
    const double x = kLeft + scale.slot * double(i);
    if (start.year() != previous.year()) {
      svg += QStringLiteral("<line class=\"year\" x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\"/>")
                 .arg(num(x))
                 .arg(kPriceTop)
                 .arg(kAxisBottom - 16) +
             yearLabel(x, start.year());
    } else if (start.month() != previous.month()) {
      svg += QStringLiteral("<line class=\"month\" x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\"/>")
                 .arg(num(x))
                 .arg(kVolumeBottom)
                 .arg(kVolumeBottom + 5);
      if (monthLabels) {
        svg += QStringLiteral("<text class=\"monthtick\" x=\"%1\" y=\"%2\">%3月</text>")
                   .arg(num(x + 2))
                   .arg(kVolumeBottom + 16)
                   .arg(start.month());
      }
      svg += QLatin1Char('\n');
    }
    previous = start;
  }
  return svg;
}

QString candles(const std::vector<Period>& periods, const Scale& scale, Span span) {
  QString svg;
  const double body = std::max(1.0, scale.slot * 0.7);
  for (size_t i = 0; i < periods.size(); ++i) {
    if (!periods[i].candle) {
      continue;
    }
    const Candle& c = *periods[i].candle;
    const double x = scale.x(i);
    const double top = scale.y(std::max(c.open, c.close));
    const double height = std::max(1.0, scale.y(std::min(c.open, c.close)) - top);
    svg += QStringLiteral(
               "<g class=\"candle %1\" data-from=\"%2\" data-to=\"%3\"><title>%4</title>"
               "<rect class=\"hit\" x=\"%5\" y=\"%6\" width=\"%7\" height=\"%8\"/>"
               "<line x1=\"%9\" x2=\"%9\" y1=\"%10\" y2=\"%11\"/>")
               .arg(c.close >= c.open ? QStringLiteral("up") : QStringLiteral("down"),
                    periods[i].start.toString(Qt::ISODate), periods[i].end.toString(Qt::ISODate),
                    tooltip(periods[i], span).toHtmlEscaped(), num(x - scale.slot / 2),
                    QString::number(kPriceTop), num(scale.slot),
                    QString::number(kVolumeBottom - kPriceTop), num(x))
               .arg(num(scale.y(c.high)), num(scale.y(c.low)));
    svg += QStringLiteral(
               "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/>"
               "<rect class=\"vol\" x=\"%1\" y=\"%5\" width=\"%3\" height=\"%6\"/></g>\n")
               .arg(num(x - body / 2), num(top), num(body), num(height), num(scale.vy(c.volume)),
                    num(kVolumeBottom - scale.vy(c.volume)));
  }
  return svg;
}

const char kStyle[] = R"(<style>
body { font-family: "IPAGothic", "IPAPGothic", "Noto Sans CJK JP", sans-serif; margin: 16px 24px;
       color: #1f2328; background: #fff; }
h1 { font-size: 20px; margin: 0 0 4px; }
p.meta { color: #57606a; margin: 0 0 8px; font-size: 13px; }
svg text { font-family: inherit; fill: #57606a; font-size: 11px; }
svg text.axis { text-anchor: end; }
svg text.yeartick { font-size: 12px; font-weight: bold; fill: #1f2328; }
svg line.grid { stroke: #d8dee4; stroke-width: 1; }
svg line.year { stroke: #8c959f; stroke-width: 1; stroke-dasharray: 3 3; }
svg line.month { stroke: #8c959f; stroke-width: 1; }
svg rect.frame { fill: none; stroke: #d0d7de; }
g.candle line { stroke-width: 1; }
g.candle rect.hit { fill: transparent; stroke: none; }
g.candle rect.vol { fill: #afb8c1; stroke: none; }
g.up line { stroke: #cf222e; } g.up rect { fill: #cf222e; }
g.down line { stroke: #0969da; } g.down rect { fill: #0969da; }
g.candle:hover rect.hit { fill: rgba(130, 80, 223, 0.12); }
</style>
)";

// The market with the most rows: a chart shows one market.
QString mainMarket(const QList<SeriesRow>& rows) {
  QMap<QString, int> counts;
  for (const SeriesRow& row : rows) {
    ++counts[row.market];
  }
  return std::max_element(counts.begin(), counts.end()).key();
}

}  // namespace

QString seriesChartHtml(const QList<SeriesRow>& allRows, const MarketCalendar& calendar) {
  QString html =
      QStringLiteral("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n");
  if (allRows.isEmpty()) {
    return html + QStringLiteral(
                      "<title>株価</title>\n</head>\n<body>\n<p>行がありません。</p>\n"
                      "</body>\n</html>\n");
  }
  const QString market = mainMarket(allRows);
  QList<SeriesRow> rows = allRows;
  rows.removeIf([&](const SeriesRow& row) { return row.market != market; });
  const SeriesRow& last = rows.last();
  const QString title = QStringLiteral("%1（%2）%3").arg(last.name, last.code, market);
  const QList<QDate> days = slotDays(rows, calendar);
  const Span span = spanFor(days);
  const std::vector<Period> periods = periodsOf(rows, days, span);
  const Scale scale = scaleOf(periods);
  const qsizetype traded = std::count_if(periods.begin(), periods.end(),
                                         [](const Period& p) { return p.candle.has_value(); });
  html += QStringLiteral("<title>%1</title>\n").arg(title.toHtmlEscaped()) +
          QString::fromUtf8(kStyle) + QStringLiteral("</head>\n<body>\n");
  html += QStringLiteral("<h1>%1</h1>\n<p class=\"meta\">%2〜%3　%4 日分　ローソク足 1 本 = 1 %5")
              .arg(title.toHtmlEscaped(), rows.first().date.toString(Qt::ISODate),
                   last.date.toString(Qt::ISODate))
              .arg(rows.size())
              .arg(unitName(span));
  if (span != Span::Day) {
    html +=
        QStringLiteral("（日足では 1 本が %1 ピクセルより細くなるため、%2ごとにまとめています）")
            .arg(kNarrowestCandle)
            .arg(spanName(span));
  }
  html += QStringLiteral("　%1 本、空白は値のない取引日").arg(traded);
  if (rows.size() != allRows.size()) {
    html += QStringLiteral("　（他の市場の %1 行は含みません）").arg(allRows.size() - rows.size());
  }
  html += QStringLiteral(
              "</p>\n<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"%1\" "
              "height=\"%2\" viewBox=\"0 0 %1 %2\" role=\"img\" aria-label=\"%3\">\n")
              .arg(kWidth)
              .arg(kAxisBottom)
              .arg(title.toHtmlEscaped());
  html += QStringLiteral("<rect class=\"frame\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/>\n")
              .arg(kLeft)
              .arg(kPriceTop)
              .arg(kRight - kLeft)
              .arg(kVolumeBottom - kPriceTop);
  html += priceGrid(scale) + dateAxis(periods, scale, span) + candles(periods, scale, span);
  return html + QStringLiteral("</svg>\n</body>\n</html>\n");
}

}  // namespace kabuka::history
