#pragma once

#include "history/day_file.h"
#include "history/day_listing.h"

#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kabuka::history {

// One day file to read, and what the database knows of it.
struct DayJob {
  DayFileStamp stamp;
  QString knownChecksum;  // of the stored day; empty when the day is new
};

struct DayRead {
  enum class Outcome {
    Converted,    // sound: rows ready
    SameContent,  // the stored day's content, under a new size or time
    Damaged,      // content.problems says why
    Changed,      // replaced or written while it was read
  };
  Outcome outcome = Outcome::Damaged;
  DayFileStamp stamp;  // as read
  QString checksum;
  DayContent content;
};

// The content checksum kept in day_files: XXH3 of the bytes, 16 hex digits.
QString contentChecksum(std::string_view bytes);

// Reads, judges and converts day files on worker threads, handing the results
// over in the order of the jobs. Holds only a few days at a time, so the memory
// does not grow with the number of files.
class DayReader {
public:
  // Codes, markets and names are numbered through the tables given.
  DayReader(std::vector<DayJob> jobs, QString dbPath, TextTable& codes, TextTable& markets,
            TextTable& names, int workers, std::function<void(const QString&)> beforeRead = {});
  ~DayReader();
  DayReader(const DayReader&) = delete;
  DayReader& operator=(const DayReader&) = delete;

  size_t size() const { return m_jobs.size(); }
  // The result of job `index`, waiting for it; each index once, in order.
  std::unique_ptr<DayRead> take(size_t index);

private:
  void work();
  std::unique_ptr<DayRead> readOne(const DayJob& job, class DayWorker& worker);

  static constexpr size_t kAhead = 8;
  const std::vector<DayJob> m_jobs;
  const QString m_dbPath;
  TextTable& m_codes;
  TextTable& m_markets;
  TextTable& m_names;
  const std::function<void(const QString&)> m_beforeRead;

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::unique_ptr<DayRead>> m_results;
  size_t m_nextJob = 0;
  size_t m_taken = 0;
  bool m_stopping = false;
  std::vector<std::thread> m_threads;
};

}  // namespace kabuka::history
