#include "loopback_http_server.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace kabuka::tools {

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

class LoopbackHttpServer::Worker : public QTcpServer {
public:
  Worker(HttpHandler handler, LoopbackHttpServer& owner)
      : m_handler(std::move(handler)), m_owner(owner) {}

protected:
  void incomingConnection(qintptr descriptor) override {
    auto* socket = new QTcpSocket(this);
    socket->setSocketDescriptor(descriptor);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  }

private:
  void onReadyRead(QTcpSocket* socket) {
    QByteArray& buffer = m_pending[socket];
    buffer += socket->readAll();
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
      return;
    }
    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    m_pending.remove(socket);
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);

    HttpRequest request;
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
    m_owner.recordRequest(request.path);
    const HttpResponse response = m_handler(request);
    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(response.delayMs, this, [guarded, response] {
      if (guarded) {
        answer(guarded, response);
      }
    });
  }

  static void answer(QTcpSocket* socket, const HttpResponse& response) {
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
      case B::Normal:
      case B::TruncateBody:
        break;
    }
    const bool truncate = response.behaviour == B::TruncateBody;
    const qint64 announced = response.body.size() + (truncate ? 1000 : 0);
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason +
                      "\r\nContent-Type: " + response.contentType +
                      "\r\nContent-Length: " + QByteArray::number(announced) +
                      "\r\nConnection: close\r\n\r\n";
    socket->write(head);
    socket->write(response.body);
    socket->disconnectFromHost();
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
  return m_paths;
}

void LoopbackHttpServer::clearRequestedPaths() {
  QMutexLocker lock(&m_mutex);
  m_paths.clear();
}

void LoopbackHttpServer::recordRequest(const QByteArray& path) {
  QMutexLocker lock(&m_mutex);
  m_paths.append(path);
}

}  // namespace kabuka::tools
