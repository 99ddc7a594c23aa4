#include "retry.h"

#include <QElapsedTimer>

#include <algorithm>

namespace kabuka {

namespace {

constexpr int kFirstDelayMs = 1000;
constexpr int kLongestDelayMs = 60'000;

FetchOutcome fetchOnce(FileFetcher& fetcher, const QString& url, const QString& localPath,
                       const RetryPolicy& policy, const FetchExpectation& expected) {
  QElapsedTimer clock;
  clock.start();
  const FetchOutcome outcome = fetcher.fetchFile(url, localPath, expected);
  if (policy.onRequest) {
    policy.onRequest(url, outcome, clock.elapsed());
  }
  return outcome;
}

}  // namespace

int retryDelayMs(int retryNumber, const FetchOutcome& failed) {
  if (failed.retryAfterSeconds >= 0) {
    return std::min(failed.retryAfterSeconds, kLongestDelayMs / 1000) * 1000;
  }
  const int doublings = std::clamp(retryNumber - 1, 0, 6);
  return std::min(kFirstDelayMs << doublings, kLongestDelayMs);
}

FetchOutcome fetchWithRetries(FileFetcher& fetcher, const QString& url, const QString& localPath,
                              const RetryPolicy& policy, const FetchExpectation& expected) {
  FetchOutcome outcome = fetchOnce(fetcher, url, localPath, policy, expected);
  for (int retry = 1; retry <= policy.retries && outcome.isTransient(); ++retry) {
    const int delayMs = retryDelayMs(retry, outcome);
    if (policy.onRetry) {
      policy.onRetry(retry, delayMs, outcome);
    }
    if (policy.wait && !policy.wait(delayMs)) {
      break;
    }
    outcome = fetchOnce(fetcher, url, localPath, policy, expected);
  }
  return outcome;
}

}  // namespace kabuka
