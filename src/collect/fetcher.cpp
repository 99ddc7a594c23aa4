#include "fetcher.h"

#include "common/field_reader.h"

#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QUrl>

#include <charconv>

namespace kabuka {

namespace {

// The reply failed in transport (refused, reset, timed out, cut short, cancelled),
// as opposed to a complete response that carries an HTTP error status.
bool isTransportError(QNetworkReply::NetworkError error) {
  const int code = static_cast<int>(error);
  return (code > 0 && code < 200) || error == QNetworkReply::ProtocolFailure ||
         error == QNetworkReply::ProtocolUnknownError;
}

// How the transfer itself went, before the answer is judged.
FetchFailure transportFailure(const QNetworkReply& reply, bool answered, bool tooLarge,
                              bool abandoned) {
  if (tooLarge) {
    return FetchFailure::TooLarge;
  }
  const QNetworkReply::NetworkError error = reply.error();
  // The transfer time-out cancels the reply; a cancel of our own is a close.
  if (error == QNetworkReply::TimeoutError ||
      (error == QNetworkReply::OperationCanceledError && !abandoned)) {
    return FetchFailure::TimedOut;
  }
  if (!answered || isTransportError(error)) {
    return FetchFailure::Transport;
  }
  return FetchFailure::None;
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
    // A write cut short (a full disk) is not always an error to QSaveFile, so the
    // count is checked: a short file must never be committed.
    if (m_targetOpen && m_target.write(chunk) != chunk.size()) {
      m_target.cancelWriting();
      m_targetOpen = false;
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

  // The last buffered bytes reach the disk only in flush(), and commit() does not
  // notice when that fails: a full disk would rename a short file over a good one.
  bool commitTarget() {
    if (!m_targetOpen) {
      return false;
    }
    if (!m_target.flush()) {
      m_target.cancelWriting();
      return false;
    }
    return m_target.commit();
  }

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

bool FetchOutcome::isTransient() const {
  switch (failure) {
    case FetchFailure::TimedOut:
      return true;
    case FetchFailure::HttpStatus:
      return httpStatus == 429 || (httpStatus >= 500 && httpStatus <= 599);
    case FetchFailure::Transport:
      return networkError == QNetworkReply::ConnectionRefusedError ||
             networkError == QNetworkReply::RemoteHostClosedError ||
             networkError == QNetworkReply::TimeoutError ||
             networkError == QNetworkReply::TemporaryNetworkFailureError ||
             networkError == QNetworkReply::NetworkSessionFailedError ||
             networkError == QNetworkReply::UnknownNetworkError ||
             networkError == QNetworkReply::ProtocolFailure;
    default:
      return false;
  }
}

QString fetchFailureText(const FetchOutcome& outcome) {
  switch (outcome.failure) {
    case FetchFailure::None:
      return {};
    case FetchFailure::HttpStatus:
      return QStringLiteral("サーバーの応答が HTTP %1 でした").arg(outcome.httpStatus);
    case FetchFailure::ErrorPage:
      return QStringLiteral("サーバーがエラーページか空の内容を返しました");
    case FetchFailure::TimedOut:
      return QStringLiteral("サーバーの応答が時間内にありませんでした");
    case FetchFailure::TooLarge:
      return QStringLiteral("ファイルが大きすぎます");
    case FetchFailure::WriteFailed:
      return QStringLiteral("ファイルに書き込めませんでした");
    case FetchFailure::Transport:
      break;
  }
  return QStringLiteral("サーバーに接続できないか、接続が切れました");
}

void toFlagAndMessage(const FetchOutcome& outcome, QString& message, Truth& failed) {
  failed = toTruth(!outcome.stored());
  message = outcome.stored() ? QString() : kDownloadFailedMessage;
}

FileFetcher::FileFetcher(QString scratchPath, Pump& pump, FetchConfig config)
    : m_scratchPath(std::move(scratchPath)), m_pump(pump), m_config(std::move(config)) {}

void FileFetcher::dl_file_sub(const QString& url, const QString& local_path, QString& message,
                              Truth& failed) {
  toFlagAndMessage(fetchFile(url, local_path), message, failed);
}

FetchOutcome FileFetcher::fetchFile(const QString& url, const QString& local_path) {
  FetchOutcome& outcome = m_lastOutcome;
  outcome = FetchOutcome{};
  Receiver receiver(m_scratchPath, local_path);
  transfer(url, receiver, outcome);
  m_pump.yield();
  if (outcome.failure != FetchFailure::None) {
    receiver.dropContent();
  } else if (outcome.httpStatus < 200 || outcome.httpStatus > 299) {
    outcome.failure = FetchFailure::HttpStatus;
  } else if (!receiver.firstFieldShowsData()) {
    outcome.failure = FetchFailure::ErrorPage;
  } else if (!receiver.commitTarget()) {
    outcome.failure = FetchFailure::WriteFailed;
  }
  return outcome;
}

namespace {

// Retry-After in whole seconds; the date form is rare from data servers and is
// treated as absent.
int retryAfterSeconds(const QNetworkReply& reply) {
  const QByteArray value = reply.rawHeader("Retry-After").trimmed();
  int seconds = -1;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
  return error == std::errc() && end == value.data() + value.size() && seconds >= 0 ? seconds : -1;
}

}  // namespace

void FileFetcher::transfer(const QString& url, Receiver& receiver, FetchOutcome& outcome) {
  QNetworkRequest request{QUrl(url)};
  request.setTransferTimeout(m_config.transferTimeoutMs);
  // Left to itself Qt asks for a compressed answer and unpacks it: a cut-short
  // compressed body would then pass as a whole short file. The file is stored as
  // the server sends it.
  request.setRawHeader("Accept-Encoding", "identity");
  QNetworkReply* reply = m_network.get(request);
  // Without a bound the network thread reads a whole month file ahead of us on a
  // fast line; with it, data waits in the socket until it is taken.
  reply->setReadBufferSize(256 * 1024);

  bool tooLarge = false;
  bool abandoned = false;
  qint64 announced = -1;
  auto refuseWhenTooLarge = [&, reply](qint64 bytes) {
    if (bytes > m_config.maxBodyBytes && !tooLarge) {
      tooLarge = true;
      reply->abort();
    }
  };
  auto takeArrived = [&, reply] {
    if (!reply->isOpen()) {
      return;  // aborted or timed out: nothing more can be read
    }
    receiver.take(reply->readAll());
    refuseWhenTooLarge(receiver.size());
    if (m_config.onProgress) {
      m_config.onProgress(receiver.size(), announced);
    }
  };
  QObject::connect(reply, &QNetworkReply::readyRead, reply, takeArrived);
  QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [&](qint64, qint64 total) {
    announced = total;
    refuseWhenTooLarge(total);
  });

  while (!reply->isFinished()) {
    if (m_pump.closing()) {
      abandoned = true;
      reply->abort();
      break;
    }
    m_pump.yieldWaiting();
  }
  if (!reply->isFinished()) {
    reply->abort();
  }
  takeArrived();

  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  outcome.httpStatus = status.toInt();
  outcome.networkError = reply->error();
  outcome.retryAfterSeconds = retryAfterSeconds(*reply);
  outcome.bytesReceived = receiver.size();
  outcome.failure = transportFailure(*reply, status.isValid(), tooLarge, abandoned);
  reply->disconnect();
  reply->deleteLater();
}

}  // namespace kabuka
