#pragma once

#include "common/pump.h"
#include "common/truth.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QString>

#include <functional>

namespace kabuka {

inline const QString kDownloadFailedMessage =
    QStringLiteral("エラー：ダウンロードできませんでした。");

struct FetchConfig {
  int transferTimeoutMs = 60'000;
  qint64 maxBodyBytes = 64 * 1024 * 1024;  // a real month file is a few MiB
  // Told of the bytes received so far as they arrive; `total` is -1 when the
  // server did not announce a length.
  std::function<void(qint64 received, qint64 total)> onProgress;
};

// Why a fetch did not store its file.
enum class FetchFailure {
  None,          // stored
  Transport,     // refused, reset, host unknown ...
  TimedOut,      // no data within the transfer time-out
  Abandoned,     // the window closed (or a second stop came) during the transfer
  CutShort,      // the body ended before its announced length, or the file before its end
  HttpStatus,    // a whole answer with a status outside 2xx
  EmptyAnswer,   // a whole answer with no body at all
  ErrorPage,     // the first field shows an error page or no data
  WrongContent,  // data, but not the file that was asked for
  TooLarge,      // more than the size cap
  WriteFailed,   // the file could not be written whole
};

struct FetchOutcome {
  FetchFailure failure = FetchFailure::Transport;
  QNetworkReply::NetworkError networkError = QNetworkReply::NoError;
  int httpStatus = 0;          // 0 when no answer came
  int retryAfterSeconds = -1;  // the answer's Retry-After in seconds, -1 when absent
  qint64 bytesReceived = 0;
  qint64 bytesAnnounced = -1;  // the answer's Content-Length, -1 when absent
  bool diskFull = false;       // WriteFailed: the disk had no room left
  QString detail;              // more about the failure for a person, when there is more

  bool stored() const { return failure == FetchFailure::None; }
  // A fault that may pass by itself: a refused or broken connection, a time-out,
  // a cut transfer, a server error (5xx) or "too many requests" (429). A 404, any
  // other answer and an error page are answers, and asking again changes nothing.
  bool isTransient() const;
};

// What the fetched content must be, beyond showing data in its first field.
struct FetchExpectation {
  // When set (eight digits), a day file of that day: its header names the day, the
  // records after it number what the header counts, and the last one is whole.
  QByteArray dayName;
};

// The first field of fetched content under the comma-separated field rule: the
// text before the first comma of a CSV file, or the first line of a page.
QByteArray firstField(QByteArrayView content);
// True when the first field shows an error page or no data at all. The three
// tests are exact, case-sensitive substring tests.
bool isErrorFirstField(QByteArrayView field);

// Fetches one price file, judges it and stores it byte for byte, or rejects it.
class FileFetcher {
public:
  // `scratchPath` receives a copy of every fetched content, kept for inspection;
  // empty: no copy is kept.
  FileFetcher(QString scratchPath, Pump& pump, FetchConfig config = {});

  // On success the file at `local_path` holds exactly the fetched bytes, `message`
  // is empty and `failed` is 0. On rejection (nothing came, a transfer error, an
  // HTTP error status, an error page, a body over the cap, or the file could not be
  // written) `message` is the download-failed text, `failed` is -1 and the file
  // at `local_path` is left as it was. Both are set on every return.
  void dl_file_sub(const QString& url, const QString& local_path, QString& message, Truth& failed);

  // The same fetch, telling why it failed; the content is stored only when it is
  // what `expected` describes.
  FetchOutcome fetchFile(const QString& url, const QString& local_path,
                         const FetchExpectation& expected = {});
  const FetchOutcome& lastOutcome() const { return m_lastOutcome; }

private:
  class Receiver;
  // Fills in how the transfer went: transport, status and size.
  void transfer(const QString& url, Receiver& receiver, FetchOutcome& outcome);

  QString m_scratchPath;
  Pump& m_pump;
  FetchConfig m_config;
  QNetworkAccessManager m_network;
  FetchOutcome m_lastOutcome;
};

// Why a fetch stored nothing, in a few words for a person; empty when stored.
QString fetchFailureText(const FetchOutcome& outcome);

// The fetcher's flag and message for an outcome: 0 and empty when stored, -1 and
// the download-failed text otherwise.
void toFlagAndMessage(const FetchOutcome& outcome, QString& message, Truth& failed);

}  // namespace kabuka
