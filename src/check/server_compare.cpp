#include "server_compare.h"

#include "check/check_paths.h"
#include "collect/run_window.h"
#include "collect/splitter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace kabuka::check {

namespace {

// The splitter reports to a window; the comparison has none to show.
class SilentWindow : public RunWindow {
public:
  void yield() override {}
  void yieldWaiting() override {}
  Truth stop_flg() const override { return kFalse; }
  void setLabel1Colour(Rgb) override {}
  void setLabel1Caption(const QString&) override {}
  void setLabel3Colour(Rgb) override {}
  void setLabel3Caption(const QString&) override {}
  DateSelection selection() const override { return {}; }
  void setStartButtonVisible(bool) override {}
  void setCloseButtonEnabled(bool) override {}
  void setDateFrameEnabled(bool) override {}
  void setStopButtonVisible(bool) override {}
  void set_stop_flg(Truth) override {}
};

QByteArray contentOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int firstDifferentLine(const QByteArray& a, const QByteArray& b) {
  const auto mismatch = std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first;
  return 1 + int(std::count(a.begin(), mismatch, '\n'));
}

}  // namespace

ServerComparison::ServerComparison(const CheckOptions& options, CheckReport& report)
    : m_options(options),
      m_report(report),
      m_lastDue(lastDueTradingDay(options.calendar, options.today)) {}

void ServerComparison::add(FindingKind kind, const QDate& date, const QString& path,
                           const QString& detail, Finding::Scope scope) {
  m_report.findings.append(Finding{kind, date, path, detail, scope});
}

void ServerComparison::compareMonth(int year, int month) {
  const QDate first(year, month, 1);
  const QString monthPath = m_scratch.filePath(first.toString(QStringLiteral("yyyyMM.csv")));
  const QString splitFolder = m_scratch.filePath(QStringLiteral("days"));
  QDir(splitFolder).removeRecursively();
  QDir().mkpath(splitFolder);

  const MonthSource::Fetched fetched = m_options.server->fetchMonth(year, month, monthPath);
  if (!fetched.stored) {
    add(FindingKind::ServerMonthMissing, first, {}, fetched.problem, Finding::Scope::Month);
    return;
  }
  SilentWindow window;
  const SplitResult split =
      data_d_csv_sub(monthPath, {year, month}, splitFolder + QLatin1Char('/'), window);
  QFile::remove(monthPath);
  if (!split.complete) {
    add(FindingKind::ServerMonthMissing, first, {},
        QStringLiteral("月ファイルを最後まで分割できません"), Finding::Scope::Month);
  }
  QSet<QDate> announced;
  for (const QString& name : QDir(splitFolder).entryList(QDir::Files, QDir::Name)) {
    const QDate date = QDate::fromString(name.left(8), QStringLiteral("yyyyMMdd"));
    if (date.isValid()) {
      announced.insert(date);
      compareDay(date, splitFolder + QLatin1Char('/') + name);
    }
  }
  reportDaysNotAnnounced(year, month, announced);
}

void ServerComparison::compareDay(const QDate& date, const QString& serverDayFile) {
  // Days after the last one due are not judged: the database may lag by a day.
  if (!m_lastDue.isValid() || date > m_lastDue) {
    return;
  }
  const QString path = relativeDayFile(m_options.dayFolder, date);
  DayEntry& entry = m_report.days[date];
  if (!QFileInfo::exists(m_options.dbPath + path)) {
    if (!(entry.dueTradingDay && !entry.hasFile)) {  // else already reported missing
      add(FindingKind::ServerHasDay, date, {}, {});
      entry.state = DayState::Missing;
    }
    return;
  }
  if (entry.state == DayState::Changed) {
    return;
  }
  const QByteArray ours = contentOf(m_options.dbPath + path);
  const QByteArray theirs = contentOf(serverDayFile);
  if (ours != theirs) {
    add(FindingKind::DiffersFromServer, date, path,
        QStringLiteral("%1 行目から違います").arg(firstDifferentLine(ours, theirs)));
    entry.state = DayState::Damaged;
  }
}

void ServerComparison::reportDaysNotAnnounced(int year, int month, const QSet<QDate>& announced) {
  const QDate first(year, month, 1);
  for (QDate day = first; day.month() == month && day <= m_lastDue; day = day.addDays(1)) {
    const auto entry = m_report.days.find(day);
    if (entry != m_report.days.end() && entry->second.hasFile && !announced.contains(day)) {
      add(FindingKind::NotOnServer, day, relativeDayFile(m_options.dayFolder, day), {});
    }
  }
}

}  // namespace kabuka::check
