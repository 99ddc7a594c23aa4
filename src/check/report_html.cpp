#include "report_html_parts.h"
#include "report_render.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <array>
#include <map>

namespace kabuka::check {

using namespace html;

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

constexpr int kGridTop = 18;
constexpr int kCalendarHeight = kGridTop + 7 * kPitch;

const char16_t* const kWeekdays[] = {u"月", u"火", u"水", u"木", u"金", u"土", u"日"};

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
                    .arg(kPageWidth)
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

// A row of the findings table: one finding, or a run of one kind of finding on
// neighbouring trading days that have no file (a gap of missing days is one row
// with one action, however many days it spans).
struct FindingRow {
  const Finding* first = nullptr;
  QDate last;    // the run's last day
  int days = 0;  // the run's days; 0 for a finding that is not one of a run
};

bool runsOverDays(const Finding& finding) {
  return finding.scope == Finding::Scope::Day && finding.path.isEmpty();
}

QList<FindingRow> findingRows(const CheckReport& report) {
  QList<FindingRow> rows;
  std::map<FindingKind, qsizetype> openRun;  // the row of each kind's latest run
  for (const Finding& finding : report.findings) {
    if (!runsOverDays(finding)) {
      rows.append(FindingRow{&finding, finding.date, 0});
      continue;
    }
    const auto open = openRun.find(finding.kind);
    if (open != openRun.end()) {
      FindingRow& run = rows[open->second];
      if (run.first->detail == finding.detail && nextTradingDay(report, run.last, finding.date)) {
        run.last = finding.date;
        ++run.days;
        continue;
      }
    }
    openRun[finding.kind] = rows.size();
    rows.append(FindingRow{&finding, finding.date, 1});
  }
  return rows;
}

QString adviceForRow(const FindingRow& row) {
  const QDate& first = row.first->date;
  if (row.days <= 1 || (first.year() == row.last.year() && first.month() == row.last.month())) {
    return adviceFor(*row.first);
  }
  return QStringLiteral(
             "kabuka-collect month で %1 から %2 までの各月を集め直してください（check --fix "
             "でも直せます）")
      .arg(first.toString(QStringLiteral("yyyy-MM")), row.last.toString(QStringLiteral("yyyy-MM")));
}

QString findingRow(const FindingRow& row) {
  const Finding& finding = *row.first;
  const bool error = finding.severity() == Severity::Error;
  return QStringLiteral(
             "<tr class=\"%1\"><td>%2</td><td>%3</td><td class=\"days\">%4</td><td>%5</td>"
             "<td>%6</td><td>%7</td><td>%8</td></tr>\n")
      .arg(error ? QStringLiteral("error") : QStringLiteral("warning"), whenOf(finding),
           row.days > 1 ? row.last.toString(Qt::ISODate) : QString(),
           row.days > 0 ? QString::number(row.days) : QString(), esc(finding.path),
           error ? QStringLiteral("エラー") : QStringLiteral("注意"), esc(findingText(finding)),
           esc(adviceForRow(row)));
}

QString findingsTable(const CheckReport& report) {
  if (report.findings.isEmpty()) {
    return QStringLiteral("<p>問題は見つかりませんでした。</p>\n");
  }
  QString html = QStringLiteral(
      "<table class=\"findings\"><tr><th>日付</th><th>まで</th><th>日数</th><th>ファイル</th>"
      "<th>区分</th><th>内容</th><th>対処</th></tr>\n");
  for (const FindingRow& row : findingRows(report)) {
    html += findingRow(row);
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
table.findings th, table.findings td:nth-child(-n+5) { white-space: nowrap; }
table.findings td.days { text-align: right; }
table.summary td { text-align: right; }
td.bad { color: #b3261e; font-weight: bold; }
tr.error td:nth-child(5) { color: #b3261e; font-weight: bold; }
tr.warning td:nth-child(5) { color: #9a6700; }
.legend { font-size: 12px; margin: 4px 0 8px; }
.legend span { margin-right: 14px; white-space: nowrap; }
.legend svg { vertical-align: -1px; margin-right: 4px; }
svg text { font-family: inherit; fill: #57606a; }
svg text.year { font-size: 15px; font-weight: bold; fill: #1f2328; }
svg text.mon { font-size: 11px; }
svg text.wd { font-size: 9px; text-anchor: end; }
svg text.axis { font-size: 10px; text-anchor: end; }
svg text.timeaxis { text-anchor: start; }
svg text.yearaxis { font-weight: bold; fill: #1f2328; }
svg line.grid { stroke: #d8dee4; stroke-width: 1; }
svg line.tick, svg line.frame { stroke: #8c959f; stroke-width: 1; }
svg line.miss { stroke: #e5302a; stroke-width: 1.5; }
svg rect.gap { fill: #e5302a; fill-opacity: 0.12; }
svg polyline.count { fill: none; stroke: #2da44e; stroke-width: 1.2; stroke-linejoin: round; }
svg circle.count { fill: #2da44e; }
svg.calendar { display: block; margin-bottom: 6px; }
</style>
)";

}  // namespace

namespace html {

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

bool nextTradingDay(const CheckReport& report, const QDate& earlier, const QDate& later) {
  QDate expected = earlier.addDays(1);
  for (auto it = report.days.upper_bound(earlier); it != report.days.end(); ++it) {
    if (it->first != expected) {
      return false;  // a day the report does not hold
    }
    if (it->first == later) {
      return true;
    }
    const DayState state = it->second.state;
    if (state != DayState::Closed && state != DayState::Unexpected) {
      return false;
    }
    expected = expected.addDays(1);
  }
  return false;
}

}  // namespace html

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
