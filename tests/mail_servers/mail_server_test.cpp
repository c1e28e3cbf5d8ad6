// The mail components on Qt sockets against real servers: a send through aiosmtpd with AUTH LOGIN
// and a fetch from dovecot, each in the clear and with implicit TLS; refused logins and
// certificates; a server that never answers; the line connection's own line and close handling.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "mail/pop3_client.h"
#include "mail/smtp_client.h"
#include "mail_test_servers.h"
#include "platform/qt/qt_line_connection.h"
#include "platform/qt/qt_time.h"
#include "platform/qt_test_support.h"
#include "support/bytes.h"
#include "support/recording_ui.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's own count, which leaves out what it holds back from reuse.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace velora {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

void PrintTranscript(const std::string& title, const std::vector<std::string>& lines) {
  std::cout << title << ":\n";
  for (const std::string& line : lines)
    std::cout << "    " << line << "\n";
}

std::string Openssl() {
  return testing::FindProgram("openssl", {"/usr/bin/openssl"});
}

// The zone offset the Date header must carry on this machine now.
std::string LocalZone() {
  const int offset = QDateTime::currentDateTime().offsetFromUtc() / 60;
  const int size = offset < 0 ? -offset : offset;
  return QString::asprintf("%c%02d%02d", offset < 0 ? '-' : '+', size / 60, size % 60)
      .toStdString();
}

class MailServerTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::TestApp(); }

  // Certificates made on first use; skips when openssl is missing.
  const testing::TestCertificates& Certificates() {
    if (!certificates_)
      certificates_ = std::make_unique<testing::TestCertificates>(Openssl(), dir.path());
    return *certificates_;
  }
  void TrustTestCa() {
    connections.AddCaCertificates(
        QSslCertificate::fromPath(QString::fromStdString(Certificates().caFile)));
  }

  testing::TempDir dir;
  QtLineConnectionFactory connections;
  testing::RecordingConnectionFactory recording{connections};
  QtOneShotTimerFactory timers;
  QtClock clock;
  MailPorts ports{recording, timers, clock, QtLocalHostName(), 5000};

 private:
  std::unique_ptr<testing::TestCertificates> certificates_;
};

#define SKIP_WITHOUT_SMTP_SERVER()               \
  if (testing::SmtpTestServer::Python().empty()) \
  GTEST_SKIP() << "python3 with aiosmtpd is not installed (Debian: python3-aiosmtpd)"
#define SKIP_WITHOUT_OPENSSL() \
  if (Openssl().empty()) GTEST_SKIP() << "openssl is not installed"
#define SKIP_WITHOUT_POP3_SERVER()                \
  if (testing::Pop3TestServer::Dovecot().empty()) \
  GTEST_SKIP() << "dovecot is not installed (Debian: dovecot-pop3d)"

struct SendOutcome {
  std::vector<std::pair<SmtpRequest, int>> events;
  std::string lastResponse;
};

// Open, mail and quit, each started from the end of the one before, as the e-mail service does.
SendOutcome SendOneMail(const MailPorts& ports, const std::string& host, const std::string& user,
                        const std::string& password) {
  SendOutcome outcome;
  auto client = std::make_unique<SmtpClient>(ports);
  client->Host = host;
  client->Username = user;
  client->Password = password;
  client->AuthType = SmtpAuthType::smtpAuthLogin;
  client->OnRequestDone = [&](SmtpRequest request, int error) {
    outcome.events.emplace_back(request, error);
    outcome.lastResponse = client->LastResponse();
    if (error != 0 || request == SmtpRequest::Quit) return client.reset();
    if (request == SmtpRequest::Mail) return client->Quit();
    client->FromName = "anna@example.org";
    client->HdrFrom = "Anna <anna@example.org>";
    client->HdrReplyTo = "antwort@example.org";
    client->HdrTo = "bob@example.net";
    client->HdrSubject = "Gruesse aus dem Test";
    client->RcptName = {"bob@example.net"};
    client->MailMessage = {"Hallo Bob,", ".", ".punkt am Anfang", "", "Bis bald"};
    client->Mail();
  };
  client->Open();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !client; }, 20000)) << "the send did not end";
  return outcome;
}

TEST_F(MailServerTest, SendsAMailThroughSmtpInTheClearAndWithTls) {
  SKIP_WITHOUT_SMTP_SERVER();
  for (const bool tls : {false, true}) {
    SCOPED_TRACE(tls ? "smtps" : "smtp");
    if (tls) {
      SKIP_WITHOUT_OPENSSL();
      TrustTestCa();
    }
    testing::TempDir serverDir;
    testing::SmtpTestServer server(serverDir.path(), "anna", "geheim",
                                   tls ? &Certificates() : nullptr);
    const std::string host =
        std::string(tls ? "smtps://" : "") + "127.0.0.1:" + std::to_string(server.Port());
    const std::size_t transcriptStart = recording.Transcript().size();
    const SendOutcome outcome = SendOneMail(ports, host, "anna", "geheim");
    PrintTranscript(
        host, {recording.Transcript().begin() + transcriptStart, recording.Transcript().end()});

    EXPECT_THAT(outcome.events,
                ElementsAre(std::pair{SmtpRequest::Open, 0}, std::pair{SmtpRequest::Mail, 0},
                            std::pair{SmtpRequest::Quit, 0}));
    const auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].mailFrom, "anna@example.org");
    EXPECT_THAT(messages[0].rcptTos, ElementsAre("bob@example.net"));
    EXPECT_TRUE(messages[0].authenticated);

    const std::string& data = messages[0].data;
    EXPECT_TRUE(data.ends_with("\r\n"));
    EXPECT_EQ(QByteArray::fromStdString(data).count('\n'),
              QByteArray::fromStdString(data).count("\r\n"))
        << "every line ends with CR LF";
    const std::vector<std::string> lines = testing::SplitCrLf(data);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 7),
                ElementsAreArray<std::string>({
                    "Reply-To: antwort@example.org",
                    "From: Anna <anna@example.org>",
                    "To: bob@example.net",
                    "Subject: Gruesse aus dem Test",
                    "Sender: Anna <anna@example.org>",
                    "Mime-Version: 1.0",
                    "Content-Type: text/plain; charset=\"iso-8859-1\"",
                }));
    const QRegularExpression date(
        "^Date: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), [1-9][0-9]? "
        "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) 20[0-9]{2} "
        "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] " +
        QRegularExpression::escape(QString::fromStdString(LocalZone())) + "$");
    EXPECT_TRUE(date.match(QString::fromStdString(lines[7])).hasMatch()) << lines[7];
    EXPECT_THAT(
        std::vector<std::string>(lines.begin() + 8, lines.end()),
        ElementsAreArray<std::string>({"", "Hallo Bob,", ".", ".punkt am Anfang", "", "Bis bald"}))
        << "the server un-stuffed the dots and the lone dot did not end the mail";
  }
}

TEST_F(MailServerTest, AWrongPasswordEndsTheOpenWithTheServersReply) {
  SKIP_WITHOUT_SMTP_SERVER();
  testing::SmtpTestServer server(dir.path(), "anna", "geheim", nullptr);
  const SendOutcome outcome =
      SendOneMail(ports, "127.0.0.1:" + std::to_string(server.Port()), "anna", "falsch");
  EXPECT_THAT(outcome.events, ElementsAre(std::pair{SmtpRequest::Open, 535}));
  EXPECT_THAT(outcome.lastResponse, StartsWith("535 "));
  EXPECT_TRUE(server.Messages().empty());
}

TEST_F(MailServerTest, AnUntrustedCertificateEndsTheOpen) {
  SKIP_WITHOUT_SMTP_SERVER();
  SKIP_WITHOUT_OPENSSL();
  testing::SmtpTestServer server(dir.path(), "anna", "geheim", &Certificates());
  const std::string where = "127.0.0.1:" + std::to_string(server.Port());
  const SendOutcome outcome = SendOneMail(ports, "smtps://" + where, "anna", "geheim");
  std::cout << "LastResponse: " << outcome.lastResponse << "\n";
  EXPECT_THAT(outcome.events, ElementsAre(std::pair{SmtpRequest::Open, 500}));
  EXPECT_THAT(outcome.lastResponse, StartsWith("500 Certificate of " + where + " refused: "));
  EXPECT_TRUE(server.Messages().empty());
}

const std::vector<std::string> kMailbox = {
    "From: bob@example.net\r\nTo: anna@example.org\r\nSubject: Eins\r\n"
    "Date: Mon, 1 Dec 2025 10:00:00 +0100\r\n\r\nErste Mail\r\n",
    "From: carla@example.com\r\nSubject: Punkte\r\n\r\nvorher\r\n.\r\n..\r\n.am Anfang\r\n"
    "nachher\r\n",
    "Subject: Drei\r\n\r\nletzte\r\n",
};

TEST_F(MailServerTest, FetchesTheMailboxInTheClearAndWithTls) {
  SKIP_WITHOUT_POP3_SERVER();
  SKIP_WITHOUT_OPENSSL();
  TrustTestCa();
  testing::TempDir serverDir;
  testing::Pop3TestServer server(serverDir.path(), "anna", "geheim", kMailbox, Certificates());

  for (const bool tls : {false, true}) {
    SCOPED_TRACE(tls ? "pop3s" : "pop3");
    const std::string host = tls ? "pop3s://127.0.0.1:" + std::to_string(server.TlsPort())
                                 : "127.0.0.1:" + std::to_string(server.Port());
    const std::size_t transcriptStart = recording.Transcript().size();
    std::vector<std::pair<int, int>> listed;
    std::vector<std::vector<std::string>> fetched;
    std::vector<std::pair<Pop3Request, int>> events;
    int msgCount = -1;
    auto client = std::make_unique<Pop3Client>(ports);
    client->Host = host;
    client->UserName = "anna";
    client->PassWord = "geheim";
    client->OnListLine = [&](int msgNum, int msgSize) { listed.emplace_back(msgNum, msgSize); };
    client->OnMessageLine = [&](const std::string& line) { fetched.back().push_back(line); };
    client->OnRequestDone = [&](Pop3Request request, int error) {
      events.emplace_back(request, error);
      if (error != 0 || request == Pop3Request::Quit) return client.reset();
      switch (request) {
        case Pop3Request::Open:
          return client->Status();
        case Pop3Request::Status:
          msgCount = client->MsgCount();
          return client->List();
        case Pop3Request::List:
          client->MsgNum = 0;
          [[fallthrough]];
        default:
          if (++client->MsgNum > client->MsgCount()) return client->Quit();
          fetched.emplace_back();
          return client->Retrieve();
      }
    };
    client->Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !client; }, 20000)) << "the fetch did not end";
    PrintTranscript(
        host, {recording.Transcript().begin() + transcriptStart, recording.Transcript().end()});

    EXPECT_EQ(events.front(), std::pair(Pop3Request::Open, 0));
    EXPECT_EQ(events.back(), std::pair(Pop3Request::Quit, 0));
    EXPECT_EQ(events.size(), 7u);
    EXPECT_EQ(msgCount, 3);
    std::vector<std::pair<int, int>> expectedList;
    for (std::size_t i = 0; i < kMailbox.size(); ++i) {
      expectedList.emplace_back(static_cast<int>(i + 1), static_cast<int>(kMailbox[i].size()));
    }
    EXPECT_EQ(listed, expectedList);
    ASSERT_EQ(fetched.size(), kMailbox.size());
    for (std::size_t i = 0; i < kMailbox.size(); ++i) {
      EXPECT_EQ(fetched[i], testing::SplitCrLf(kMailbox[i])) << "message " << i + 1;
    }
  }
}

// A server that accepts and never says a word.
TEST_F(MailServerTest, ASilentServerTimesOut) {
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
  std::vector<QTcpSocket*> accepted;
  QObject::connect(&silent, &QTcpServer::newConnection,
                   [&] { accepted.push_back(silent.nextPendingConnection()); });
  MailPorts quick = ports;
  quick.replyTimeoutMs = 300;
  const std::string host = "127.0.0.1:" + std::to_string(silent.serverPort());

  std::string smtpResponse;
  auto smtp = std::make_unique<SmtpClient>(quick);
  smtp->Host = host;
  smtp->OnRequestDone = [&](SmtpRequest, int error) {
    smtpResponse = std::to_string(error) + " " + smtp->LastResponse();
    smtp.reset();
  };
  std::string pop3Response;
  auto pop3 = std::make_unique<Pop3Client>(quick);
  pop3->Host = host;
  pop3->OnRequestDone = [&](Pop3Request, int error) {
    pop3Response = std::to_string(error) + " " + pop3->LastResponse();
    pop3.reset();
  };
  QElapsedTimer elapsed;
  elapsed.start();
  smtp->Open();
  pop3->Open();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !smtp && !pop3; }, 10000));
  EXPECT_GE(elapsed.elapsed(), 300);
  EXPECT_LT(elapsed.elapsed(), 5000);
  EXPECT_EQ(smtpResponse, "500 500 Timeout waiting for the greeting");
  EXPECT_EQ(pop3Response, "500 -ERR Timeout waiting for the greeting");
  ASSERT_EQ(accepted.size(), 2u);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return accepted[0]->state() == QAbstractSocket::UnconnectedState &&
               accepted[1]->state() == QAbstractSocket::UnconnectedState;
      },
      5000))
      << "the clients hung up";
}

// The bytes the program holds on its heap now.
std::size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

// A server that floods the connection, with a 50 MB message or a list without end: the event
// loop, as the polling cycle runs it, keeps its pace, and the heap holds hardly more than before.
TEST_F(MailServerTest, AFloodingServerNeitherStallsTheLoopNorFillsTheMemory) {
  MailPorts direct{connections, timers, clock, "client.example", 5000};
  for (const std::size_t messageBytes : {std::size_t{50} << 20, std::size_t{0}}) {
    SCOPED_TRACE(messageBytes > 0 ? "a 50 MB message" : "a list without end");
    testing::FloodingPop3Server server(messageBytes);
    Pop3Client client(direct);
    client.Host = "127.0.0.1:" + std::to_string(server.Port());
    client.MsgNum = messageBytes > 0 ? 1 : 0;
    std::size_t received = 0;  // bytes of the message, or list lines
    int error = -1;
    client.OnListLine = [&](int, int) { ++received; };
    client.OnMessageLine = [&](const std::string& line) { received += line.size() + 2; };
    client.OnRequestDone = [&](Pop3Request request, int result) {
      if (result != 0 || request != Pop3Request::Open) error = result;
      if (error < 0) messageBytes > 0 ? client.Retrieve() : client.List();
    };
    const std::size_t heapBefore = HeapInUse();
    std::size_t heapPeak = heapBefore;
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      longestGap = std::max(longestGap, sinceTick.restart());
      heapPeak = std::max(heapPeak, HeapInUse());
    });
    QElapsedTimer elapsed;
    elapsed.start();
    sinceTick.start();
    tick.start(5);
    client.Open();
    QtEventPump pump;
    while (error < 0 && elapsed.elapsed() < (messageBytes > 0 ? 60000 : 2000))
      pump.ProcessEvents();
    client.Close();
    std::cout << received << (messageBytes > 0 ? " bytes" : " lines") << " in " << elapsed.elapsed()
              << " ms, longest gap " << longestGap << " ms, heap +"
              << (heapPeak - heapBefore) / 1024 << " KB at most\n";
    EXPECT_EQ(error, messageBytes > 0 ? 0 : -1) << client.LastResponse();
    EXPECT_GE(received, messageBytes > 0 ? messageBytes : 100000) << "all of it came through";
    EXPECT_LT(longestGap, 250) << "the event loop stalled for longer than a polling cycle";
    EXPECT_LT(heapPeak - heapBefore, std::size_t{4} << 20);
  }
}

TEST(MailServicePortTest, NamesAndNumbers) {
  EXPECT_EQ(MailServicePort("smtp"), 25);
  EXPECT_EQ(MailServicePort("pop3"), 110);
  EXPECT_EQ(MailServicePort("smtps"), 465);
  EXPECT_EQ(MailServicePort("pop3s"), 995);
  EXPECT_EQ(MailServicePort("2525"), 2525);
  EXPECT_EQ(MailServicePort("65535"), 65535);
  EXPECT_EQ(MailServicePort("65536"), 0);
  EXPECT_EQ(MailServicePort("imap"), 0);
  EXPECT_EQ(MailServicePort(""), 0);
  EXPECT_EQ(MailServicePort("25x"), 0);
}

// The line connection on its own against an in-process server.
class QtLineConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::TestApp();
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server, &QTcpServer::newConnection,
                     [this] { peer = server.nextPendingConnection(); });
  }
  LineConnection::Handlers Recording() {
    LineConnection::Handlers handlers;
    handlers.connected = [this] { events.push_back("connected"); };
    handlers.line = [this](const std::string& line) { events.push_back("line " + line); };
    handlers.closed = [this] { events.push_back("closed"); };
    handlers.failed = [this](const std::string& error) { events.push_back("failed " + error); };
    return handlers;
  }
  std::string Port() const { return std::to_string(server.serverPort()); }

  QTcpServer server;
  QTcpSocket* peer = nullptr;
  std::vector<std::string> events;
};

TEST_F(QtLineConnectionTest, WholeLinesWithOrWithoutCarriageReturn) {
  QtLineConnection connection;
  connection.SetHandlers(Recording());
  connection.Connect("127.0.0.1", Port(), false);
  EXPECT_TRUE(events.empty()) << "nothing happens inside Connect";
  ASSERT_TRUE(QTest::qWaitFor([&] { return peer && !events.empty(); }, 5000));
  connection.SendLine("EHLO client");
  ASSERT_TRUE(QTest::qWaitFor([&] { return peer->bytesAvailable() >= 13; }, 5000));
  EXPECT_EQ(peer->readAll(), "EHLO client\r\n");

  peer->write("one\r\ntw");
  peer->flush();
  QTest::qWait(50);
  peer->write("o\nthree\r\n\r\nlast without end");
  peer->disconnectFromHost();
  ASSERT_TRUE(QTest::qWaitFor([&] { return events.back() == "closed"; }, 5000));
  EXPECT_THAT(events, ElementsAre("connected", "line one", "line two", "line three", "line ",
                                  "line last without end", "closed"));
  connection.SendLine("ignored after the end");
}

TEST_F(QtLineConnectionTest, DestroyedInsideItsOwnHandlerItStaysSilent) {
  auto connection = std::make_unique<QtLineConnection>();
  auto handlers = Recording();
  handlers.line = [&](const std::string& line) {
    events.push_back("line " + line);
    connection.reset();
  };
  connection->SetHandlers(handlers);
  connection->Connect("127.0.0.1", Port(), false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return peer && !events.empty(); }, 5000));
  peer->write("first\r\nsecond\r\n");
  peer->flush();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !connection; }, 5000));
  peer->disconnectFromHost();
  QTest::qWait(100);
  EXPECT_THAT(events, ElementsAre("connected", "line first"));
}

TEST_F(QtLineConnectionTest, FailuresNameTheirReason) {
  const std::string closedPort = std::to_string(testing::FreePort());
  QtLineConnection refused;
  refused.SetHandlers(Recording());
  refused.Connect("127.0.0.1", closedPort, false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !events.empty(); }, 5000));
  EXPECT_THAT(events, ElementsAre("failed Cannot connect to 127.0.0.1:" + closedPort +
                                  ": Connection refused"));

  events.clear();
  QtLineConnection unknown;
  unknown.SetHandlers(Recording());
  unknown.Connect("127.0.0.1", "gopher", false);
  EXPECT_TRUE(events.empty()) << "reported as an event, not inside Connect";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !events.empty(); }, 5000));
  EXPECT_THAT(events, ElementsAre("failed Unknown service \"gopher\" for 127.0.0.1"));

  // A line without end is cut off before it fills the memory.
  events.clear();
  QtLineConnection endless;
  endless.SetHandlers(Recording());
  endless.Connect("127.0.0.1", Port(), false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return peer && !events.empty(); }, 5000));
  const QByteArray chunk(64 * 1024, 'x');
  for (std::size_t sent = 0; sent <= QtLineConnection::MaxLineLength; sent += chunk.size()) {
    peer->write(chunk);
  }
  peer->write("\r\n");
  ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() >= 2; }, 5000));
  QTest::qWait(50);
  EXPECT_THAT(events, ElementsAre("connected", "failed A line from 127.0.0.1:" + Port() +
                                                   " is longer than 1048576 bytes"));

  // Closed before the report: nothing at all.
  events.clear();
  QtLineConnection closedEarly;
  closedEarly.SetHandlers(Recording());
  closedEarly.Connect("127.0.0.1", "gopher", false);
  closedEarly.Close();
  QTest::qWait(100);
  EXPECT_TRUE(events.empty());
}

}  // namespace
}  // namespace velora
