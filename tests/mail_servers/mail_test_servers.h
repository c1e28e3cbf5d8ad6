// Real mail servers for the tests of the mail components on Qt sockets: a recording SMTP server
// (Python aiosmtpd), a POP3 server (dovecot run unprivileged from a generated configuration), a
// throw-away certificate authority made with openssl, and a connection factory that writes the
// conversation down.
#pragma once

#include <QProcess>
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/ports.h"
#include "support/recording_ui.h"

namespace velora::testing {

// The path of a program, or empty when it is not installed.
std::string FindProgram(const std::string& name, const std::vector<std::string>& places);
// A TCP port on 127.0.0.1 that was free a moment ago.
int FreePort();

// A certificate authority and a server certificate for localhost and 127.0.0.1 it signed.
class TestCertificates {
 public:
  // Throws when openssl fails.
  TestCertificates(const std::string& openssl, const std::string& dir);
  std::string caFile;
  std::string certFile;
  std::string keyFile;
};

// Ends the process on destruction: first politely, then by force.
class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  QProcess process;
  bool closeInputToStop = false;  // else SIGTERM
};

class SmtpTestServer {
 public:
  // Empty when python3 with aiosmtpd is not installed.
  static std::string Python();
  // Starts the server; with a certificate it speaks implicit TLS. Throws when it does not come up.
  SmtpTestServer(const std::string& dir, const std::string& user, const std::string& password,
                 const TestCertificates* tls);
  int Port() const { return port_; }
  // One entry per accepted message: sender, recipients, whether the client had logged in, the
  // raw data.
  struct Message {
    std::string mailFrom;
    std::vector<std::string> rcptTos;
    bool authenticated = false;
    std::string data;
  };
  std::vector<Message> Messages() const;

 private:
  std::string record_;
  ServerProcess server_;
  int port_ = 0;
};

class Pop3TestServer {
 public:
  // Empty when dovecot is not installed.
  static std::string Dovecot();
  // One user with a maildir holding the messages (CR LF text, in this order); a plain and an
  // implicit TLS listener. Throws when dovecot does not come up.
  Pop3TestServer(const std::string& dir, const std::string& user, const std::string& password,
                 const std::vector<std::string>& messages, const TestCertificates& tls);
  int Port() const { return port_; }
  int TlsPort() const { return tlsPort_; }

 private:
  ServerProcess server_;
  int port_ = 0;
  int tlsPort_ = 0;
};

// A POP3 server on a thread of its own: "+OK" to the greeting and to every line, and after the
// third (USER, PASS, then LIST or RETR) a flood: list lines without end when messageBytes is 0,
// else a message of that many bytes.
class FloodingPop3Server {
 public:
  explicit FloodingPop3Server(std::size_t messageBytes);
  ~FloodingPop3Server();
  int Port() const { return port_; }

 private:
  int listener_ = -1;
  std::atomic<int> client_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// Wraps a factory: every line sent ("C: ") and received ("S: ") goes into the transcript.
class RecordingConnectionFactory : public LineConnectionFactory {
 public:
  explicit RecordingConnectionFactory(LineConnectionFactory& inner) : inner_(inner) {}
  std::unique_ptr<LineConnection> Create() override;
  const std::vector<std::string>& Transcript() const { return *transcript_; }

 private:
  LineConnectionFactory& inner_;
  std::shared_ptr<std::vector<std::string>> transcript_ =
      std::make_shared<std::vector<std::string>>();
};

}  // namespace velora::testing
