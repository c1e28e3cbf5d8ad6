// The line connection of the mail conversations on QTcpSocket, or QSslSocket for implicit TLS:
// whole lines without CR LF (a bare LF ends a line too), the service names "smtp" and "pop3", and
// a server certificate checked against the system's trusted authorities plus any added ones.
#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <memory>
#include <string>
#include <string_view>

#include "common/ports.h"

class QTcpSocket;
class QSslError;

namespace velora {

// The port of a service name ("smtp" 25, "pop3" 110, "smtps" 465, "pop3s" 995) or number; 0
// when it is neither.
int MailServicePort(std::string_view service);

class QtLineConnection : public LineConnection {
 public:
  // Longer lines end the connection as failed.
  static constexpr std::size_t MaxLineLength = 1 << 20;

  explicit QtLineConnection(QList<QSslCertificate> extraCaCertificates = {});
  ~QtLineConnection() override;
  QtLineConnection(const QtLineConnection&) = delete;
  QtLineConnection& operator=(const QtLineConnection&) = delete;

  void SetHandlers(Handlers handlers) override;
  void Connect(const std::string& host, const std::string& service, bool implicitTls) override;
  void SendLine(std::string_view line) override;
  void Close() override;

 private:
  void OnUp();
  void OnReadyRead();
  void OnError();
  void OnSslErrors(const QList<QSslError>& errors);
  void OnDisconnected();
  // Hands each complete line over; false when a handler closed or destroyed the connection.
  bool DeliverLines();
  void End(bool failed, const std::string& reason);
  void ReleaseSocket();
  // Calls a handler; false when the handler closed or destroyed the connection.
  template <class Call>
  bool CallBack(Call call);

  QList<QSslCertificate> extraCa_;
  std::shared_ptr<Handlers> handlers_ = std::make_shared<Handlers>();
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  QTcpSocket* socket_ = nullptr;
  std::string where_;  // "host:port" for messages
  std::string buffer_;
  std::string sslErrors_;
  bool up_ = false;
  bool ended_ = false;
  int inCallback_ = 0;
};

class QtLineConnectionFactory : public LineConnectionFactory {
 public:
  // Certificates of authorities trusted in addition to the system's (for a private server).
  void AddCaCertificates(const QList<QSslCertificate>& certificates) { extraCa_ += certificates; }
  std::unique_ptr<LineConnection> Create() override;

 private:
  QList<QSslCertificate> extraCa_;
};

// This machine's name, as EHLO and HELO send it.
std::string QtLocalHostName();

}  // namespace velora
