#pragma once

#include "collect/fetcher.h"

#include <functional>

namespace kabuka {

// Whether and how a failed fetch is tried again. The window never retries (a
// person at it simply presses again); an unattended collection does.
struct RetryPolicy {
  int retries = 0;
  // Waits `delayMs` before the next try; false when a stop came during the wait,
  // which ends the trying at once.
  std::function<bool(int delayMs)> wait;
  // Told of each retry before its wait.
  std::function<void(int retryNumber, int delayMs, const FetchOutcome& failed)> onRetry;
  // Told of every request when it has ended, the first and each retry, with how
  // long it took.
  std::function<void(const QString& url, const FetchOutcome& outcome, qint64 elapsedMs)> onRequest;
};

// The wait before retry `retryNumber` (1, 2, ...): 1 s, 2 s, 4 s and so on, or
// what the server asked for in Retry-After, at most 60 s.
int retryDelayMs(int retryNumber, const FetchOutcome& failed);

// Fetches like FileFetcher::fetchFile, trying a transient failure again as the
// policy allows. Returns the outcome of the last try.
FetchOutcome fetchWithRetries(FileFetcher& fetcher, const QString& url, const QString& localPath,
                              const RetryPolicy& policy, const FetchExpectation& expected = {});

}  // namespace kabuka
