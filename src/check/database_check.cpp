#include "database_check.h"

#include "check/day_file_scan.h"
#include "check/server_compare.h"
#include "check/stable_read.h"
#include "settings/folder_layout.h"

#include <QDir>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <bitset>
#include <thread>
#include <vector>

namespace kabuka::check {

namespace {

using MonthMask = std::bitset<12>;

constexpr int kNeighboursEachSide = 10;
constexpr int kFewestNeighbours = 4;

QDate dayOf(const QString& digits) {
  return layout::dayOfDigits(digits);
}

QDate monthOf(const QString& digits) {
  return layout::dayOfDigits(digits + QStringLiteral("01"));
}

QStringList filesIn(const QString& folder) {
  return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

struct DayJob {
  QString path;
  QString relative;
  QDate date;
  QByteArray name;  // the eight digits
};

struct DayResult {
  bool read = false;  // false when the check stopped before the file's turn
  StableFileReader::Outcome outcome = StableFileReader::Outcome::Failed;
  DayScan scan;
  QString problem;
};

// The median of the record counts of the sound days around `index`, or -1 when
// too few days are around it to judge.
int medianAround(const std::vector<std::pair<QDate, int>>& days, size_t index,
                 std::vector<int>& scratch) {
  scratch.clear();
  const size_t first = index >= kNeighboursEachSide ? index - kNeighboursEachSide : 0;
  const size_t last = std::min(days.size(), index + kNeighboursEachSide + 1);
  for (size_t i = first; i < last; ++i) {
    if (i != index) {
      scratch.push_back(days[i].second);
    }
  }
  if (scratch.size() < kFewestNeighbours) {
    return -1;
  }
  const auto middle = scratch.begin() + qsizetype(scratch.size() / 2);
  std::nth_element(scratch.begin(), middle, scratch.end());
  return *middle;
}

class DatabaseWalk {
public:
  DatabaseWalk(const CheckOptions& options, CheckReport& report)
      : m_options(options),
        m_report(report),
        m_lastDue(lastDueTradingDay(options.calendar, options.today)) {}

  void run() {
    if (!QDir(m_options.dbPath).exists()) {
      add(FindingKind::NoDatabase, m_options.today, m_options.dbPath, {}, Finding::Scope::Year);
      return;
    }
    const QMap<int, MonthMask> years = yearsToCheck();
    for (auto it = years.begin(); it != years.end(); ++it) {
      markCalendar(it.key(), it.value());
      listDailyFolder(it.key(), it.value());
      listScratchFolder(it.key(), it.value());
    }
    readDays();
    reportMissingDays(years);
    reportShortDays();
    if (m_options.server != nullptr && !m_report.stopped) {
      compareMonthsWithServer(years);
    }
  }

private:
  QMap<int, MonthMask> yearsToCheck() const {
    QMap<int, MonthMask> years;
    if (m_options.targets.isEmpty()) {
      const QStringList folders =
          QDir(m_options.dbPath).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
      for (const QString& folder : folders) {
        if (layout::yearFolderPattern().match(folder).hasMatch()) {
          years[folder.toInt()].set();
        }
      }
      return years;
    }
    for (const CheckTarget& target : m_options.targets) {
      if (target.month == 0) {
        years[target.year].set();
      } else {
        years[target.year].set(size_t(target.month - 1));
      }
    }
    return years;
  }

  QString dailyFolder(int year) const {
    return layout::relativeDailyFolder(m_options.dayFolder, year);
  }
  QString scratchFolder(int year) const {
    return layout::relativeScratchFolder(m_options.dayFolder, year);
  }
  QString absolute(const QString& relativePath) const { return m_options.dbPath + relativePath; }

  void add(FindingKind kind, const QDate& date, const QString& path, const QString& detail,
           Finding::Scope scope = Finding::Scope::Day) {
    m_report.findings.append(Finding{kind, date, path, detail, scope});
  }

  void markCalendar(int year, MonthMask months) {
    for (QDate day(year, 1, 1); day.isValid() && day.year() == year; day = day.addDays(1)) {
      DayEntry& entry = m_report.days[day];
      if (!months.test(size_t(day.month() - 1))) {
        continue;
      }
      if (!m_options.calendar.isTradingDay(day)) {
        entry.state = DayState::Closed;
        entry.closedReason =
            m_options.calendar.closedReason ? m_options.calendar.closedReason(day) : QString();
      } else if (m_lastDue.isValid() && day <= m_lastDue) {
        entry.state = DayState::Missing;  // until its file turns up
        entry.dueTradingDay = true;
      }
    }
  }

  void listDailyFolder(int year, MonthMask months) {
    const QString folderPath = absolute(dailyFolder(year)) + QLatin1Char('/');
    for (const QString& name : filesIn(folderPath)) {
      const QString path = dailyFolder(year) + QLatin1Char('/') + name;
      const QDate yearStart(year, 1, 1);
      if (const auto temp = layout::dayTemporaryPattern().match(name); temp.hasMatch()) {
        const QDate day = dayOf(temp.captured(1));
        const bool ofThisYear = day.isValid() && day.year() == year;
        if (!ofThisYear) {
          add(FindingKind::LeftoverTempFile, yearStart, path, {}, Finding::Scope::Year);
        } else if (months.test(size_t(day.month() - 1))) {
          add(FindingKind::LeftoverTempFile, day, path, {});
        }
        continue;
      }
      const auto match = layout::dayFilePattern().match(name);
      const QDate day = match.hasMatch() ? dayOf(match.captured(1)) : QDate();
      if (day.isValid() && day.year() == year) {
        m_yearsWithDayFiles.insert(year);
      }
      if (!day.isValid()) {
        add(FindingKind::BadFileName, yearStart, path, {}, Finding::Scope::Year);
      } else if (day.year() != year) {
        add(FindingKind::WrongYearFolder, yearStart, path,
            QStringLiteral("%1 年のファイル").arg(day.year()), Finding::Scope::Year);
      } else if (months.test(size_t(day.month() - 1))) {
        m_jobs.push_back(DayJob{folderPath + name, path, day, match.captured(1).toLatin1()});
      }
    }
  }

  void listScratchFolder(int year, MonthMask months) {
    const QString folder = scratchFolder(year);
    const QDir dir(absolute(folder));
    if (!dir.exists()) {
      return;
    }
    if (dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
      add(FindingKind::EmptyScratchFolder, QDate(year, 1, 1), folder, {}, Finding::Scope::Year);
      return;
    }
    for (const QString& name : filesIn(dir.path())) {
      const auto month = layout::monthFilePattern().match(name);
      const auto temp = layout::monthTemporaryPattern().match(name);
      const QDate first = monthOf(month.hasMatch() ? month.captured(1) : temp.captured(1));
      if (!first.isValid() || first.year() != year || !months.test(size_t(first.month() - 1))) {
        continue;
      }
      add(month.hasMatch() ? FindingKind::LeftoverMonthFile : FindingKind::LeftoverTempFile, first,
          folder + QLatin1Char('/') + name, {}, Finding::Scope::Month);
    }
  }

  void readDays() {
    std::vector<DayResult> results(m_jobs.size());
    std::atomic<size_t> next{0};
    std::atomic<bool> stopped{false};
    const auto work = [&] {
      StableFileReader reader;
      DayFileScanner scanner;
      for (size_t i = next++; i < m_jobs.size(); i = next++) {
        if (stopped || (m_options.stopRequested && m_options.stopRequested())) {
          stopped = true;
          break;
        }
        DayResult& result = results[i];
        result.read = true;
        result.outcome = reader.read(m_jobs[i].path, m_options.beforeRead);
        if (result.outcome == StableFileReader::Outcome::Read) {
          result.scan = scanner.scan(reader.bytes(), std::string_view(m_jobs[i].name));
        }
        result.problem = reader.problem();
      }
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < std::clamp(m_options.workers, 1, 16); ++i) {
      helpers.emplace_back(work);
    }
    work();
    for (std::thread& helper : helpers) {
      helper.join();
    }
    m_report.stopped = m_report.stopped || stopped;
    for (size_t i = 0; i < m_jobs.size(); ++i) {
      judgeDay(m_jobs[i], results[i]);
    }
  }

  void judgeDay(const DayJob& job, const DayResult& result) {
    DayEntry& entry = m_report.days[job.date];
    if (result.outcome == StableFileReader::Outcome::Dangling) {
      return;  // a link to nothing: the day has no file
    }
    entry.hasFile = true;
    if (!result.read) {
      entry.state = DayState::NotChecked;  // the check stopped before this file
      return;
    }
    switch (result.outcome) {
      case StableFileReader::Outcome::Changed:
        add(FindingKind::ChangedDuringCheck, job.date, job.relative, {});
        entry.state = DayState::Changed;
        return;
      case StableFileReader::Outcome::Failed:
        addFileFault(FindingKind::Unreadable, job, result.problem);
        entry.state = DayState::Damaged;
        return;
      case StableFileReader::Outcome::NotRegular:
        addFileFault(FindingKind::NotRegularFile, job, {});
        entry.state = DayState::Damaged;
        return;
      case StableFileReader::Outcome::Read:
      case StableFileReader::Outcome::Dangling:
        break;
    }
    judgeContent(job, result.scan, entry);
  }

  void judgeContent(const DayJob& job, const DayScan& scan, DayEntry& entry) {
    const bool trading = m_options.calendar.isTradingDay(job.date);
    const bool future = job.date > m_options.today;
    entry.records = scan.records;
    for (const DayFault& fault : scan.faults) {
      addFileFault(fault.kind, job, fault.detail);
    }
    if (future) {
      add(FindingKind::FutureDay, job.date, job.relative, {});
    } else if (!trading) {
      add(FindingKind::UnexpectedDay, job.date, job.relative, entry.closedReason);
    }
    entry.state = !scan.sound()        ? DayState::Damaged
                  : trading && !future ? DayState::Stored
                                       : DayState::Unexpected;
  }

  // A fault of the file itself. On a closed day, collecting its month again would
  // not touch it, so its advice differs.
  void addFileFault(FindingKind kind, const DayJob& job, const QString& detail) {
    add(kind, job.date, job.relative, detail);
    m_report.findings.last().onClosedDay = !m_options.calendar.isTradingDay(job.date);
  }

  // A year without a single day file (a run that stored nothing, a year typed
  // wrong) is one finding for the year, not one for each of its trading days.
  void reportMissingDays(const QMap<int, MonthMask>& years) {
    QSet<int> yearsReported;
    for (auto& [date, entry] : m_report.days) {
      if (!entry.dueTradingDay || entry.hasFile) {
        continue;
      }
      const int year = date.year();
      if (m_yearsWithDayFiles.contains(year)) {
        add(FindingKind::MissingDay, date, {}, {});
      } else if (years.contains(year) && !yearsReported.contains(year)) {
        yearsReported.insert(year);
        add(FindingKind::YearWithoutDays, QDate(year, 1, 1), dailyFolder(year), {},
            Finding::Scope::Year);
      }
    }
  }

  // A day fetched while the server was still writing it has far fewer records than
  // the days around it; the count of any one day varies too much to judge alone.
  void reportShortDays() {
    std::vector<std::pair<QDate, int>> sound;
    for (const auto& [date, entry] : m_report.days) {
      if (entry.state == DayState::Stored) {
        sound.emplace_back(date, entry.records);
      }
    }
    std::vector<int> scratch;
    for (size_t i = 0; i < sound.size(); ++i) {
      const int median = medianAround(sound, i, scratch);
      const auto [date, records] = sound[i];
      if (median > 0 && qint64(records) * 5 < qint64(median) * 4) {
        m_report.days[date].state = DayState::Short;
        add(FindingKind::ShortDay, date, layout::relativeDayFile(m_options.dayFolder, date),
            QStringLiteral("%1 件（前後の取引日の中央値 %2 件）").arg(records).arg(median));
      }
    }
  }

  void compareMonthsWithServer(const QMap<int, MonthMask>& years) {
    ServerComparison comparison(m_options, m_report);
    if (!comparison.ready()) {
      return;
    }
    for (auto it = years.begin(); it != years.end(); ++it) {
      for (int month = 1; month <= 12; ++month) {
        const QDate first(it.key(), month, 1);
        if (!it.value().test(size_t(month - 1)) || first > m_options.today) {
          continue;
        }
        if (m_options.stopRequested && m_options.stopRequested()) {
          m_report.stopped = true;
          return;
        }
        if (!comparison.compareMonth(it.key(), month)) {
          return;
        }
      }
    }
  }

  const CheckOptions& m_options;
  CheckReport& m_report;
  const QDate m_lastDue;
  std::vector<DayJob> m_jobs;
  QSet<int> m_yearsWithDayFiles;
};

}  // namespace

TradingCalendar fromMarketCalendar(const MarketCalendar& calendar) {
  return TradingCalendar{[&calendar](const QDate& day) { return calendar.isTradingDay(day); },
                         [&calendar](const QDate& day) { return calendar.closedReason(day); }};
}

QDate lastDueTradingDay(const TradingCalendar& calendar, const QDate& today) {
  // No market closes for longer than a couple of weeks; the bound only keeps a
  // broken calendar from looping for ever.
  constexpr int kLongestClosure = 60;
  for (QDate day = today.addDays(-1); day >= today.addDays(-kLongestClosure);
       day = day.addDays(-1)) {
    if (calendar.isTradingDay(day)) {
      return day;
    }
  }
  return {};
}

CheckReport checkDatabase(const CheckOptions& options) {
  CheckReport report;
  report.dbPath = options.dbPath;
  report.today = options.today;
  DatabaseWalk(options, report).run();
  finishReport(report);
  return report;
}

}  // namespace kabuka::check
