#include "server_compare.h"

#include "check/stable_read.h"
#include "collect/null_window.h"
#include "collect/splitter.h"
#include "common/temporary_folder.h"
#include "settings/folder_layout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace kabuka::check {

namespace {

QByteArray contentOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int firstDifferentLine(QByteArrayView a, QByteArrayView b) {
  const auto mismatch = std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first;
  return 1 + int(std::count(a.begin(), mismatch, '\n'));
}

}  // namespace

// Two months in a row without any answer: the server is down or the line is, and
// every further month would only wait out its retries.
constexpr int kUnreachableMonthsToGiveUp = 2;

ServerComparison::ServerComparison(const CheckOptions& options, CheckReport& report)
    : m_options(options),
      m_report(report),
      m_lastDue(lastDueTradingDay(options.calendar, options.today)),
      m_scratch(newTemporaryFolder(QStringLiteral("kabuka-check"))) {
  if (!m_scratch) {
    m_report.incomplete =
        QStringLiteral("一時フォルダを作れないため、サーバーとの比較ができませんでした（%1）")
            .arg(QDir::tempPath().isEmpty() ? QStringLiteral("TMPDIR のフォルダがありません")
                                            : QDir::tempPath());
  }
}

bool ServerComparison::ready() const {
  return m_scratch != nullptr;
}

void ServerComparison::add(FindingKind kind, const QDate& date, const QString& path,
                           const QString& detail, Finding::Scope scope) {
  m_report.findings.append(Finding{kind, date, path, detail, scope});
}

bool ServerComparison::compareMonth(int year, int month) {
  const QDate first(year, month, 1);
  const QString monthPath =
      m_scratch->filePath(layout::monthFileName(layout::monthDigits(year, month)));
  const QString splitFolder = m_scratch->filePath(QStringLiteral("days"));
  QDir(splitFolder).removeRecursively();
  QDir().mkpath(splitFolder);

  const MonthSource::Fetched fetched = m_options.server->fetchMonth(year, month, monthPath);
  if (!fetched.stored && m_options.stopRequested && m_options.stopRequested()) {
    m_report.stopped = true;  // the month was cut short by the stop, not by the server
    return false;
  }
  m_unreachableInARow = fetched.unreachable ? m_unreachableInARow + 1 : 0;
  if (!fetched.stored) {
    add(FindingKind::ServerMonthMissing, first, {}, fetched.problem, Finding::Scope::Month);
    if (m_unreachableInARow >= kUnreachableMonthsToGiveUp) {
      m_report.incomplete =
          QStringLiteral("サーバーに %1 か月続けて接続できないため、比較を打ち切りました")
              .arg(m_unreachableInARow);
      return false;
    }
    return true;
  }
  NullWindow window;  // the splitter reports to a window; there is none to show
  const SplitResult split =
      data_d_csv_sub(monthPath, {year, month}, splitFolder + QLatin1Char('/'), window);
  QFile::remove(monthPath);
  if (!split.complete) {
    add(FindingKind::ServerMonthMissing, first, {},
        QStringLiteral("月ファイルを最後まで分割できません"), Finding::Scope::Month);
  }
  QSet<QDate> announced;
  for (const QString& name : QDir(splitFolder).entryList(QDir::Files, QDir::Name)) {
    const QDate date = layout::dayOfDigits(QStringView(name).left(8));
    if (date.isValid()) {
      announced.insert(date);
      compareDay(date, splitFolder + QLatin1Char('/') + name);
    }
  }
  reportDaysNotAnnounced(year, month, announced);
  return true;
}

void ServerComparison::compareDay(const QDate& date, const QString& serverDayFile) {
  // Days after the last one due are not judged: the database may lag by a day.
  if (!m_lastDue.isValid() || date > m_lastDue) {
    return;
  }
  const QString path = layout::relativeDayFile(m_options.dayFolder, date);
  DayEntry& entry = m_report.days[date];
  if (!QFileInfo::exists(m_options.dbPath + path)) {
    if (!(entry.dueTradingDay && !entry.hasFile)) {  // else already reported missing
      add(FindingKind::ServerHasDay, date, {}, {});
      entry.state = DayState::Missing;
    }
    return;
  }
  // Only a file the check read whole is compared: a changed, unreadable or
  // non-regular one has its own finding already.
  if (entry.state == DayState::Changed || entry.state == DayState::NotChecked ||
      !readOurs(m_options.dbPath + path)) {
    return;
  }
  QByteArrayView ours(m_reader.bytes().data(), qsizetype(m_reader.bytes().size()));
  // A final DOS end-of-file mark ends the text, for the check as for the splitter.
  if (ours.endsWith('\x1a')) {
    ours.chop(1);
  }
  const QByteArray theirs = contentOf(serverDayFile);
  if (ours != QByteArrayView(theirs)) {
    add(FindingKind::DiffersFromServer, date, path,
        QStringLiteral("%1 行目から違います").arg(firstDifferentLine(ours, theirs)));
    entry.state = DayState::Damaged;
  }
}

bool ServerComparison::readOurs(const QString& path) {
  return m_reader.read(path, {}) == StableFileReader::Outcome::Read;
}

void ServerComparison::reportDaysNotAnnounced(int year, int month, const QSet<QDate>& announced) {
  const QDate first(year, month, 1);
  for (QDate day = first; day.month() == month && day <= m_lastDue; day = day.addDays(1)) {
    const auto entry = m_report.days.find(day);
    if (entry != m_report.days.end() && entry->second.hasFile && !announced.contains(day)) {
      add(FindingKind::NotOnServer, day, layout::relativeDayFile(m_options.dayFolder, day), {});
    }
  }
}

}  // namespace kabuka::check
