#include "retry.h"

#include <algorithm>

namespace kabuka {

namespace {
constexpr int kFirstDelayMs = 1000;
constexpr int kLongestDelayMs = 60'000;
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
  FetchOutcome outcome = fetcher.fetchFile(url, localPath, expected);
  for (int retry = 1; retry <= policy.retries && outcome.isTransient(); ++retry) {
    const int delayMs = retryDelayMs(retry, outcome);
    if (policy.onRetry) {
      policy.onRetry(retry, delayMs, outcome);
    }
    if (policy.wait && !policy.wait(delayMs)) {
      break;
    }
    outcome = fetcher.fetchFile(url, localPath, expected);
  }
  return outcome;
}

}  // namespace kabuka
