#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

namespace kabuka::tools {

using HttpHeaders = QList<std::pair<QByteArray, QByteArray>>;

struct HttpRequest {
  QByteArray method;
  QByteArray path;           // as sent, query included
  QByteArray version;        // "HTTP/1.1"
  HttpHeaders headers = {};  // as sent, in their order

  // The value of the first header of that name, in any letter case; empty if none.
  QByteArray header(QByteArrayView name) const;
};

struct HttpResponse {
  enum class Behaviour {
    Normal,
    TruncateBody,      // announce `missingBytes` more bytes than are sent, then close
    UnderstateLength,  // announce fewer bytes than are sent, then send them all
    NoLength,          // no Content-Length: closing the connection ends the body
    Chunked,           // Transfer-Encoding: chunked
    // Chunked, but closed before the last chunk: its `missingBytes` and the end
    // of the body never come.
    ChunkedWithoutLastChunk,
    CloseWithoutReply,  // close the connection as soon as the request is read
    ResetConnection,    // abort the connection with a TCP reset
    NoAnswer,           // keep the connection open and never answer
  };

  int status = 200;
  QByteArray reason = "OK";
  QByteArray contentType = "text/csv";
  QByteArray body;  // the whole body, or the pattern of a generated one
  Behaviour behaviour = Behaviour::Normal;
  int delayMs = 0;  // wait this long before answering
  // TruncateBody, ChunkedWithoutLastChunk: how much of the body never comes.
  qint64 missingBytes = 1000;
  HttpHeaders extraHeaders;  // e.g. Location, Retry-After
  // When set, the body is `body` repeated up to this many bytes, made while it is
  // sent, so a body far larger than memory allows can be served.
  qint64 generatedSize = 0;
  // Send the body gzip-compressed when the request's Accept-Encoding allows gzip.
  bool gzipWhenAccepted = false;

  static HttpResponse ok(QByteArray body, QByteArray contentType = "text/csv");
  static HttpResponse notFound();  // an ordinary web server's 404 page
  static HttpResponse generated(QByteArray pattern, qint64 size);

  qint64 bodySize() const { return generatedSize > 0 ? generatedSize : body.size(); }
};

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

// A small HTTP server on 127.0.0.1 with its own thread, for tests and for the
// sample data server. By default every connection carries one request; with
// keep-alive on, a connection whose answer ended cleanly takes the next request
// (HTTP/1.1 persistent connections). The handler runs on the server's thread, so
// it must not touch the caller's objects unguarded.
class LoopbackHttpServer {
public:
  // Listens on `port` (0: any free port). Check listening() afterwards.
  explicit LoopbackHttpServer(HttpHandler handler, quint16 port = 0);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  bool listening() const { return m_port != 0; }
  quint16 port() const { return m_port; }
  QString origin() const;  // "http://127.0.0.1:<port>"

  // Keeps connections open for further requests when the client asks for that
  // and the answer ended cleanly (Normal or Chunked).
  void setKeepAlive(bool keepAlive) { m_keepAlive = keepAlive; }
  int connectionCount() const { return m_connections; }  // accepted so far

  QList<QByteArray> requestedPaths() const;
  QList<HttpRequest> requests() const;  // every request read, headers included
  // Body bytes handed to connections so far; less than a body's size when the client
  // stopped taking it.
  qint64 sentBodyBytes() const { return m_sentBodyBytes; }
  void clearRequestedPaths();  // forgets the requests and the bytes sent

private:
  class Worker;
  void recordRequest(const HttpRequest& request);

  QThread m_thread;
  Worker* m_worker = nullptr;
  quint16 m_port = 0;
  mutable QMutex m_mutex;
  QList<HttpRequest> m_requests;
  std::atomic<qint64> m_sentBodyBytes = 0;
  std::atomic<bool> m_keepAlive = false;
  std::atomic<int> m_connections = 0;
};

}  // namespace kabuka::tools
