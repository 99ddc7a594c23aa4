#include "fetcher.h"

#include "common/field_reader.h"

#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QUrl>

namespace kabuka {

namespace {

// The reply failed in transport (refused, reset, timed out, cut short, cancelled),
// as opposed to a complete response that carries an HTTP error status.
bool isTransportError(QNetworkReply::NetworkError error) {
  const int code = static_cast<int>(error);
  return (code > 0 && code < 200) || error == QNetworkReply::ProtocolFailure ||
         error == QNetworkReply::ProtocolUnknownError;
}

bool writeAtomically(const QString& path, const QByteArray& content) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    return false;
  }
  if (file.write(content) != content.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

}  // namespace

QByteArray firstField(QByteArrayView content) {
  FieldReader reader(std::string_view(content.data(), size_t(content.size())));
  Field field;
  if (!reader.next(field)) {
    return {};
  }
  return QByteArray(field.bytes.data(), qsizetype(field.bytes.size()));
}

bool isErrorFirstField(QByteArrayView field) {
  return field.isEmpty() || field.contains(QByteArrayView("<html")) ||
         field.contains(QByteArrayView("<HTML")) || field.contains(QByteArrayView("404 Not Found"));
}

FileFetcher::FileFetcher(QString scratchPath, Pump& pump, FetchConfig config)
    : m_scratchPath(std::move(scratchPath)), m_pump(pump), m_config(config) {}

void FileFetcher::dl_file_sub(const QString& url, const QString& local_path, QString& message,
                              Truth& failed) {
  message = kDownloadFailedMessage;
  failed = kTrue;

  const Download download = fetch(url);
  QFile::remove(m_scratchPath);
  m_pump.yield();
  writeScratchCopy(download.content);

  const bool httpOk = download.httpStatus >= 200 && download.httpStatus <= 299;
  if (!download.transferComplete || !httpOk || isErrorFirstField(firstField(download.content))) {
    return;
  }
  if (!writeAtomically(local_path, download.content)) {
    return;
  }
  message.clear();
  failed = kFalse;
}

FileFetcher::Download FileFetcher::fetch(const QString& url) {
  QNetworkRequest request{QUrl(url)};
  request.setTransferTimeout(m_config.transferTimeoutMs);
  QNetworkReply* reply = m_network.get(request);

  // The body is taken as it arrives, so only one copy of a month file is ever held.
  QByteArray body;
  bool tooLarge = false;
  auto takeArrived = [&, reply] {
    body.append(reply->readAll());
    if (body.size() > m_config.maxBodyBytes && !tooLarge) {
      tooLarge = true;
      reply->abort();
    }
  };
  QObject::connect(reply, &QNetworkReply::readyRead, reply, takeArrived);
  QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                   [&, reply](qint64, qint64 announced) {
                     if (announced > m_config.maxBodyBytes && !tooLarge) {
                       tooLarge = true;
                       reply->abort();
                     }
                   });

  while (!reply->isFinished()) {
    if (m_pump.closing()) {
      reply->abort();
      break;
    }
    m_pump.yieldWaiting();
  }
  if (!reply->isFinished()) {
    reply->abort();
  }
  takeArrived();

  Download download;
  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  download.transferComplete = !tooLarge && status.isValid() && !isTransportError(reply->error());
  if (download.transferComplete) {
    download.httpStatus = status.toInt();
    download.content = std::move(body);
  }
  reply->disconnect();
  reply->deleteLater();
  return download;
}

void FileFetcher::writeScratchCopy(const QByteArray& content) const {
  // The copy is for looking at afterwards; the judgement never reads it back, so a
  // program folder that cannot be written changes nothing else.
  QFile scratch(m_scratchPath);
  if (scratch.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    scratch.write(content);
  }
}

}  // namespace kabuka
