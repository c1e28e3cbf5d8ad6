// Line connections on Qt sockets.
#include "platform/qt/qt_line_connection.h"

#include <QHostInfo>
#include <QMetaObject>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <utility>

namespace velora {

int MailServicePort(std::string_view service) {
  if (service == "smtp") return 25;
  if (service == "pop3") return 110;
  if (service == "smtps") return 465;
  if (service == "pop3s") return 995;
  if (service.empty() || service.size() > 5) return 0;
  int port = 0;
  for (char c : service) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
  }
  return port <= 65535 ? port : 0;
}

QtLineConnection::QtLineConnection(QList<QSslCertificate> extraCaCertificates)
    : extraCa_(std::move(extraCaCertificates)) {}

QtLineConnection::~QtLineConnection() {
  *alive_ = false;
  ReleaseSocket();
}

void QtLineConnection::SetHandlers(Handlers handlers) {
  handlers_ = std::make_shared<Handlers>(std::move(handlers));
}

template <class Call>
bool QtLineConnection::CallBack(Call call) {
  // Copies keep the handler and the liveness flag valid while the handler runs, even when it
  // destroys this connection.
  const auto alive = alive_;
  const auto handlers = handlers_;
  const QTcpSocket* socket = socket_;
  ++inCallback_;
  call(*handlers);
  if (!*alive) return false;
  --inCallback_;
  return socket_ == socket && socket_ != nullptr;
}

void QtLineConnection::Connect(const std::string& host, const std::string& service,
                               bool implicitTls) {
  ReleaseSocket();
  up_ = false;
  ended_ = false;
  buffer_.clear();
  sslErrors_.clear();
  const int port = MailServicePort(service);
  where_ = host + ":" + (port > 0 ? std::to_string(port) : service);

  if (implicitTls) {
    auto* ssl = new QSslSocket;
    socket_ = ssl;
    QObject::connect(ssl, &QSslSocket::encrypted, [this] { OnUp(); });
    QObject::connect(ssl, &QSslSocket::sslErrors,
                     [this](const QList<QSslError>& errors) { OnSslErrors(errors); });
  } else {
    socket_ = new QTcpSocket;
    QObject::connect(socket_, &QTcpSocket::connected, [this] { OnUp(); });
  }
  QObject::connect(socket_, &QTcpSocket::readyRead, [this] { OnReadyRead(); });
  QObject::connect(socket_, &QTcpSocket::errorOccurred, [this] { OnError(); });
  QObject::connect(socket_, &QTcpSocket::disconnected, [this] { OnDisconnected(); });

  // Failures before the socket could start are reported as events too, never from inside here.
  auto failLater = [this](std::string reason) {
    QMetaObject::invokeMethod(
        socket_,
        [this, alive = alive_, socket = socket_, reason] {
          if (*alive && socket_ == socket) End(true, reason);
        },
        Qt::QueuedConnection);
  };
  if (port == 0) return failLater("Unknown service \"" + service + "\" for " + host);
  if (implicitTls) {
    if (!QSslSocket::supportsSsl()) {
      return failLater("TLS is not available on this machine for " + where_);
    }
    auto* ssl = static_cast<QSslSocket*>(socket_);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates(QSslConfiguration::systemCaCertificates() + extraCa_);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    ssl->setSslConfiguration(configuration);
    ssl->connectToHostEncrypted(QString::fromStdString(host), static_cast<quint16>(port));
    return;
  }
  socket_->connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
}

void QtLineConnection::SendLine(std::string_view line) {
  if (!socket_ || !up_ || ended_) return;
  std::string bytes(line);
  bytes += "\r\n";
  socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void QtLineConnection::Close() {
  ended_ = true;
  ReleaseSocket();
}

void QtLineConnection::ReleaseSocket() {
  if (!socket_) return;
  QTcpSocket* socket = std::exchange(socket_, nullptr);
  socket->disconnect();
  socket->flush();
  socket->abort();
  // Inside one of the socket's own signals it must outlive the signal.
  if (inCallback_ > 0) {
    socket->deleteLater();
  } else {
    delete socket;
  }
}

void QtLineConnection::OnUp() {
  if (ended_ || up_) return;
  up_ = true;
  if (!CallBack([](Handlers& h) {
        if (h.connected) h.connected();
      })) {
    return;
  }
  // Lines that came with the handshake.
  if (socket_->bytesAvailable() > 0) OnReadyRead();
}

void QtLineConnection::OnReadyRead() {
  if (ended_ || !up_) return;
  const QByteArray bytes = socket_->readAll();
  buffer_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  if (!DeliverLines()) return;
  if (buffer_.size() > MaxLineLength) {
    // A server that never ends its line must not fill the memory.
    socket_->disconnect();
    socket_->abort();
    End(true,
        "A line from " + where_ + " is longer than " + std::to_string(MaxLineLength) + " bytes");
  }
}

bool QtLineConnection::DeliverLines() {
  std::size_t end;
  while (!ended_ && (end = buffer_.find('\n')) != std::string::npos) {
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!CallBack([&line](Handlers& h) {
          if (h.line) h.line(line);
        })) {
      return false;
    }
  }
  return !ended_;
}

void QtLineConnection::OnSslErrors(const QList<QSslError>& errors) {
  for (const QSslError& error : errors) {
    if (!sslErrors_.empty()) sslErrors_ += "; ";
    sslErrors_ += error.errorString().toStdString();
  }
}

void QtLineConnection::OnError() {
  if (ended_ || !socket_) return;
  const QAbstractSocket::SocketError error = socket_->error();
  if (up_ && error == QAbstractSocket::RemoteHostClosedError) {
    OnDisconnected();
    return;
  }
  const std::string text = socket_->errorString().toStdString();
  if (up_) return End(true, "Connection to " + where_ + " broken: " + text);
  if (!sslErrors_.empty()) return End(true, "Certificate of " + where_ + " refused: " + sslErrors_);
  if (error == QAbstractSocket::SslHandshakeFailedError) {
    return End(true, "TLS handshake with " + where_ + " failed: " + text);
  }
  End(true, "Cannot connect to " + where_ + ": " + text);
}

void QtLineConnection::OnDisconnected() {
  if (ended_ || !socket_) return;
  if (!up_) return End(true, "Cannot connect to " + where_ + ": the server closed the connection");
  // What arrived before the end is delivered first, an unterminated last line included.
  const QByteArray rest = socket_->readAll();
  buffer_.append(rest.constData(), static_cast<std::size_t>(rest.size()));
  if (!DeliverLines()) return;
  if (!buffer_.empty()) {
    buffer_ += '\n';
    if (!DeliverLines()) return;
  }
  End(false, {});
}

void QtLineConnection::End(bool failed, const std::string& reason) {
  if (ended_) return;
  ended_ = true;
  CallBack([&](Handlers& h) {
    if (failed && h.failed) h.failed(reason);
    if (!failed && h.closed) h.closed();
  });
}

std::unique_ptr<LineConnection> QtLineConnectionFactory::Create() {
  return std::make_unique<QtLineConnection>(extraCa_);
}

std::string QtLocalHostName() {
  return QHostInfo::localHostName().toStdString();
}

}  // namespace velora
