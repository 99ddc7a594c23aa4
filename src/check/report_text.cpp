#include "report_render.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace kabuka::check {

namespace {

QString severityLabel(Severity severity) {
  return severity == Severity::Error ? QStringLiteral("エラー") : QStringLiteral("注意");
}

// File names and header bytes come from the data: an ESC, a BEL or a line end in
// them would act on the terminal the report goes to, so they are shown as \xNN.
QString visible(const QString& text) {
  const auto isControl = [](QChar c) {
    return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f);
  };
  if (std::none_of(text.begin(), text.end(), isControl)) {
    return text;
  }
  QString shown;
  for (const QChar c : text) {
    shown += isControl(c) ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                          : QString(c);
  }
  return shown;
}

QString subject(const Finding& finding) {
  return finding.path.isEmpty() ? whenOf(finding) : visible(finding.path);
}

QString whatIsWrong(const Finding& finding) {
  const QString text = kindText(finding.kind);
  return finding.detail.isEmpty()
             ? text
             : text + QStringLiteral("（") + visible(finding.detail) + QStringLiteral("）");
}

QString column(const QString& text, int width) {
  return text.rightJustified(width);
}

QString summaryTable(const CheckReport& report) {
  QString out = QStringLiteral("年      取引日  ファイル    欠落    破損  件数不足  休場日\n");
  for (const YearSummary& year : report.years) {
    out += QString::number(year.year) + column(QString::number(year.tradingDays), 10) +
           column(QString::number(year.filesPresent), 10) +
           column(QString::number(year.missing), 8) + column(QString::number(year.damaged), 8) +
           column(QString::number(year.shortDays), 10) +
           column(QString::number(year.unexpected), 8) + QLatin1Char('\n');
  }
  return out;
}

QString repairLine(const MonthRepair& repair) {
  const QString month =
      QStringLiteral("%1-%2").arg(repair.year).arg(repair.month, 2, 10, QLatin1Char('0'));
  return repair.collected ? month + QStringLiteral(": 集め直しました\n")
                          : month + QStringLiteral(": 集め直せませんでした（") + repair.message +
                                QStringLiteral("）\n");
}

// How the check ended, when it did not end by itself.
QString endingLines(const CheckReport& report) {
  QString out;
  if (report.stopped) {
    out += QStringLiteral("\n検査は途中で停止しました。ここまでに調べた分だけを示しています。\n");
  }
  if (!report.incomplete.isEmpty()) {
    out += QStringLiteral("\n検査を最後まで行えませんでした: ") + report.incomplete +
           QLatin1Char('\n');
  }
  return out;
}

}  // namespace

QString renderText(const CheckReport& report) {
  QString out = QStringLiteral("データベース: ") + visible(report.dbPath) + QLatin1Char('\n');
  out += summaryTable(report);
  if (!report.repairs.isEmpty()) {
    out += QStringLiteral("\n修復:\n");
    for (const MonthRepair& repair : report.repairs) {
      out += repairLine(repair);
    }
  }
  if (report.findings.isEmpty()) {
    out += report.stopped || !report.incomplete.isEmpty()
               ? QString()
               : QStringLiteral("\n問題は見つかりませんでした。\n");
    return out + endingLines(report);
  }
  out += QStringLiteral("\n指摘 %1 件:\n").arg(report.findings.size());
  for (const Finding& finding : report.findings) {
    out += subject(finding) + QStringLiteral(" [") + severityLabel(finding.severity()) +
           QStringLiteral("] ") + whatIsWrong(finding) + QStringLiteral(" → ") +
           adviceFor(finding) + QLatin1Char('\n');
  }
  return out + endingLines(report);
}

QByteArray renderJson(const CheckReport& report) {
  QJsonArray years;
  for (const YearSummary& year : report.years) {
    years.append(QJsonObject{{QStringLiteral("year"), year.year},
                             {QStringLiteral("tradingDays"), year.tradingDays},
                             {QStringLiteral("filesPresent"), year.filesPresent},
                             {QStringLiteral("missing"), year.missing},
                             {QStringLiteral("damaged"), year.damaged},
                             {QStringLiteral("short"), year.shortDays},
                             {QStringLiteral("unexpected"), year.unexpected}});
  }
  QJsonArray findings;
  for (const Finding& finding : report.findings) {
    findings.append(QJsonObject{{QStringLiteral("date"), whenOf(finding)},
                                {QStringLiteral("path"), finding.path},
                                {QStringLiteral("kind"), kindCode(finding.kind)},
                                {QStringLiteral("severity"), finding.severity() == Severity::Error
                                                                 ? QStringLiteral("error")
                                                                 : QStringLiteral("warning")},
                                {QStringLiteral("message"), kindText(finding.kind)},
                                {QStringLiteral("detail"), finding.detail},
                                {QStringLiteral("advice"), adviceFor(finding)}});
  }
  QJsonArray repairs;
  for (const MonthRepair& repair : report.repairs) {
    repairs.append(QJsonObject{{QStringLiteral("year"), repair.year},
                               {QStringLiteral("month"), repair.month},
                               {QStringLiteral("collected"), repair.collected},
                               {QStringLiteral("message"), repair.message}});
  }
  QJsonObject root{{QStringLiteral("database"), report.dbPath},
                   {QStringLiteral("today"), report.today.toString(Qt::ISODate)},
                   {QStringLiteral("exitStatus"), toInt(report.exitStatus())},
                   {QStringLiteral("stopped"), report.stopped},
                   {QStringLiteral("incomplete"), report.incomplete},
                   {QStringLiteral("years"), years},
                   {QStringLiteral("findings"), findings}};
  if (!report.repairs.isEmpty()) {
    root.insert(QStringLiteral("repairs"), repairs);
  }
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

}  // namespace kabuka::check
