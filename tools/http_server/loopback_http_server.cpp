#include "loopback_http_server.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>
#include <zlib.h>

#include <algorithm>

namespace kabuka::tools {

namespace {

constexpr qint64 kPieceBytes = 64 * 1024;
// Enough queued to keep the line busy, little enough that a large body is never
// held whole while a slow reader takes it.
constexpr qint64 kMaxQueuedBytes = 256 * 1024;

// The body as it goes out: `pattern` repeated up to `size` bytes, a piece at a time.
class BodySource {
public:
  BodySource(QByteArray pattern, qint64 size)
      : m_pattern(std::move(pattern)), m_size(m_pattern.isEmpty() ? 0 : size) {}

  qint64 size() const { return m_size; }
  bool atEnd() const { return m_made >= m_size; }

  QByteArray next(qint64 maxBytes) {
    const qint64 count = std::min(maxBytes, m_size - m_made);
    QByteArray piece;
    piece.reserve(count);
    while (piece.size() < count) {
      const qint64 offset = (m_made + piece.size()) % m_pattern.size();
      piece.append(m_pattern.constData() + offset,
                   std::min(m_pattern.size() - offset, count - piece.size()));
    }
    m_made += count;
    return piece;
  }

private:
  QByteArray m_pattern;
  qint64 m_size;
  qint64 m_made = 0;
};

BodySource bodyOf(const HttpResponse& response) {
  return {response.body, response.bodySize()};
}

// A gzip stream (header, deflate data, CRC-32 and length trailer) of the whole body.
QByteArray gzipped(BodySource source) {
  z_stream stream{};
  constexpr int kGzipWindowBits = 15 + 16;
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8, Z_DEFAULT_STRATEGY);
  QByteArray compressed;
  char out[64 * 1024];
  int flush = Z_NO_FLUSH;
  while (flush != Z_FINISH) {
    QByteArray piece = source.next(kPieceBytes);
    flush = source.atEnd() ? Z_FINISH : Z_NO_FLUSH;
    stream.next_in = reinterpret_cast<Bytef*>(piece.data());
    stream.avail_in = uInt(piece.size());
    do {
      stream.next_out = reinterpret_cast<Bytef*>(out);
      stream.avail_out = sizeof out;
      deflate(&stream, flush);
      compressed.append(out, qsizetype(sizeof out - stream.avail_out));
    } while (stream.avail_out == 0);
  }
  deflateEnd(&stream);
  return compressed;
}

bool acceptsGzip(const HttpRequest& request) {
  return request.header("Accept-Encoding").toLower().contains("gzip");
}

HttpRequest parseRequest(QByteArrayView head) {
  const QList<QByteArray> lines = head.toByteArray().split('\n');
  const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
  HttpRequest request;
  request.method = requestLine.value(0);
  request.path = requestLine.value(1);
  request.version = requestLine.value(2);
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const qsizetype colon = lines[i].indexOf(':');
    if (colon > 0) {
      request.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
  }
  return request;
}

// Writes one response as fast as the peer takes it, queueing only a little at a
// time, then either closes the connection or hands it back for the next request.
// It lives as long as its response.
class ResponseWriter : public QObject {
public:
  enum class Ending { Close, KeepOpen, CloseWithoutLastChunk };

  ResponseWriter(QTcpSocket* socket, BodySource body, bool chunked, Ending ending,
                 std::atomic<qint64>& sentBodyBytes, std::function<void()> keptOpen)
      : QObject(socket),
        m_socket(socket),
        m_body(std::move(body)),
        m_chunked(chunked),
        m_ending(ending),
        m_sentBodyBytes(sentBodyBytes),
        m_keptOpen(std::move(keptOpen)) {}

  void start(const QByteArray& head) {
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ResponseWriter::writeMore);
    m_socket->write(head);
    writeMore();
  }

private:
  void writeMore() {
    while (!m_finished && m_socket->bytesToWrite() < kMaxQueuedBytes) {
      if (m_body.atEnd()) {
        finish();
        return;
      }
      writePiece(m_body.next(kPieceBytes));
    }
  }

  void writePiece(const QByteArray& piece) {
    m_sentBodyBytes += piece.size();
    if (m_chunked) {
      m_socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
    } else {
      m_socket->write(piece);
    }
  }

  void finish() {
    m_finished = true;
    disconnect(m_socket, &QTcpSocket::bytesWritten, this, nullptr);
    if (m_chunked && m_ending != Ending::CloseWithoutLastChunk) {
      m_socket->write("0\r\n\r\n");
    }
    if (m_ending == Ending::KeepOpen) {
      m_keptOpen();
    } else {
      m_socket->disconnectFromHost();
    }
    deleteLater();
  }

  QTcpSocket* m_socket;
  BodySource m_body;
  bool m_chunked;
  Ending m_ending;
  std::atomic<qint64>& m_sentBodyBytes;
  std::function<void()> m_keptOpen;
  bool m_finished = false;
};

QByteArray headerLine(const QByteArray& name, const QByteArray& value) {
  return name + ": " + value + "\r\n";
}

QByteArray lengthHeader(HttpResponse::Behaviour behaviour, qint64 size, qint64 missingBytes) {
  using B = HttpResponse::Behaviour;
  switch (behaviour) {
    case B::TruncateBody:
      return headerLine("Content-Length", QByteArray::number(size + missingBytes));
    case B::UnderstateLength:
      return headerLine("Content-Length", QByteArray::number(size / 2));
    case B::Chunked:
    case B::ChunkedWithoutLastChunk:
      return headerLine("Transfer-Encoding", "chunked");
    case B::NoLength:
      return {};
    default:
      return headerLine("Content-Length", QByteArray::number(size));
  }
}

QByteArray responseHead(const HttpResponse& response, qint64 sentSize, bool compressed,
                        bool keepOpen) {
  QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason +
                    "\r\n" + headerLine("Content-Type", response.contentType) +
                    lengthHeader(response.behaviour, sentSize, response.missingBytes);
  if (compressed) {
    head += headerLine("Content-Encoding", "gzip");
  }
  for (const auto& [name, value] : response.extraHeaders) {
    head += headerLine(name, value);
  }
  return head + (keepOpen ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n");
}

// HTTP/1.1 keeps a connection unless told to close it; HTTP/1.0 only when asked.
bool wantsKeepAlive(const HttpRequest& request) {
  const QByteArray connection = request.header("Connection").toLower();
  if (request.version == "HTTP/1.0") {
    return connection.contains("keep-alive");
  }
  return !connection.contains("close");
}

// Only an answer that ends where its framing says can leave the connection usable.
bool endsCleanly(HttpResponse::Behaviour behaviour) {
  return behaviour == HttpResponse::Behaviour::Normal ||
         behaviour == HttpResponse::Behaviour::Chunked;
}

}  // namespace

QByteArray HttpRequest::header(QByteArrayView name) const {
  for (const auto& [key, value] : headers) {
    if (key.compare(name, Qt::CaseInsensitive) == 0) {
      return value;
    }
  }
  return {};
}

HttpResponse HttpResponse::ok(QByteArray body, QByteArray contentType) {
  HttpResponse response;
  response.body = std::move(body);
  response.contentType = std::move(contentType);
  return response;
}

HttpResponse HttpResponse::notFound() {
  HttpResponse response;
  response.status = 404;
  response.reason = "Not Found";
  response.contentType = "text/html";
  response.body =
      "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n"
      "<html><head>\n<title>404 Not Found</title>\n</head><body>\n"
      "<h1>Not Found</h1>\n<p>The requested URL was not found on this server.</p>\n"
      "</body></html>\n";
  return response;
}

HttpResponse HttpResponse::generated(QByteArray pattern, qint64 size) {
  HttpResponse response = ok(std::move(pattern));
  response.generatedSize = size;
  return response;
}

class LoopbackHttpServer::Worker : public QTcpServer {
public:
  Worker(HttpHandler handler, LoopbackHttpServer& owner)
      : m_handler(std::move(handler)), m_owner(owner) {}

protected:
  void incomingConnection(qintptr descriptor) override {
    ++m_owner.m_connections;
    auto* socket = new QTcpSocket(this);
    socket->setSocketDescriptor(descriptor);
    takeRequests(socket);
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
      m_pending.remove(socket);
      socket->deleteLater();
    });
  }

private:
  void takeRequests(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
  }

  // Takes one request; the next one on a kept connection waits until this one
  // has been answered.
  void onReadyRead(QTcpSocket* socket) {
    QByteArray& buffer = m_pending[socket];
    buffer += socket->readAll();
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
      return;
    }
    const HttpRequest request = parseRequest(QByteArrayView(buffer).first(headerEnd));
    buffer.remove(0, headerEnd + 4);
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);

    m_owner.recordRequest(request);
    const HttpResponse response = m_handler(request);
    const bool compress = response.gzipWhenAccepted && acceptsGzip(request);
    const bool keepOpen =
        m_owner.m_keepAlive && wantsKeepAlive(request) && endsCleanly(response.behaviour);
    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(response.delayMs, this, [this, guarded, response, compress, keepOpen] {
      if (guarded) {
        answer(guarded, response, compress, keepOpen);
      }
    });
  }

  void takeNextRequest(QTcpSocket* socket) {
    takeRequests(socket);
    if (!m_pending.value(socket).isEmpty() || socket->bytesAvailable() > 0) {
      onReadyRead(socket);
    }
  }

  void answer(QTcpSocket* socket, const HttpResponse& response, bool compress, bool keepOpen) {
    using B = HttpResponse::Behaviour;
    switch (response.behaviour) {
      case B::NoAnswer:
        return;
      case B::CloseWithoutReply:
        socket->disconnectFromHost();
        return;
      case B::ResetConnection: {
        const linger resetOnClose{1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &resetOnClose,
                     sizeof resetOnClose);
        socket->abort();
        return;
      }
      default:
        break;
    }
    BodySource body = bodyOf(response);
    if (response.behaviour == B::ChunkedWithoutLastChunk) {
      body = BodySource(response.body, std::max<qint64>(0, body.size() - response.missingBytes));
    }
    if (compress) {
      QByteArray packed = gzipped(std::move(body));
      body = BodySource(packed, packed.size());
    }
    const QByteArray head = responseHead(response, body.size(), compress, keepOpen);
    using Ending = ResponseWriter::Ending;
    const Ending ending = keepOpen ? Ending::KeepOpen
                          : response.behaviour == B::ChunkedWithoutLastChunk
                              ? Ending::CloseWithoutLastChunk
                              : Ending::Close;
    const bool chunked =
        response.behaviour == B::Chunked || response.behaviour == B::ChunkedWithoutLastChunk;
    QPointer<QTcpSocket> guarded(socket);
    auto* writer = new ResponseWriter(socket, std::move(body), chunked, ending,
                                      m_owner.m_sentBodyBytes, [this, guarded] {
                                        if (guarded) {
                                          takeNextRequest(guarded);
                                        }
                                      });
    writer->start(head);
  }

  HttpHandler m_handler;
  LoopbackHttpServer& m_owner;
  QHash<QTcpSocket*, QByteArray> m_pending;
};

LoopbackHttpServer::LoopbackHttpServer(HttpHandler handler, quint16 port) {
  m_worker = new Worker(std::move(handler), *this);
  m_worker->moveToThread(&m_thread);
  QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
  m_thread.start();
  quint16 boundPort = 0;
  QMetaObject::invokeMethod(
      m_worker,
      [this, port, &boundPort] {
        if (m_worker->listen(QHostAddress::LocalHost, port)) {
          boundPort = m_worker->serverPort();
        }
      },
      Qt::BlockingQueuedConnection);
  m_port = boundPort;
}

LoopbackHttpServer::~LoopbackHttpServer() {
  QMetaObject::invokeMethod(
      m_worker, [this] { m_worker->close(); }, Qt::BlockingQueuedConnection);
  m_thread.quit();
  m_thread.wait();
}

QString LoopbackHttpServer::origin() const {
  return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QList<QByteArray> LoopbackHttpServer::requestedPaths() const {
  QMutexLocker lock(&m_mutex);
  QList<QByteArray> paths;
  for (const HttpRequest& request : m_requests) {
    paths.append(request.path);
  }
  return paths;
}

QList<HttpRequest> LoopbackHttpServer::requests() const {
  QMutexLocker lock(&m_mutex);
  return m_requests;
}

void LoopbackHttpServer::clearRequestedPaths() {
  QMutexLocker lock(&m_mutex);
  m_requests.clear();
  m_sentBodyBytes = 0;
}

void LoopbackHttpServer::recordRequest(const HttpRequest& request) {
  QMutexLocker lock(&m_mutex);
  m_requests.append(request);
}

}  // namespace kabuka::tools
