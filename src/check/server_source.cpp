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
  return Fetched{outcome.stored(), outcome.stored() ? QString() : describeFailure(outcome)};
}

QString describeFailure(const FetchOutcome& outcome) {
  switch (outcome.failure) {
    case FetchFailure::None:
      return {};
    case FetchFailure::HttpStatus:
      return QStringLiteral("サーバーの応答が HTTP %1 でした").arg(outcome.httpStatus);
    case FetchFailure::ErrorPage:
      return QStringLiteral("サーバーがエラーページを返しました");
    case FetchFailure::TimedOut:
      return QStringLiteral("サーバーの応答が時間内にありませんでした");
    case FetchFailure::TooLarge:
      return QStringLiteral("月ファイルが大きすぎます");
    case FetchFailure::WriteFailed:
      return QStringLiteral("一時フォルダに書き込めませんでした");
    case FetchFailure::Transport:
      break;
  }
  return QStringLiteral("サーバーに接続できませんでした");
}

}  // namespace kabuka::check
