#include "server_source.h"

#include "settings/folder_layout.h"

namespace kabuka::check {

namespace {

// No answer at all, as opposed to an answer without the month.
bool noAnswer(const FetchOutcome& outcome) {
  return outcome.failure == FetchFailure::TimedOut ||
         (outcome.failure == FetchFailure::Transport && outcome.httpStatus == 0);
}

}  // namespace

ServerMonthSource::ServerMonthSource(QString baseUrl, Pump& pump, RetryPolicy retry,
                                     FetchConfig config, std::function<bool()> stopRequested)
    : m_baseUrl(std::move(baseUrl)),
      m_pump(pump, std::move(stopRequested)),
      m_fetcher(QString(), m_pump, std::move(config)),
      m_retry(std::move(retry)) {}

QString ServerMonthSource::monthUrl(const QString& baseUrl, int year, int month) {
  return layout::monthFileUrl(baseUrl, layout::yearDigits(year), layout::monthDigits(year, month));
}

MonthSource::Fetched ServerMonthSource::fetchMonth(int year, int month, const QString& localPath) {
  const FetchOutcome outcome =
      fetchWithRetries(m_fetcher, monthUrl(m_baseUrl, year, month), localPath, m_retry);
  return Fetched{outcome.stored(), outcome.stored() ? QString() : fetchFailureText(outcome),
                 noAnswer(outcome)};
}

}  // namespace kabuka::check
