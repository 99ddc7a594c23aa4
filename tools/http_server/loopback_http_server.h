#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

namespace kabuka::tools {

struct HttpRequest {
  QByteArray method;
  QByteArray path;  // as sent, query included
};

struct HttpResponse {
  enum class Behaviour {
    Normal,
    TruncateBody,       // announce more bytes than are sent, then close
    CloseWithoutReply,  // close the connection as soon as the request is read
    ResetConnection,    // abort the connection with a TCP reset
    NoAnswer,           // keep the connection open and never answer
  };

  int status = 200;
  QByteArray reason = "OK";
  QByteArray contentType = "text/csv";
  QByteArray body;
  Behaviour behaviour = Behaviour::Normal;
  int delayMs = 0;  // wait this long before answering

  static HttpResponse ok(QByteArray body, QByteArray contentType = "text/csv");
  static HttpResponse notFound();  // an ordinary web server's 404 page
};

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

// A small HTTP/1.0-style server on 127.0.0.1 with its own thread, for tests and for
// the sample data server. Every connection carries one request; the handler runs
// on the server's thread, so it must not touch the caller's objects unguarded.
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

  QList<QByteArray> requestedPaths() const;
  void clearRequestedPaths();

private:
  class Worker;
  void recordRequest(const QByteArray& path);

  QThread m_thread;
  Worker* m_worker = nullptr;
  quint16 m_port = 0;
  mutable QMutex m_mutex;
  QList<QByteArray> m_paths;
};

}  // namespace kabuka::tools
