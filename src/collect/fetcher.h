#pragma once

#include "common/pump.h"
#include "common/truth.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QNetworkAccessManager>
#include <QString>

namespace kabuka {

inline const QString kDownloadFailedMessage =
    QStringLiteral("エラー：ダウンロードできませんでした。");

struct FetchConfig {
  int transferTimeoutMs = 60'000;
  qint64 maxBodyBytes = 64 * 1024 * 1024;  // a real month file is a few MiB
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
  // `scratchPath` receives a copy of every fetched content, kept for inspection.
  FileFetcher(QString scratchPath, Pump& pump, FetchConfig config = {});

  // On success the file at `local_path` holds exactly the fetched bytes, `message`
  // is empty and `failed` is 0. On rejection (nothing came, a transfer error, an
  // HTTP error status, an error page, a body over the cap, or the file could not be
  // written) `message` is the download-failed text, `failed` is -1 and the file
  // at `local_path` is left as it was. Both are set on every return.
  void dl_file_sub(const QString& url, const QString& local_path, QString& message, Truth& failed);

private:
  class Receiver;
  struct Transfer {
    bool complete = false;  // a whole HTTP response arrived, within the size cap
    int httpStatus = 0;
  };
  Transfer fetch(const QString& url, Receiver& receiver);

  QString m_scratchPath;
  Pump& m_pump;
  FetchConfig m_config;
  QNetworkAccessManager m_network;
};

}  // namespace kabuka
