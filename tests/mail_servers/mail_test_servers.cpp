#include "mail_test_servers.h"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "mail/base64.h"

#ifndef VELORA_MAIL_TEST_DIR
#error "VELORA_MAIL_TEST_DIR must name the folder of the server scripts"
#endif

namespace velora::testing {

namespace {

QStringList Args(const std::vector<std::string>& args) {
  QStringList list;
  for (const std::string& arg : args)
    list << QString::fromStdString(arg);
  return list;
}

// Runs a program to its end; throws with its error output when it fails.
void RunOrThrow(const std::string& program, const std::vector<std::string>& args) {
  QProcess process;
  process.start(QString::fromStdString(program), Args(args));
  if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    throw std::runtime_error(program + " failed: " + process.readAllStandardError().toStdString());
  }
}

bool Accepts(int port) {
  QTcpSocket probe;
  probe.connectToHost("127.0.0.1", static_cast<quint16>(port));
  const bool up = probe.waitForConnected(200);
  probe.abort();
  return up;
}

void ChownTree(const std::filesystem::path& root, uid_t uid, gid_t gid) {
  if (::chown(root.c_str(), uid, gid) != 0) throw std::runtime_error("chown failed");
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (::chown(entry.path().c_str(), uid, gid) != 0) throw std::runtime_error("chown failed");
  }
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

}  // namespace

std::string FindProgram(const std::string& name, const std::vector<std::string>& places) {
  for (const std::string& place : places) {
    if (::access(place.c_str(), X_OK) == 0) return place;
  }
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = dir + "/" + name;
    if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

int FreePort() {
  QTcpServer probe;
  if (!probe.listen(QHostAddress::LocalHost, 0)) throw std::runtime_error("no free port");
  return probe.serverPort();
}

TestCertificates::TestCertificates(const std::string& openssl, const std::string& dir)
    : caFile(dir + "/ca.crt"), certFile(dir + "/server.crt"), keyFile(dir + "/server.key") {
  const std::string caKey = dir + "/ca.key";
  const std::string request = dir + "/server.csr";
  const std::string extensions = dir + "/server.ext";
  WriteFileBytes(extensions,
                 "subjectAltName=DNS:localhost,IP:127.0.0.1\n"
                 "basicConstraints=CA:FALSE\n"
                 "keyUsage=critical,digitalSignature,keyEncipherment\n"
                 "extendedKeyUsage=serverAuth\n");
  RunOrThrow(openssl, {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                       "-nodes", "-keyout", caKey, "-out", caFile, "-days", "2", "-subj",
                       "/CN=Velora Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                       "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
  RunOrThrow(openssl, {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                       "-keyout", keyFile, "-out", request, "-subj", "/CN=localhost"});
  RunOrThrow(openssl, {"x509", "-req", "-in", request, "-CA", caFile, "-CAkey", caKey,
                       "-CAcreateserial", "-out", certFile, "-days", "2", "-extfile", extensions});
  ::chmod(keyFile.c_str(), 0644);  // dovecot reads it as its own user
}

ServerProcess::~ServerProcess() {
  if (process.state() == QProcess::NotRunning) return;
  if (closeInputToStop) {
    process.closeWriteChannel();
  } else {
    process.terminate();
  }
  if (!process.waitForFinished(5000)) {
    process.kill();
    process.waitForFinished(2000);
  }
}

std::string SmtpTestServer::Python() {
  const std::string python = FindProgram("python3", {"/usr/bin/python3"});
  if (python.empty()) return {};
  QProcess check;
  check.start(QString::fromStdString(python), {"-c", "import aiosmtpd"});
  if (!check.waitForFinished(20000) || check.exitCode() != 0) return {};
  return python;
}

SmtpTestServer::SmtpTestServer(const std::string& dir, const std::string& user,
                               const std::string& password, const TestCertificates* tls)
    : record_(dir + "/smtp-record.jsonl") {
  std::vector<std::string> args = {std::string(VELORA_MAIL_TEST_DIR) + "/smtp_server.py",
                                   "--record",
                                   record_,
                                   "--user",
                                   user,
                                   "--password",
                                   password};
  if (tls) {
    args.insert(args.end(), {"--cert", tls->certFile, "--key", tls->keyFile});
  }
  server_.closeInputToStop = true;
  server_.process.start(QString::fromStdString(Python()), Args(args));
  const QDeadlineTimer deadline(20000);
  QByteArray out;
  while (!out.contains('\n') && !deadline.hasExpired()) {
    if (!server_.process.waitForReadyRead(200) && server_.process.state() == QProcess::NotRunning) {
      break;
    }
    out += server_.process.readAllStandardOutput();
  }
  if (!out.startsWith("READY ")) {
    throw std::runtime_error("SMTP test server did not start: " +
                             server_.process.readAllStandardError().toStdString());
  }
  port_ = out.mid(6).trimmed().toInt();
}

std::vector<SmtpTestServer::Message> SmtpTestServer::Messages() const {
  std::vector<Message> messages;
  std::stringstream lines(ReadFileBytes(record_));
  std::string line;
  while (std::getline(lines, line)) {
    const QJsonObject record = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    Message message;
    message.mailFrom = record["mail_from"].toString().toStdString();
    for (const auto& rcpt : record["rcpt_tos"].toArray()) {
      message.rcptTos.push_back(rcpt.toString().toStdString());
    }
    message.authenticated = record["authenticated"].toBool();
    message.data = Base64Decode(record["data"].toString().toStdString()).value_or("(bad base64)");
    messages.push_back(std::move(message));
  }
  return messages;
}

std::string Pop3TestServer::Dovecot() {
  return FindProgram("dovecot", {"/usr/sbin/dovecot"});
}

Pop3TestServer::Pop3TestServer(const std::string& dir, const std::string& user,
                               const std::string& password,
                               const std::vector<std::string>& messages,
                               const TestCertificates& tls) {
  namespace fs = std::filesystem;
  // As root, dovecot runs its helpers as its own users and refuses mail access as uid 0, so the
  // mailbox belongs to nobody; otherwise everything runs as the user running the tests.
  const bool root = ::geteuid() == 0;
  uid_t uid = ::getuid();
  gid_t gid = ::getgid();
  if (root) {
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) throw std::runtime_error("no user nobody to own the test mailbox");
    uid = nobody->pw_uid;
    gid = nobody->pw_gid;
  }
  ::chmod(dir.c_str(), 0755);  // dovecot's login processes reach their sockets through it

  const fs::path maildir = fs::path(dir) / "Maildir";
  for (const char* sub : {"cur", "new", "tmp"})
    fs::create_directories(maildir / sub);
  for (std::size_t i = 0; i < messages.size(); ++i) {
    WriteFileBytes((maildir / "cur" / ("170000000" + std::to_string(i) + ".M1P1.velora:2,S")),
                   messages[i]);
  }
  if (root) ChownTree(maildir, uid, gid);

  WriteFileBytes(dir + "/passwd", user + ":{PLAIN}" + password + ":" + std::to_string(uid) + ":" +
                                      std::to_string(gid) + "::" + dir + "::\n");
  port_ = FreePort();
  tlsPort_ = FreePort();
  std::string config =
      "base_dir = " + dir + "/run\n" + "state_dir = " + dir + "/state\n" + "log_path = " + dir +
      "/dovecot.log\n" +
      "protocols = pop3\n"
      "listen = 127.0.0.1\n"
      // TLS only on the pop3s listener; the plain one takes passwords in the clear.
      "ssl = yes\n"
      "ssl_cert = <" +
      tls.certFile + "\n" + "ssl_key = <" + tls.keyFile + "\n" +
      "disable_plaintext_auth = no\n"
      "auth_mechanisms = plain\n"
      "mail_location = maildir:" +
      maildir.string() + "\n" +
      "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " + dir +
      "/passwd\n}\n" + "userdb {\n  driver = passwd-file\n  args = username_format=%u " + dir +
      "/passwd\n}\n" +
      "service anvil {\n  chroot =\n}\n"
      "service pop3-login {\n  chroot =\n"
      "  inet_listener pop3 {\n    port = " +
      std::to_string(port_) + "\n  }\n" +
      "  inet_listener pop3s {\n    port = " + std::to_string(tlsPort_) +
      "\n    ssl = yes\n  }\n}\n";
  if (!root) {
    const passwd* self = ::getpwuid(uid);
    const group* selfGroup = ::getgrgid(gid);
    if (!self || !selfGroup) throw std::runtime_error("the test user has no name");
    config += std::string("default_internal_user = ") + self->pw_name + "\n" +
              "default_login_user = " + self->pw_name + "\n" +
              "default_internal_group = " + selfGroup->gr_name + "\n";
  }
  const std::string configFile = dir + "/dovecot.conf";
  WriteFileBytes(configFile, config);

  server_.process.start(QString::fromStdString(Dovecot()),
                        {"-F", "-c", QString::fromStdString(configFile)});
  const QDeadlineTimer deadline(15000);
  while (!deadline.hasExpired() && server_.process.state() != QProcess::NotRunning) {
    if (Accepts(port_) && Accepts(tlsPort_)) return;
    server_.process.waitForFinished(100);
  }
  throw std::runtime_error(
      "dovecot did not start: " + server_.process.readAllStandardError().toStdString() +
      ReadFileBytes(dir + "/dovecot.log"));
}

namespace {

class RecordingConnection : public LineConnection {
 public:
  RecordingConnection(std::unique_ptr<LineConnection> inner,
                      std::shared_ptr<std::vector<std::string>> transcript)
      : inner_(std::move(inner)), transcript_(std::move(transcript)) {}

  void SetHandlers(Handlers handlers) override {
    handlers.line = [transcript = transcript_, line = handlers.line](const std::string& text) {
      transcript->push_back("S: " + text);
      if (line) line(text);
    };
    inner_->SetHandlers(std::move(handlers));
  }
  void Connect(const std::string& host, const std::string& service, bool implicitTls) override {
    transcript_->push_back("(connect " + host + " " + service + (implicitTls ? " tls)" : ")"));
    inner_->Connect(host, service, implicitTls);
  }
  void SendLine(std::string_view line) override {
    transcript_->push_back("C: " + std::string(line));
    inner_->SendLine(line);
  }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<LineConnection> inner_;
  std::shared_ptr<std::vector<std::string>> transcript_;
};

}  // namespace

FloodingPop3Server::FloodingPop3Server(std::size_t messageBytes) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  auto* generic = reinterpret_cast<sockaddr*>(&address);
  if (listener_ < 0 || ::bind(listener_, generic, size) != 0 || ::listen(listener_, 1) != 0 ||
      ::getsockname(listener_, generic, &size) != 0) {
    throw std::runtime_error("the flooding server has no socket");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this, messageBytes] {
    const int fd = client_ = ::accept(listener_, nullptr, nullptr);
    bool ok = fd >= 0 && SendAll(fd, "+OK\r\n");
    for (int lines = 0; ok && lines < 3;) {
      char chunk[512];
      const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
      ok = got > 0;
      for (const char c : std::string_view(chunk, ok ? static_cast<std::size_t>(got) : 0)) {
        if (c != '\n') continue;
        ++lines;
        ok = ok && SendAll(fd, "+OK\r\n");
      }
    }
    std::string block;
    for (int n = 1; block.size() < 65536; ++n)
      block += messageBytes > 0 ? std::string(78, 'x') + "\r\n" : std::to_string(n) + " 100\r\n";
    for (std::size_t sent = 0; ok && (messageBytes == 0 || sent < messageBytes);
         sent += block.size()) {
      ok = SendAll(fd, block);
    }
    if (ok) SendAll(fd, ".\r\n");
  });
}

FloodingPop3Server::~FloodingPop3Server() {
  ::shutdown(listener_, SHUT_RDWR);
  if (client_ >= 0) ::shutdown(client_, SHUT_RDWR);
  thread_.join();
  if (client_ >= 0) ::close(client_);
  ::close(listener_);
}

std::unique_ptr<LineConnection> RecordingConnectionFactory::Create() {
  return std::make_unique<RecordingConnection>(inner_.Create(), transcript_);
}

}  // namespace velora::testing
