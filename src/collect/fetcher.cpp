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

// Collects the start of the content until its first field is complete, so that
// the judgement never needs the whole body in memory.
class FirstFieldProbe {
public:
  void take(QByteArrayView chunk) {
    if (m_complete) {
      return;
    }
    const qsizetype scanFrom = m_prefix.size();
    m_prefix.append(chunk);
    m_complete = fieldEndsAfter(scanFrom);
  }
  QByteArray field() const { return firstField(m_prefix); }

private:
  // Looks only at what has not been looked at, so a long first line costs one
  // pass however many pieces it comes in. The field ends at its closing quote, or
  // at a delimiter when it is not quoted.
  bool fieldEndsAfter(qsizetype scanFrom) {
    if (m_fieldStart < 0) {
      while (scanFrom < m_prefix.size() &&
             (m_prefix[scanFrom] == ' ' || m_prefix[scanFrom] == '\t')) {
        ++scanFrom;
      }
      if (scanFrom == m_prefix.size()) {
        return false;
      }
      m_fieldStart = scanFrom;
      m_quoted = m_prefix[scanFrom] == '"';
      scanFrom += m_quoted ? 1 : 0;
    }
    const QByteArrayView fresh = QByteArrayView(m_prefix).sliced(scanFrom);
    if (m_quoted) {
      return fresh.contains('"');
    }
    return fresh.contains(',') || fresh.contains('\r') || fresh.contains('\n');
  }

  QByteArray m_prefix;
  qsizetype m_fieldStart = -1;  // where the field starts, once a non-blank came
  bool m_quoted = false;
  bool m_complete = false;
};

}  // namespace

// Takes the body as it arrives: a copy into the scratch file, the bytes into a
// new file beside the target (renamed over it only on commit), and the start of
// it for the judgement. Nothing of a month file is held in memory.
class FileFetcher::Receiver {
public:
  Receiver(const QString& scratchPath, const QString& targetPath)
      : m_scratch(scratchPath), m_target(targetPath) {
    // The copy is for looking at afterwards; the judgement never reads it back, so
    // a program folder that cannot be written changes nothing else.
    QFile::remove(scratchPath);
    m_scratch.open(QIODevice::WriteOnly | QIODevice::Truncate);
    m_targetOpen = m_target.open(QIODevice::WriteOnly);
  }

  void take(const QByteArray& chunk) {
    m_size += chunk.size();
    m_probe.take(chunk);
    if (m_scratch.isOpen()) {
      m_scratch.write(chunk);
    }
    if (m_targetOpen) {
      m_target.write(chunk);
    }
  }

  qint64 size() const { return m_size; }
  bool firstFieldShowsData() const { return !isErrorFirstField(m_probe.field()); }

  // A broken transfer brought nothing: what arrived of it is not content.
  void dropContent() {
    if (m_scratch.isOpen()) {
      m_scratch.resize(0);
    }
  }

  bool commitTarget() { return m_targetOpen && m_target.commit(); }

private:
  QFile m_scratch;
  QSaveFile m_target;  // discarded unless committed
  bool m_targetOpen = false;
  qint64 m_size = 0;
  FirstFieldProbe m_probe;
};

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

  Receiver receiver(m_scratchPath, local_path);
  const Transfer transfer = fetch(url, receiver);
  m_pump.yield();
  if (!transfer.complete) {
    receiver.dropContent();
    return;
  }
  const bool httpOk = transfer.httpStatus >= 200 && transfer.httpStatus <= 299;
  if (!httpOk || !receiver.firstFieldShowsData() || !receiver.commitTarget()) {
    return;
  }
  message.clear();
  failed = kFalse;
}

FileFetcher::Transfer FileFetcher::fetch(const QString& url, Receiver& receiver) {
  QNetworkRequest request{QUrl(url)};
  request.setTransferTimeout(m_config.transferTimeoutMs);
  QNetworkReply* reply = m_network.get(request);
  // Without a bound the network thread reads a whole month file ahead of us on a
  // fast line; with it, data waits in the socket until it is taken.
  reply->setReadBufferSize(256 * 1024);

  bool tooLarge = false;
  auto refuseWhenTooLarge = [&, reply](qint64 bytes) {
    if (bytes > m_config.maxBodyBytes && !tooLarge) {
      tooLarge = true;
      reply->abort();
    }
  };
  auto takeArrived = [&, reply] {
    receiver.take(reply->readAll());
    refuseWhenTooLarge(receiver.size());
  };
  QObject::connect(reply, &QNetworkReply::readyRead, reply, takeArrived);
  QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                   [&](qint64, qint64 announced) { refuseWhenTooLarge(announced); });

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

  Transfer transfer;
  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  transfer.complete = !tooLarge && status.isValid() && !isTransportError(reply->error());
  transfer.httpStatus = status.toInt();
  reply->disconnect();
  reply->deleteLater();
  return transfer;
}

}  // namespace kabuka
