#include "fetcher.h"

#include "collect/content_checks.h"
#include "collect/staged_files.h"
#include "common/field_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QUrl>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>

namespace kabuka {

namespace {

// The reply failed in transport (refused, reset, timed out, cut short, cancelled),
// as opposed to a complete response that carries an HTTP error status.
bool isTransportError(QNetworkReply::NetworkError error) {
  const int code = static_cast<int>(error);
  return (code > 0 && code < 200) || error == QNetworkReply::ProtocolFailure ||
         error == QNetworkReply::ProtocolUnknownError;
}

struct TransferEnd {
  bool answered = false;   // a status line came
  bool tooLarge = false;   // refused for its size
  bool abandoned = false;  // cancelled because the window closed
};

// How the transfer itself went, before the answer is judged.
FetchFailure transportFailure(const QNetworkReply& reply, const TransferEnd& end, qint64 received) {
  if (end.tooLarge) {
    return FetchFailure::TooLarge;
  }
  if (end.abandoned) {
    return FetchFailure::Abandoned;
  }
  const QNetworkReply::NetworkError error = reply.error();
  // The transfer time-out cancels the reply.
  if (error == QNetworkReply::TimeoutError || error == QNetworkReply::OperationCanceledError) {
    return FetchFailure::TimedOut;
  }
  if (error == QNetworkReply::RemoteHostClosedError && end.answered && received > 0) {
    return FetchFailure::CutShort;
  }
  if (!end.answered || isTransportError(error)) {
    return FetchFailure::Transport;
  }
  // On a reused connection Qt may end a reply that came short of its length as if
  // it were whole; only the count tells.
  const QVariant announced = reply.header(QNetworkRequest::ContentLengthHeader);
  if (announced.isValid() && announced.toLongLong() != received) {
    return FetchFailure::CutShort;
  }
  return FetchFailure::None;
}

FetchFailure failureOf(const ContentVerdict& verdict) {
  switch (verdict.kind) {
    case ContentVerdict::Kind::Whole:
      return FetchFailure::None;
    case ContentVerdict::Kind::CutShort:
      return FetchFailure::CutShort;
    case ContentVerdict::Kind::Wrong:
      break;
  }
  return FetchFailure::WrongContent;
}

}  // namespace

// Takes the body as it arrives: a copy into the scratch file, the bytes into a
// new file beside the target (renamed over it only on commit), and the start of
// it for the judgement. Nothing of a month file is held in memory.
class FileFetcher::Receiver {
public:
  Receiver(const QString& scratchPath, const QString& targetPath, const FetchExpectation& expected)
      : m_scratch(scratchPath), m_target(targetPath) {
    // The copy is for looking at afterwards; the judgement never reads it back, so
    // a program folder that cannot be written changes nothing else.
    QFile::remove(scratchPath);
    m_scratch.open(QIODevice::WriteOnly | QIODevice::Truncate);
    errno = 0;
    m_targetOpen = m_target.open(QIODevice::WriteOnly);
    if (!m_targetOpen) {
      noteWriteError();
    }
    if (!expected.dayName.isEmpty()) {
      m_dayCheck.emplace(expected.dayName);
    }
  }

  void take(const QByteArray& chunk) {
    m_size += chunk.size();
    m_probe.take(chunk);
    if (m_dayCheck) {
      m_dayCheck->take(chunk);
    }
    if (m_scratch.isOpen()) {
      m_scratch.write(chunk);
    }
    // A write cut short (a full disk) is not always an error to QSaveFile, so the
    // count is checked: a short file must never be committed.
    errno = 0;
    if (m_targetOpen && m_target.write(chunk) != chunk.size()) {
      noteWriteError();
      m_target.cancelWriting();
      m_targetOpen = false;
    }
  }

  qint64 size() const { return m_size; }
  bool firstFieldShowsData() const { return !isErrorFirstField(m_probe.field()); }
  ContentVerdict verdict() const { return m_dayCheck ? m_dayCheck->verdict() : ContentVerdict{}; }

  // A broken transfer brought nothing: what arrived of it is not content.
  void dropContent() {
    if (m_scratch.isOpen()) {
      m_scratch.resize(0);
    }
  }

  // The last buffered bytes reach the disk only in flush(), and commit() does not
  // notice when that fails: a full disk would rename a short file over a good one.
  // A day file is the stored result, so its rename is made durable by a sync of
  // the folder, as the splitter does; a month file waits for its split, whose one
  // sync of the file system covers it.
  bool commitTarget() {
    if (!m_targetOpen) {
      return false;
    }
    errno = 0;
    if (!m_target.flush()) {
      noteWriteError();
      m_target.cancelWriting();
      return false;
    }
    if (!m_target.commit()) {
      noteWriteError();
      return false;
    }
    if (m_dayCheck && !syncFolder(QFileInfo(m_target.fileName()).absolutePath())) {
      m_writeProblem = QStringLiteral("フォルダをディスクに書き出せませんでした");
      return false;
    }
    return true;
  }

  bool diskFull() const { return m_diskFull; }
  const QString& writeProblem() const { return m_writeProblem; }

private:
  // Called straight after the failed call, while errno still tells why: a short
  // write leaves Qt's own error text at "Unknown error".
  void noteWriteError() {
    const int error = errno;
    m_diskFull = m_diskFull || error == ENOSPC || error == EDQUOT ||
                 m_target.error() == QFileDevice::ResourceError;
    if (m_writeProblem.isEmpty()) {
      m_writeProblem =
          QDir::toNativeSeparators(m_target.fileName()) + QStringLiteral(": ") +
          (error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : m_target.errorString());
    }
  }

  QFile m_scratch;
  QSaveFile m_target;  // discarded unless committed
  bool m_targetOpen = false;
  qint64 m_size = 0;
  FirstFieldProbe m_probe;
  std::optional<DayFileCheck> m_dayCheck;
  bool m_diskFull = false;
  QString m_writeProblem;
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
    case FetchFailure::CutShort:
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

namespace {

QString transportText(QNetworkReply::NetworkError error) {
  switch (error) {
    case QNetworkReply::ConnectionRefusedError:
      return QStringLiteral("サーバーに接続できませんでした（接続を拒まれました）");
    case QNetworkReply::HostNotFoundError:
      return QStringLiteral("サーバーに接続できませんでした（ホストが見つかりません）");
    case QNetworkReply::RemoteHostClosedError:
      return QStringLiteral("サーバーが応答の前に接続を切りました");
    default:
      return QStringLiteral("サーバーとの通信に失敗しました（エラー %1）").arg(int(error));
  }
}

QString withDetail(const QString& text, const QString& detail) {
  return detail.isEmpty() ? text : text + QStringLiteral("（") + detail + QStringLiteral("）");
}

QString cutShortText(const FetchOutcome& outcome) {
  const QString text = QStringLiteral("転送が途中で切れました");
  if (outcome.bytesAnnounced >= 0 && outcome.bytesAnnounced != outcome.bytesReceived) {
    return withDetail(text, QStringLiteral("%1 バイトのうち %2 バイトしか届いていません")
                                .arg(outcome.bytesAnnounced)
                                .arg(outcome.bytesReceived));
  }
  return withDetail(text, outcome.detail);
}

}  // namespace

QString fetchFailureText(const FetchOutcome& outcome) {
  switch (outcome.failure) {
    case FetchFailure::None:
      return {};
    case FetchFailure::HttpStatus:
      return QStringLiteral("サーバーの応答が HTTP %1 でした").arg(outcome.httpStatus);
    case FetchFailure::EmptyAnswer:
      return QStringLiteral("サーバーの応答が空でした");
    case FetchFailure::ErrorPage:
      return QStringLiteral("サーバーがデータではなくエラーページを返しました");
    case FetchFailure::WrongContent:
      return withDetail(QStringLiteral("届いた内容が求めたファイルではありません"), outcome.detail);
    case FetchFailure::CutShort:
      return cutShortText(outcome);
    case FetchFailure::TimedOut:
      return QStringLiteral("サーバーの応答が時間内にありませんでした");
    case FetchFailure::Abandoned:
      return QStringLiteral("転送を途中でやめました");
    case FetchFailure::TooLarge:
      return QStringLiteral("ファイルが大きすぎます");
    case FetchFailure::WriteFailed:
      return withDetail(outcome.diskFull ? QStringLiteral("ディスクの空きがありません")
                                         : QStringLiteral("ファイルに書き込めませんでした"),
                        outcome.detail);
    case FetchFailure::Transport:
      break;
  }
  return transportText(outcome.networkError);
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

FetchOutcome FileFetcher::fetchFile(const QString& url, const QString& local_path,
                                    const FetchExpectation& expected) {
  FetchOutcome& outcome = m_lastOutcome;
  outcome = FetchOutcome{};
  Receiver receiver(m_scratchPath, local_path, expected);
  transfer(url, receiver, outcome);
  m_pump.yield();
  if (outcome.failure != FetchFailure::None) {
    receiver.dropContent();
  } else if (outcome.httpStatus < 200 || outcome.httpStatus > 299) {
    outcome.failure = FetchFailure::HttpStatus;
  } else if (outcome.bytesReceived == 0) {
    outcome.failure = FetchFailure::EmptyAnswer;
  } else if (!receiver.firstFieldShowsData()) {
    outcome.failure = FetchFailure::ErrorPage;
  } else if (const ContentVerdict verdict = receiver.verdict();
             verdict.kind != ContentVerdict::Kind::Whole) {
    outcome.failure = failureOf(verdict);
    outcome.detail = verdict.detail;
  } else if (!receiver.commitTarget()) {
    outcome.failure = FetchFailure::WriteFailed;
  }
  if (outcome.failure == FetchFailure::WriteFailed) {
    outcome.diskFull = receiver.diskFull();
    outcome.detail = receiver.writeProblem();
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

  TransferEnd end;
  qint64 announced = -1;
  auto refuseWhenTooLarge = [&, reply](qint64 bytes) {
    if (bytes > m_config.maxBodyBytes && !end.tooLarge) {
      end.tooLarge = true;
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
      end.abandoned = true;
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
  end.answered = status.isValid();
  outcome.httpStatus = status.toInt();
  outcome.networkError = reply->error();
  outcome.retryAfterSeconds = retryAfterSeconds(*reply);
  outcome.bytesReceived = receiver.size();
  const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
  outcome.bytesAnnounced = length.isValid() ? length.toLongLong() : -1;
  outcome.failure = transportFailure(*reply, end, receiver.size());
  reply->disconnect();
  reply->deleteLater();
}

}  // namespace kabuka
