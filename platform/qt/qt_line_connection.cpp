// Line connections on Qt sockets.
#include "platform/qt/qt_line_connection.h"

#include <QHostInfo>
#include <QMetaObject>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <algorithm>
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

const QList<QSslCertificate>& SystemCaCertificates() {
  static const QList<QSslCertificate> certificates = QSslConfiguration::systemCaCertificates();
  return certificates;
}

QtLineConnection::QtLineConnection(QList<QSslCertificate> caCertificates)
    : caCertificates_(std::move(caCertificates)) {}

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
  consumed_ = 0;
  scanned_ = 0;
  sliceScheduled_ = false;
  serverClosed_ = false;
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
  // What the socket holds beyond this waits in the system, and the server waits with it.
  socket_->setReadBufferSize(static_cast<qint64>(2 * SliceBytes));
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
    configuration.setCaCertificates(caCertificates_);
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
  if (ended_ || !up_ || sliceScheduled_) return;
  TakeSlice();
}

void QtLineConnection::TakeSlice() {
  std::size_t bytes = 0;
  int lines = 0;
  const auto tooLong = [this] {
    // A server that never ends its line must not fill the memory.
    socket_->disconnect();
    socket_->abort();
    End(true,
        "A line from " + where_ + " is longer than " + std::to_string(MaxLineLength) + " bytes");
  };
  while (!ended_ && socket_) {
    if (lines >= SliceLines || bytes >= SliceBytes) return ScheduleSlice();
    const std::size_t end = buffer_.find('\n', scanned_);
    if (end != std::string::npos) {
      if (end - consumed_ > MaxLineLength) return tooLong();
      std::string line = buffer_.substr(consumed_, end - consumed_);
      consumed_ = scanned_ = end + 1;
      bytes += line.size() + 1;
      ++lines;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!CallBack([&line](Handlers& h) {
            if (h.line) h.line(line);
          })) {
        return;
      }
      continue;
    }
    scanned_ = buffer_.size();
    const std::size_t pending = buffer_.size() - consumed_;
    if (pending > MaxLineLength) return tooLong();
    if (const std::size_t read = ReadFromSocket(SliceBytes); read > 0) {
      bytes += read;
      continue;
    }
    if (!serverClosed_) return;
    // The server's last line may lack its end.
    if (pending > 0) {
      buffer_ += '\n';
      continue;
    }
    return End(false, {});
  }
}

void QtLineConnection::ScheduleSlice() {
  if (sliceScheduled_) return;
  sliceScheduled_ = true;
  // Posted, so that everything else the event loop holds runs first.
  QMetaObject::invokeMethod(
      socket_,
      [this, alive = alive_, socket = socket_] {
        if (!*alive || socket_ != socket) return;
        sliceScheduled_ = false;
        if (!ended_) TakeSlice();
      },
      Qt::QueuedConnection);
}

std::size_t QtLineConnection::ReadFromSocket(std::size_t limit) {
  if (serverClosed_ || socket_->bytesAvailable() <= 0) return 0;
  // Only the part of a line is left here: dropping what was taken moves little.
  buffer_.erase(0, consumed_);
  scanned_ -= consumed_;
  consumed_ = 0;
  const std::size_t old = buffer_.size();
  buffer_.resize(old + limit);
  const qint64 read = socket_->read(buffer_.data() + old, static_cast<qint64>(limit));
  buffer_.resize(old + static_cast<std::size_t>(std::max<qint64>(read, 0)));
  return buffer_.size() - old;
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
  // What arrived before the end is delivered first, an unterminated last line included. The
  // socket held little, so it all fits into the buffer at once.
  const QByteArray rest = socket_->readAll();
  buffer_.append(rest.constData(), static_cast<std::size_t>(rest.size()));
  serverClosed_ = true;
  if (!sliceScheduled_) TakeSlice();
}

void QtLineConnection::End(bool failed, const std::string& reason) {
  if (ended_) return;
  ended_ = true;
  CallBack([&](Handlers& h) {
    if (failed && h.failed) h.failed(reason);
    if (!failed && h.closed) h.closed();
  });
}

QtLineConnectionFactory::QtLineConnectionFactory() : caCertificates_(SystemCaCertificates()) {}

std::unique_ptr<LineConnection> QtLineConnectionFactory::Create() {
  return std::make_unique<QtLineConnection>(caCertificates_);
}

std::string QtLocalHostName() {
  return QHostInfo::localHostName().toStdString();
}

}  // namespace velora
