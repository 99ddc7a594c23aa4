#include "report_render.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <array>
#include <vector>

namespace kabuka::check {

namespace {

struct StateStyle {
  DayState state;
  const char* colour;
  const char16_t* name;
};

// Contribution-calendar colours: green for what is there, reds for what is not,
// grey for days without trading.
constexpr std::array<StateStyle, 8> kStyles{{
    {DayState::Stored, "#2da44e", u"保存済み"},
    {DayState::Missing, "#e5302a", u"欠落"},
    {DayState::Damaged, "#7a0c0c", u"破損"},
    {DayState::Short, "#f59f00", u"件数不足"},
    {DayState::Closed, "#b4b4b4", u"土日・祝日・休場日"},
    {DayState::Unexpected, "#7b61c9", u"休場日のファイル"},
    {DayState::Changed, "#e0c000", u"検査中に変化"},
    {DayState::NotChecked, "#ebedf0", u"検査範囲外・未到来"},
}};

const StateStyle& styleOf(DayState state) {
  return *std::find_if(kStyles.begin(), kStyles.end(),
                       [state](const StateStyle& style) { return style.state == state; });
}

constexpr int kCell = 11;
constexpr int kPitch = 13;
constexpr int kMonthWidth = 6 * kPitch + 10;
constexpr int kLabelWidth = 56;
constexpr int kGridTop = 18;
constexpr int kCalendarWidth = kLabelWidth + 12 * kMonthWidth;
constexpr int kCalendarHeight = kGridTop + 7 * kPitch;

constexpr int kChartHeight = 240;
constexpr int kPlotLeft = kLabelWidth;
constexpr int kPlotRight = kCalendarWidth - 12;
constexpr int kPlotTop = 12;
constexpr int kPlotBottom = 200;

const char16_t* const kWeekdays[] = {u"月", u"火", u"水", u"木", u"金", u"土", u"日"};

QString esc(const QString& text) {
  return text.toHtmlEscaped();
}

QString num(double value) {
  return QString::number(value, 'f', 1);
}

QString dayLabel(const QDate& date) {
  return date.toString(Qt::ISODate) + QStringLiteral("（") +
         QString::fromUtf16(kWeekdays[date.dayOfWeek() - 1]) + QStringLiteral("）");
}

QString findingText(const Finding& finding) {
  return finding.detail.isEmpty() ? kindText(finding.kind)
                                  : kindText(finding.kind) + QStringLiteral("（") + finding.detail +
                                        QStringLiteral("）");
}

using FindingsByDay = QHash<QDate, QStringList>;

FindingsByDay dayFindings(const CheckReport& report) {
  FindingsByDay byDay;
  for (const Finding& finding : report.findings) {
    if (finding.scope == Finding::Scope::Day) {
      byDay[finding.date].append(findingText(finding));
    }
  }
  return byDay;
}

QString tooltip(const QDate& date, const DayEntry& entry, const QStringList& findings) {
  QStringList lines{dayLabel(date) + QLatin1Char(' ') + dayStateName(entry.state)};
  if (entry.records >= 0) {
    lines.append(QStringLiteral("%1 件").arg(entry.records));
  }
  if (!entry.closedReason.isEmpty()) {
    lines.append(entry.closedReason);
  }
  lines += findings;
  return lines.join(QLatin1Char('\n'));
}

QString yearCalendar(int year, const CheckReport& report, const FindingsByDay& findings) {
  QString svg = QStringLiteral(
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"calendar\" width=\"%1\" "
                    "height=\"%2\" viewBox=\"0 0 %1 %2\" role=\"img\" aria-label=\"%3年\">\n")
                    .arg(kCalendarWidth)
                    .arg(kCalendarHeight)
                    .arg(year);
  svg += QStringLiteral("<text class=\"year\" x=\"0\" y=\"%1\">%2</text>\n")
             .arg(kGridTop + 12)
             .arg(year);
  for (int row : {0, 2, 4}) {
    svg += QStringLiteral("<text class=\"wd\" x=\"%1\" y=\"%2\">%3</text>\n")
               .arg(kLabelWidth - 6)
               .arg(kGridTop + row * kPitch + 9)
               .arg(QString::fromUtf16(kWeekdays[row]));
  }
  for (int month = 1; month <= 12; ++month) {
    const int left = kLabelWidth + (month - 1) * kMonthWidth;
    svg +=
        QStringLiteral("<text class=\"mon\" x=\"%1\" y=\"12\">%2月</text>\n").arg(left).arg(month);
    const QDate first(year, month, 1);
    const int offset = first.dayOfWeek() - 1;
    for (QDate day = first; day.month() == month; day = day.addDays(1)) {
      const auto found = report.days.find(day);
      const DayEntry entry = found != report.days.end() ? found->second : DayEntry{};
      const int column = (day.day() - 1 + offset) / 7;
      svg += QStringLiteral(
                 "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%3\" rx=\"2\" fill=\"%4\" "
                 "data-date=\"%5\"><title>%6</title></rect>\n")
                 .arg(left + column * kPitch)
                 .arg(kGridTop + (day.dayOfWeek() - 1) * kPitch)
                 .arg(kCell)
                 .arg(dayColour(entry.state), day.toString(Qt::ISODate),
                      esc(tooltip(day, entry, findings.value(day))));
    }
  }
  return svg + QStringLiteral("</svg>\n");
}

QString legend() {
  QString html = QStringLiteral("<div class=\"legend\">");
  for (const StateStyle& style : kStyles) {
    html += QStringLiteral(
                "<span><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\">"
                "<rect width=\"%1\" height=\"%1\" rx=\"2\" fill=\"%2\"/></svg>%3</span>")
                .arg(kCell)
                .arg(QLatin1String(style.colour), QString::fromUtf16(style.name));
  }
  return html + QStringLiteral("</div>\n");
}

struct ChartDay {
  QDate date;
  DayState state;
  int records;
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

QString recordChart(const CheckReport& report) {
  const std::vector<ChartDay> days = chartDays(report);
  QString svg = QStringLiteral(
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"%1\" "
                    "height=\"%2\" viewBox=\"0 0 %1 %2\" role=\"img\" "
                    "aria-label=\"取引日ごとの件数\">\n")
                    .arg(kCalendarWidth)
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
  const double top = most * 1.1;
  const double step =
      days.size() > 1 ? double(kPlotRight - kPlotLeft) / double(days.size() - 1) : 0;
  const auto xOf = [&](size_t i) { return kPlotLeft + step * double(i); };
  const auto yOf = [&](int records) {
    return kPlotBottom - (kPlotBottom - kPlotTop) * double(records) / top;
  };
  for (int value : {0, most / 2, most}) {
    svg += QStringLiteral(
               "<line class=\"grid\" x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\"/>"
               "<text class=\"axis\" x=\"%4\" y=\"%5\">%6</text>\n")
               .arg(kPlotLeft)
               .arg(kPlotRight)
               .arg(num(yOf(value)))
               .arg(kPlotLeft - 6)
               .arg(num(yOf(value) + 4))
               .arg(value);
  }
  QString points;
  QString marks;
  int labelledYear = 0;
  for (size_t i = 0; i < days.size(); ++i) {
    const ChartDay& day = days[i];
    if (day.date.year() != labelledYear) {
      labelledYear = day.date.year();
      svg += QStringLiteral(
                 "<line class=\"grid\" x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\"/>"
                 "<text class=\"axis yearaxis\" x=\"%1\" y=\"%4\">%5</text>\n")
                 .arg(num(xOf(i)))
                 .arg(kPlotTop)
                 .arg(kPlotBottom + 6)
                 .arg(kPlotBottom + 22)
                 .arg(labelledYear);
    }
    const QString title = QStringLiteral("<title>%1 %2</title>")
                              .arg(dayLabel(day.date), esc(dayStateName(day.state)));
    // A damaged file's count says nothing about the day: it is marked, not joined.
    if (day.state == DayState::Stored || day.state == DayState::Short) {
      points += num(xOf(i)) + QLatin1Char(',') + num(yOf(day.records)) + QLatin1Char(' ');
    }
    if (day.state == DayState::Short || (day.state == DayState::Damaged && day.records >= 0)) {
      marks += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"3.5\" fill=\"%3\">%4</circle>\n")
                   .arg(num(xOf(i)), num(yOf(day.records)), dayColour(day.state), title);
    } else if (day.state == DayState::Missing) {
      marks +=
          QStringLiteral("<line class=\"miss\" x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\">%4</line>\n")
              .arg(num(xOf(i)))
              .arg(kPlotBottom - 8)
              .arg(kPlotBottom)
              .arg(title);
    }
  }
  svg += QStringLiteral("<polyline class=\"count\" points=\"%1\"/>\n").arg(points.trimmed());
  return svg + marks + QStringLiteral("</svg>\n");
}

QString summaryTable(const CheckReport& report) {
  QString html = QStringLiteral(
      "<table class=\"summary\"><tr><th>年</th><th>取引日</th><th>ファイル</th><th>欠落</th>"
      "<th>破損</th><th>件数不足</th><th>休場日のファイル</th></tr>\n");
  for (const YearSummary& year : report.years) {
    html += QStringLiteral(
                "<tr><td>%1</td><td>%2</td><td>%3</td><td class=\"%8\">%4</td>"
                "<td class=\"%9\">%5</td><td>%6</td><td>%7</td></tr>\n")
                .arg(year.year)
                .arg(year.tradingDays)
                .arg(year.filesPresent)
                .arg(year.missing)
                .arg(year.damaged)
                .arg(year.shortDays)
                .arg(year.unexpected)
                .arg(year.missing > 0 ? QStringLiteral("bad") : QString(),
                     year.damaged > 0 ? QStringLiteral("bad") : QString());
  }
  return html + QStringLiteral("</table>\n");
}

QString findingsTable(const CheckReport& report) {
  if (report.findings.isEmpty()) {
    return QStringLiteral("<p>問題は見つかりませんでした。</p>\n");
  }
  QString html = QStringLiteral(
      "<table class=\"findings\"><tr><th>日付</th><th>ファイル</th><th>区分</th><th>内容</th>"
      "<th>対処</th></tr>\n");
  for (const Finding& finding : report.findings) {
    const bool error = finding.severity() == Severity::Error;
    html += QStringLiteral(
                "<tr class=\"%1\"><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td></tr>\n")
                .arg(error ? QStringLiteral("error") : QStringLiteral("warning"), whenOf(finding),
                     esc(finding.path), error ? QStringLiteral("エラー") : QStringLiteral("注意"),
                     esc(findingText(finding)), esc(adviceFor(finding)));
  }
  return html + QStringLiteral("</table>\n");
}

QString repairsList(const CheckReport& report) {
  if (report.repairs.isEmpty()) {
    return {};
  }
  QString html = QStringLiteral("<h2>修復</h2>\n<ul>\n");
  for (const MonthRepair& repair : report.repairs) {
    html += QStringLiteral("<li>%1年%2月: %3</li>\n")
                .arg(repair.year)
                .arg(repair.month)
                .arg(repair.collected ? QStringLiteral("集め直しました")
                                      : QStringLiteral("集め直せませんでした（") +
                                            esc(repair.message) + QStringLiteral("）"));
  }
  return html + QStringLiteral("</ul>\n");
}

const char kStyle[] = R"(<style>
body { font-family: "IPAGothic", "IPAPGothic", "Noto Sans CJK JP", sans-serif; margin: 16px 24px;
       color: #1f2328; background: #fff; }
h1 { font-size: 20px; margin: 0 0 4px; }
h2 { font-size: 16px; margin: 20px 0 8px; border-bottom: 1px solid #d0d7de; padding-bottom: 4px; }
p.meta { color: #57606a; margin: 0 0 8px; font-size: 13px; }
table { border-collapse: collapse; font-size: 13px; }
th, td { border: 1px solid #d0d7de; padding: 3px 8px; text-align: left; }
table.findings td:nth-child(-n+3) { white-space: nowrap; }
table.summary td { text-align: right; }
td.bad { color: #b3261e; font-weight: bold; }
tr.error td:nth-child(3) { color: #b3261e; font-weight: bold; }
tr.warning td:nth-child(3) { color: #9a6700; }
.legend { font-size: 12px; margin: 4px 0 8px; }
.legend span { margin-right: 14px; white-space: nowrap; }
.legend svg { vertical-align: -1px; margin-right: 4px; }
svg text { font-family: inherit; fill: #57606a; }
svg text.year { font-size: 15px; font-weight: bold; fill: #1f2328; }
svg text.mon { font-size: 11px; }
svg text.wd { font-size: 9px; text-anchor: end; }
svg text.axis { font-size: 10px; text-anchor: end; }
svg text.yearaxis { text-anchor: start; }
svg line.grid { stroke: #d8dee4; stroke-width: 1; }
svg line.miss { stroke: #e5302a; stroke-width: 1.5; }
svg polyline.count { fill: none; stroke: #2da44e; stroke-width: 1.2; }
svg.calendar { display: block; margin-bottom: 6px; }
</style>
)";

}  // namespace

QString dayColour(DayState state) {
  return QLatin1String(styleOf(state).colour);
}

QString dayStateName(DayState state) {
  return QString::fromUtf16(styleOf(state).name);
}

QString renderHtml(const CheckReport& report) {
  QString html = QStringLiteral(
                     "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
                     "<title>日毎株価データベースの検査</title>\n") +
                 QString::fromUtf8(kStyle) + QStringLiteral("</head>\n<body>\n");
  html += QStringLiteral(
              "<h1>日毎株価データベースの検査</h1>\n<p class=\"meta\">データベース: %1　検査日: "
              "%2　結果: %3</p>\n")
              .arg(esc(report.dbPath), report.today.toString(Qt::ISODate),
                   report.hasErrors() ? QStringLiteral("欠落または破損があります")
                                      : QStringLiteral("欠落・破損はありません"));
  html += QStringLiteral("<h2>概要</h2>\n") + summaryTable(report);
  html += repairsList(report);
  html += QStringLiteral("<h2>年ごとのカレンダー</h2>\n") + legend();
  const FindingsByDay findings = dayFindings(report);
  for (const YearSummary& year : report.years) {
    html += yearCalendar(year.year, report, findings);
  }
  html += QStringLiteral("<h2>取引日ごとの件数</h2>\n") + recordChart(report);
  html += QStringLiteral("<h2>指摘</h2>\n") + findingsTable(report);
  return html + QStringLiteral("</body>\n</html>\n");
}

}  // namespace kabuka::check
