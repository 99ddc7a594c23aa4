#pragma once

#include "check/database_check.h"
#include "collect/fetcher.h"
#include "collect/retry.h"

#include <functional>

namespace kabuka::check {

// The data server's month files, fetched, judged and retried exactly as a
// collection fetches them, into the comparison's own temporary folder, never into
// the program folder or the database. No copy of the answers is kept: the
// window's data.html is not the check's to overwrite.
class ServerMonthSource : public MonthSource {
public:
  // `baseUrl` is the server's price tree, ending in "/". Once `stopRequested`
  // says so, a transfer in hand is abandoned: the check stores nothing, so a stop
  // need not wait for a month file.
  ServerMonthSource(QString baseUrl, Pump& pump, RetryPolicy retry, FetchConfig config = {},
                    std::function<bool()> stopRequested = {});

  Fetched fetchMonth(int year, int month, const QString& localPath) override;

  static QString monthUrl(const QString& baseUrl, int year, int month);

private:
  // The given pump, with a stop taken for the window's close.
  class StoppablePump : public Pump {
  public:
    StoppablePump(Pump& pump, std::function<bool()> stopRequested)
        : m_pump(pump), m_stopRequested(std::move(stopRequested)) {}
    void yield() override { m_pump.yield(); }
    void yieldWaiting() override { m_pump.yieldWaiting(); }
    Truth stop_flg() const override { return m_pump.stop_flg(); }
    bool closing() const override {
      return m_pump.closing() || (m_stopRequested && m_stopRequested());
    }

  private:
    Pump& m_pump;
    std::function<bool()> m_stopRequested;
  };

  QString m_baseUrl;
  StoppablePump m_pump;
  FileFetcher m_fetcher;
  RetryPolicy m_retry;
};

}  // namespace kabuka::check
