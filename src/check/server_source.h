#pragma once

#include "check/database_check.h"
#include "collect/fetcher.h"
#include "collect/retry.h"

#include <QTemporaryDir>

namespace kabuka::check {

// The data server's month files, fetched, judged and retried exactly as a
// collection fetches them; the fetched copy goes to a temporary folder, never to
// the program folder or the database.
class ServerMonthSource : public MonthSource {
public:
  // `baseUrl` is the server's price tree, ending in "/".
  ServerMonthSource(QString baseUrl, Pump& pump, RetryPolicy retry, FetchConfig config = {});

  Fetched fetchMonth(int year, int month, const QString& localPath) override;

  static QString monthUrl(const QString& baseUrl, int year, int month);

private:
  QString m_baseUrl;
  QTemporaryDir m_scratch;
  FileFetcher m_fetcher;
  RetryPolicy m_retry;
};

}  // namespace kabuka::check
