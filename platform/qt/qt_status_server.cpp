// The status server over Qt HTTP Server.
#include "platform/qt/qt_status_server.h"

#include <unistd.h>

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "bus/status_views.h"

namespace velora {

namespace {

using Status = QHttpServerResponder::StatusCode;

// What a connection has sent since its last complete request (a socket property).
constexpr char Unanswered[] = "veloraUnanswered";

// Answers that cannot come from the HTTP server itself, written before it has seen a request.
void Refuse(QTcpSocket* socket, const char* statusLine) {
  socket->write(QByteArray("HTTP/1.1 ") + statusLine +
                "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  socket->disconnectFromHost();
}

// Takes a bounded number of connections and watches each before the HTTP server reads it: a
// request above the limit is refused, a connection closed when a request takes too long to come
// in whole, dripped or not, or when none comes.
class GuardedTcpServer : public QTcpServer {
 public:
  GuardedTcpServer(QObject* parent, int requestMs) : QTcpServer(parent), requestMs_(requestMs) {}

 protected:
  void incomingConnection(qintptr descriptor) override {
    if (findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly).size() >=
        QtStatusServer::MaxConnections) {
      ::close(static_cast<int>(descriptor));
      return;
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
      delete socket;
      ::close(static_cast<int>(descriptor));
      return;
    }
    // A request that does not fit stalls here instead of growing the buffer, and is refused.
    socket->setReadBufferSize(QtStatusServer::MaxRequestBytes + 1);
    socket->setProperty(Unanswered, qint64(0));
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, socket, &QAbstractSocket::abort);
    idle->start(requestMs_);
    // Connected before the HTTP server's own, so it sees each piece before it is parsed.
    connect(socket, &QIODevice::readyRead, socket, [this, socket, idle] {
      const qint64 before = socket->property(Unanswered).toLongLong();
      if (before == 0) idle->start(requestMs_);  // a new request: its own time, not each piece's
      const qint64 unanswered = before + socket->bytesAvailable();
      socket->setProperty(Unanswered, unanswered);
      if (unanswered > QtStatusServer::MaxRequestBytes) {
        // Not inside the HTTP server's handling of this signal.
        QTimer::singleShot(0, socket, [socket] { Refuse(socket, "413 Payload Too Large"); });
      }
    });
    addPendingConnection(socket);
  }

 private:
  int requestMs_;
};

QByteArray Bytes(std::string_view text) {
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

class QtStatusServer::Http : public QAbstractHttpServer {
 public:
  explicit Http(const Server& server) : server_(server) {}

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
    socket->setProperty(Unanswered, qint64(0));
    // A client that asks and never reads: its answers are not piled up without end.
    if (socket->bytesToWrite() > 16 * MaxRequestBytes) {
      QTimer::singleShot(0, socket, &QAbstractSocket::abort);
      return true;
    }
    const QString path = request.url().path();
    const bool page = path == "/";
    if (!page && path != "/metrics") {
      Answer(request, socket, Status::NotFound, "text/plain; charset=utf-8", "not found\n");
      return true;
    }
    const auto method = request.method();
    if (method != QHttpServerRequest::Method::Get && method != QHttpServerRequest::Method::Head) {
      Answer(request, socket, Status::MethodNotAllowed, "text/plain; charset=utf-8",
             "only GET and HEAD\n");
      return true;
    }
    const StatusSnapshot snapshot = TakeSnapshot(server_);
    if (page) {
      Answer(request, socket, Status::Ok, StatusPageContentType, FormatStatusPage(snapshot));
    } else {
      Answer(request, socket, Status::Ok, MetricsContentType, FormatMetrics(snapshot));
    }
    return true;
  }

  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
    Answer(request, socket, Status::NotFound, "text/plain; charset=utf-8", "not found\n");
  }

 private:
  static void Answer(const QHttpServerRequest& request, QTcpSocket* socket, Status status,
                     std::string_view type, const std::string& body) {
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(status);
    responder.writeHeader("Content-Type", Bytes(type));
    responder.writeHeader("Content-Length", QByteArray::number(qsizetype(body.size())));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    // Should a name ever slip through unescaped, the page still runs no script and loads nothing.
    responder.writeHeader("Content-Security-Policy",
                          "default-src 'none'; style-src 'unsafe-inline'");
    if (status == Status::MethodNotAllowed) responder.writeHeader("Allow", "GET, HEAD");
    const bool head = request.method() == QHttpServerRequest::Method::Head;
    responder.writeBody(head ? QByteArray() : Bytes(body));
    if (request.value("connection").compare("close", Qt::CaseInsensitive) == 0) {
      socket->disconnectFromHost();
    }
  }

  const Server& server_;
};

std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string& error) {
  const QString whole = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const QString trimmed = whole.trimmed();
  error = "not ADDRESS:PORT (an IPv4 address or [an IPv6 address], and a port): " +
          trimmed.toStdString();
  const qsizetype colon = trimmed.lastIndexOf(':');
  if (colon < 0) return std::nullopt;
  QString host = trimmed.left(colon);
  const QString portText = trimmed.mid(colon + 1);
  bool bracketed = host.startsWith('[') && host.endsWith(']');
  if (bracketed) host = host.mid(1, host.size() - 2);
  ListenAddress address;
  if (!address.host.setAddress(host)) return std::nullopt;
  const bool v4 = address.host.protocol() == QAbstractSocket::IPv4Protocol;
  // Brackets around IPv6 alone, and IPv4 in its full dotted form.
  if (bracketed == v4 || (v4 && host.count('.') != 3)) return std::nullopt;
  static const QRegularExpression digits("^[0-9]{1,5}$");
  const uint port = portText.toUInt();
  if (!digits.match(portText).hasMatch() || port > 65535) return std::nullopt;
  address.port = static_cast<quint16>(port);
  error.clear();
  return address;
}

QtStatusServer::QtStatusServer(const Server& server, int requestMs)
    : server_(server), requestMs_(requestMs) {}

QtStatusServer::~QtStatusServer() = default;

bool QtStatusServer::Listen(std::string_view address, std::string& error) {
  Close();
  const std::optional<ListenAddress> parsed = ParseListenAddress(address, error);
  if (!parsed) return false;
  auto http = std::make_unique<Http>(server_);
  auto* tcp = new GuardedTcpServer(http.get(), requestMs_);
  if (!tcp->listen(parsed->host, parsed->port)) {
    error = "cannot listen on " + std::string(address) + ": " + tcp->errorString().toStdString();
    return false;
  }
  http->bind(tcp);
  bound_ = {parsed->host, tcp->serverPort()};
  http_ = std::move(http);
  return true;
}

void QtStatusServer::Close() {
  http_.reset();
}

std::string QtStatusServer::Url() const {
  if (!http_) return {};
  const QString host = bound_.host.protocol() == QAbstractSocket::IPv6Protocol
                           ? "[" + bound_.host.toString() + "]"
                           : bound_.host.toString();
  return "http://" + host.toStdString() + ":" + std::to_string(bound_.port) + "/";
}

}  // namespace velora
