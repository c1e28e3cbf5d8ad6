// The line connection of the mail conversations on QTcpSocket, or QSslSocket for implicit TLS:
// whole lines without CR LF (a bare LF ends a line too), the service names "smtp" and "pop3", and
// a server certificate checked against the system's trusted authorities plus any added ones.
// A server that sends without pause is taken in slices, one per turn of the event loop, and the
// socket buffers little, so it can neither hold the loop nor fill the memory.
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

// The system's trusted authorities, read on the first call only (reading them takes long).
const QList<QSslCertificate>& SystemCaCertificates();

class QtLineConnection : public LineConnection {
 public:
  // Longer lines end the connection as failed.
  static constexpr std::size_t MaxLineLength = 1 << 20;
  // At most this much is handed over in one turn of the event loop.
  static constexpr std::size_t SliceBytes = 64 * 1024;
  static constexpr int SliceLines = 256;

  // The authorities a TLS server's certificate must chain to.
  explicit QtLineConnection(QList<QSslCertificate> caCertificates = SystemCaCertificates());
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
  // Hands over one slice of lines, then runs again from the event loop while more is there.
  void TakeSlice();
  void ScheduleSlice();
  // Moves up to `limit` bytes from the socket into the buffer; answers how many.
  std::size_t ReadFromSocket(std::size_t limit);
  void End(bool failed, const std::string& reason);
  void ReleaseSocket();
  // Calls a handler; false when the handler closed or destroyed the connection.
  template <class Call>
  bool CallBack(Call call);

  QList<QSslCertificate> caCertificates_;
  std::shared_ptr<Handlers> handlers_ = std::make_shared<Handlers>();
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  QTcpSocket* socket_ = nullptr;
  std::string where_;  // "host:port" for messages
  // Received bytes from `consumed_` on; before `scanned_` they hold no line end.
  std::string buffer_;
  std::size_t consumed_ = 0;
  std::size_t scanned_ = 0;
  bool sliceScheduled_ = false;
  bool serverClosed_ = false;  // the rest of the buffer is the last of the conversation
  std::string sslErrors_;
  bool up_ = false;
  bool ended_ = false;
  int inCallback_ = 0;
};

class QtLineConnectionFactory : public LineConnectionFactory {
 public:
  // Reads the system's trusted authorities now, at program start, rather than at the first
  // TLS connection, where it would hold the polling cycle.
  QtLineConnectionFactory();
  // Certificates of authorities trusted in addition to the system's (for a private server).
  void AddCaCertificates(const QList<QSslCertificate>& certificates) {
    caCertificates_ += certificates;
  }
  std::unique_ptr<LineConnection> Create() override;

 private:
  QList<QSslCertificate> caCertificates_;
};

// This machine's name, as EHLO and HELO send it.
std::string QtLocalHostName();

}  // namespace velora
