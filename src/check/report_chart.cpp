#include "report_html_parts.h"

#include "common/round_step.h"
#include "report_render.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace kabuka::check::html {

namespace {

constexpr int kChartHeight = 236;
constexpr int kPlotLeft = kLabelWidth;
constexpr int kPlotRight = kPageWidth - 12;
constexpr int kPlotTop = 12;
constexpr int kPlotBottom = 196;
constexpr int kMonthLabelWidth = 30;  // what "12月" needs, with air between labels

struct ChartDay {
  QDate date;
  DayState state;
  int records;

  // A damaged file's count says nothing about the day: it is marked, not joined.
  bool counted() const { return state == DayState::Stored || state == DayState::Short; }
};

std::vector<ChartDay> chartDays(const CheckReport& report) {
  std::vector<ChartDay> days;
  for (const auto& [date, entry] : report.days) {
    const bool tradingDay =
        entry.dueTradingDay || entry.state == DayState::Stored || entry.state == DayState::Short;
    if (tradingDay) {
      days.push_back(ChartDay{date, entry.state, entry.records});
    }
  }
  return days;
}

// The count axis runs from 0 to a round top in round steps (1, 2 or 5 times a
// power of ten), about five of them, with a little room above the highest count.
struct CountAxis {
  int step = 1;
  int top = 1;
};

CountAxis countAxis(int most) {
  const double roomy = most * 1.05;
  const int step = std::max(1, static_cast<int>(roundStep(roomy, 5)));
  return CountAxis{step, step * static_cast<int>(std::ceil(roomy / step))};
}

// Trading days stand side by side at equal distances: weekends and holidays take
// no room, so a gap in the line is always a gap in the data.
class Geometry {
public:
  Geometry(size_t dayCount, CountAxis axis)
      : m_axis(axis),
        m_step(dayCount > 1 ? double(kPlotRight - kPlotLeft) / double(dayCount - 1) : 0) {}

  double x(size_t day) const { return kPlotLeft + m_step * double(day); }
  double y(int records) const {
    return kPlotBottom - (kPlotBottom - kPlotTop) * double(records) / m_axis.top;
  }
  double step() const { return m_step; }
  const CountAxis& axis() const { return m_axis; }

private:
  CountAxis m_axis;
  double m_step;
};

QString countTicks(const Geometry& geometry) {
  QString svg;
  for (int value = 0; value <= geometry.axis().top; value += geometry.axis().step) {
    svg += QStringLiteral(
               "<line class=\"grid\" data-value=\"%6\" x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\"/>"
               "<text class=\"axis\" x=\"%4\" y=\"%5\">%6</text>\n")
               .arg(kPlotLeft)
               .arg(kPlotRight)
               .arg(num(geometry.y(value)))
               .arg(kPlotLeft - 6)
               .arg(num(geometry.y(value) + 4))
               .arg(value);
  }
  return svg + QStringLiteral("<line class=\"frame\" x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\"/>\n")
                   .arg(kPlotLeft)
                   .arg(num(geometry.y(geometry.axis().top)), num(geometry.y(0)));
}

int monthIndex(const QDate& date) {
  return date.year() * 12 + date.month() - 1;
}

// Label every month where there is room, else every quarter or half year; a year
// label alone where even that would crowd.
int monthLabelStride(const std::vector<ChartDay>& days) {
  const int months = monthIndex(days.back().date) - monthIndex(days.front().date) + 1;
  const double perMonth = double(kPlotRight - kPlotLeft) / months;
  for (int stride : {1, 3, 6}) {
    if (perMonth * stride >= kMonthLabelWidth) {
      return stride;
    }
  }
  return 0;
}

// A tick where each month's first trading day stands, and a line and label where
// each year's does.
QString timeTicks(const std::vector<ChartDay>& days, const Geometry& geometry) {
  const int stride = monthLabelStride(days);
  QString svg;
  int lastMonth = -1;
  for (size_t i = 0; i < days.size(); ++i) {
    const QDate& date = days[i].date;
    if (monthIndex(date) == lastMonth) {
      continue;
    }
    const bool newYear = lastMonth < 0 || date.year() != (lastMonth / 12);
    lastMonth = monthIndex(date);
    const QString x = num(geometry.x(i));
    svg += QStringLiteral(
               "<line class=\"tick\" data-month=\"%1\" x1=\"%2\" x2=\"%2\" y1=\"%3\" y2=\"%4\"/>")
               .arg(date.toString(QStringLiteral("yyyy-MM")), x)
               .arg(kPlotBottom)
               .arg(kPlotBottom + (newYear ? 8 : 4));
    if (stride > 0 && (date.month() - 1) % stride == 0) {
      svg += QStringLiteral("<text class=\"axis timeaxis\" x=\"%1\" y=\"%2\">%3月</text>")
                 .arg(x)
                 .arg(kPlotBottom + 15)
                 .arg(date.month());
    }
    if (newYear) {
      svg += QStringLiteral(
                 "<line class=\"grid\" x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\"/>"
                 "<text class=\"axis timeaxis yearaxis\" x=\"%1\" y=\"%4\">%5</text>")
                 .arg(x)
                 .arg(kPlotTop)
                 .arg(kPlotBottom)
                 .arg(kPlotBottom + 30)
                 .arg(date.year());
    }
    svg += QLatin1Char('\n');
  }
  return svg;
}

// Runs of neighbouring trading days that all have a count, as [first, last].
std::vector<std::pair<size_t, size_t>> countedRuns(const CheckReport& report,
                                                   const std::vector<ChartDay>& days) {
  std::vector<std::pair<size_t, size_t>> runs;
  for (size_t i = 0; i < days.size(); ++i) {
    if (!days[i].counted()) {
      continue;
    }
    const bool joins = !runs.empty() && runs.back().second + 1 == i &&
                       nextTradingDay(report, days[i - 1].date, days[i].date);
    if (joins) {
      runs.back().second = i;
    } else {
      runs.emplace_back(i, i);
    }
  }
  return runs;
}

// One line per run; a day without counted neighbours is a dot.
QString countLines(const CheckReport& report, const std::vector<ChartDay>& days,
                   const Geometry& geometry) {
  QString svg;
  for (const auto& [first, last] : countedRuns(report, days)) {
    if (first == last) {
      svg += QStringLiteral(
                 "<circle class=\"count\" cx=\"%1\" cy=\"%2\" r=\"1.8\" "
                 "data-from=\"%3\" data-to=\"%3\"/>\n")
                 .arg(num(geometry.x(first)), num(geometry.y(days[first].records)),
                      days[first].date.toString(Qt::ISODate));
      continue;
    }
    QString points;
    for (size_t i = first; i <= last; ++i) {
      points += num(geometry.x(i)) + QLatin1Char(',') + num(geometry.y(days[i].records)) +
                QLatin1Char(' ');
    }
    svg += QStringLiteral(
               "<polyline class=\"count\" data-from=\"%1\" data-to=\"%2\" "
               "points=\"%3\"/>\n")
               .arg(days[first].date.toString(Qt::ISODate), days[last].date.toString(Qt::ISODate),
                    points.trimmed());
  }
  return svg;
}

// A pale band over each run of missing days, so that a gap of a few days is seen
// on a chart of many years, where it is narrower than a pixel.
QString gapBands(const std::vector<ChartDay>& days, const Geometry& geometry) {
  QString svg;
  for (size_t first = 0; first < days.size(); ++first) {
    if (days[first].state != DayState::Missing) {
      continue;
    }
    size_t last = first;
    while (last + 1 < days.size() && days[last + 1].state == DayState::Missing) {
      ++last;
    }
    const double left = geometry.x(first) - geometry.step() / 2;
    const double width = std::max(2.0, geometry.x(last) - geometry.x(first) + geometry.step());
    svg += QStringLiteral("<rect class=\"gap\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/>\n")
               .arg(num(std::max<double>(left, kPlotLeft)))
               .arg(kPlotTop)
               .arg(num(width))
               .arg(kPlotBottom - kPlotTop);
    first = last;
  }
  return svg;
}

QString dayMarks(const std::vector<ChartDay>& days, const Geometry& geometry) {
  QString marks;
  for (size_t i = 0; i < days.size(); ++i) {
    const ChartDay& day = days[i];
    const QString title = QStringLiteral("<title>%1 %2</title>")
                              .arg(dayLabel(day.date), esc(dayStateName(day.state)));
    if (day.state == DayState::Short || (day.state == DayState::Damaged && day.records >= 0)) {
      marks +=
          QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"3.5\" fill=\"%3\">%4</circle>\n")
              .arg(num(geometry.x(i)), num(geometry.y(day.records)), dayColour(day.state), title);
    } else if (day.state == DayState::Missing) {
      marks +=
          QStringLiteral("<line class=\"miss\" x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\">%4</line>\n")
              .arg(num(geometry.x(i)))
              .arg(kPlotBottom - 8)
              .arg(kPlotBottom)
              .arg(title);
    }
  }
  return marks;
}

}  // namespace

QString recordChart(const CheckReport& report) {
  const std::vector<ChartDay> days = chartDays(report);
  QString svg = QStringLiteral(
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"%1\" "
                    "height=\"%2\" viewBox=\"0 0 %1 %2\" role=\"img\" "
                    "aria-label=\"取引日ごとの件数\">\n")
                    .arg(kPageWidth)
                    .arg(kChartHeight);
  int most = 0;
  for (const ChartDay& day : days) {
    most = std::max(most, day.records);
  }
  if (days.empty() || most <= 0) {
    return svg +
           QStringLiteral("<text x=\"%1\" y=\"40\">件数のある取引日がありません</text>\n</svg>\n")
               .arg(kPlotLeft);
  }
  const Geometry geometry(days.size(), countAxis(most));
  svg += countTicks(geometry) + timeTicks(days, geometry) + gapBands(days, geometry);
  svg += countLines(report, days, geometry) + dayMarks(days, geometry);
  return svg + QStringLiteral("</svg>\n");
}

}  // namespace kabuka::check::html
