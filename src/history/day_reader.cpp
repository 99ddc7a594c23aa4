#include "day_reader.h"

#include "check/stable_read.h"
#include "history/schema.h"
#include "settings/folder_layout.h"

#include <xxhash.h>

namespace kabuka::history {

class DayWorker {
public:
  DayWorker(TextTable& codes, TextTable& markets, TextTable& names)
      : converter(codes, markets, names) {}
  check::StableFileReader reader;
  DayFileConverter converter;
};

QString contentChecksum(std::string_view bytes) {
  const XXH64_hash_t hash = XXH3_64bits(bytes.data(), bytes.size());
  return QStringLiteral("%1").arg(quint64(hash), 16, 16, QLatin1Char('0'));
}

DayReader::DayReader(std::vector<DayJob> jobs, QString dbPath, TextTable& codes, TextTable& markets,
                     TextTable& names, int workers, std::function<void(const QString&)> beforeRead)
    : m_jobs(std::move(jobs)),
      m_dbPath(std::move(dbPath)),
      m_codes(codes),
      m_markets(markets),
      m_names(names),
      m_beforeRead(std::move(beforeRead)),
      m_results(m_jobs.size()) {
  const int threads = std::clamp(workers, 1, 8);
  for (int i = 0; i < threads && size_t(i) < m_jobs.size(); ++i) {
    m_threads.emplace_back([this] { work(); });
  }
}

DayReader::~DayReader() {
  {
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_changed.notify_all();
  for (std::thread& thread : m_threads) {
    thread.join();
  }
}

std::unique_ptr<DayRead> DayReader::take(size_t index) {
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [&] { return m_results[index] != nullptr; });
  std::unique_ptr<DayRead> result = std::move(m_results[index]);
  m_taken = index + 1;
  lock.unlock();
  m_changed.notify_all();
  return result;
}

void DayReader::work() {
  DayWorker worker(m_codes, m_markets, m_names);
  for (;;) {
    size_t index = 0;
    {
      std::unique_lock lock(m_mutex);
      m_changed.wait(lock, [&] {
        return m_stopping || m_nextJob >= m_jobs.size() || m_nextJob < m_taken + kAhead;
      });
      if (m_stopping || m_nextJob >= m_jobs.size()) {
        return;
      }
      index = m_nextJob++;
    }
    std::unique_ptr<DayRead> result = readOne(m_jobs[index], worker);
    {
      const std::lock_guard lock(m_mutex);
      m_results[index] = std::move(result);
    }
    m_changed.notify_all();
  }
}

std::unique_ptr<DayRead> DayReader::readOne(const DayJob& job, DayWorker& worker) {
  auto result = std::make_unique<DayRead>();
  result->stamp = job.stamp;
  using Outcome = check::StableFileReader::Outcome;
  const Outcome outcome = worker.reader.read(m_dbPath + job.stamp.relative, m_beforeRead);
  if (outcome == Outcome::Changed) {
    result->outcome = DayRead::Outcome::Changed;
    return result;
  }
  if (outcome == Outcome::Failed) {
    result->outcome = DayRead::Outcome::Damaged;
    result->content.problems.append(
        faultText({check::FindingKind::Unreadable, worker.reader.problem()}));
    return result;
  }
  const std::string_view bytes = worker.reader.bytes();
  result->stamp.bytes = qint64(bytes.size());
  result->checksum = contentChecksum(bytes);
  if (!job.knownChecksum.isEmpty() && job.knownChecksum == result->checksum) {
    result->outcome = DayRead::Outcome::SameContent;
    return result;
  }
  const QByteArray dayName = layout::dayDigits(job.stamp.date).toLatin1();
  worker.converter.convert(bytes, unixDay(job.stamp.date),
                           std::string_view(dayName.constData(), size_t(dayName.size())),
                           result->content);
  result->outcome =
      result->content.problems.isEmpty() ? DayRead::Outcome::Converted : DayRead::Outcome::Damaged;
  return result;
}

}  // namespace kabuka::history
