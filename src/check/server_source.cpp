#include "server_source.h"

namespace kabuka::check {

ServerMonthSource::ServerMonthSource(QString baseUrl, Pump& pump, RetryPolicy retry,
                                     FetchConfig config)
    : m_baseUrl(std::move(baseUrl)),
      m_fetcher(m_scratch.filePath(QStringLiteral("data.html")), pump, std::move(config)),
      m_retry(std::move(retry)) {}

QString ServerMonthSource::monthUrl(const QString& baseUrl, int year, int month) {
  const QDate first(year, month, 1);
  return baseUrl + first.toString(QStringLiteral("yyyy")) + QStringLiteral("/data_dg/") +
         first.toString(QStringLiteral("yyyyMM")) + QStringLiteral(".csv");
}

MonthSource::Fetched ServerMonthSource::fetchMonth(int year, int month, const QString& localPath) {
  const FetchOutcome outcome =
      fetchWithRetries(m_fetcher, monthUrl(m_baseUrl, year, month), localPath, m_retry);
  return Fetched{outcome.stored(), outcome.stored() ? QString() : fetchFailureText(outcome)};
}

}  // namespace kabuka::check
