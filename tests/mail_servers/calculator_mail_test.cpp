// A calculator (the server's built-in simulator) sends a mail that aiosmtpd receives and fetches a
// mailbox that dovecot serves, in the clear and with implicit TLS: the whole way from its keys
// through the polling cycle, the front door and the mail components on Qt sockets.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSslCertificate>
#include <QTimer>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "bus/server.h"
#include "link/frame.h"
#include "mail_test_servers.h"
#include "platform/qt/qt_line_connection.h"
#include "platform/qt/qt_time.h"
#include "platform/qt/qt_world.h"
#include "platform/qt_test_support.h"
#include "sim/calculator_engine.h"
#include "support/bytes.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// The calculator's user: acts once on each new screen of the kind a step waits for.
struct User {
  explicit User(CalculatorEngine& engine) : e(engine) {}

  bool Fresh(int replyKind) {
    if (e.ScreenSerial() == answered || e.PendingKind() != KindNothing) return false;
    if (e.SimExpectedReply() != replyKind) return false;
    answered = e.ScreenSerial();
    words.clear();
    for (int row = 0; row < 8; ++row) {
      for (char c : e.ScreenRow(row) + " ") {
        if (c != ' ' || (!words.empty() && words.back() != ' ')) words += c;
      }
    }
    return true;
  }
  bool FreshText(std::string_view text) {
    return Fresh(KindTextReply) && words.find(text) != std::string::npos;
  }
  void Choose(std::string_view caption) {
    for (int row = 1; row < 8; ++row) {
      if (e.ScreenRow(row).find(caption) != std::string::npos) {
        return e.KeyPress(static_cast<char>('0' + row));
      }
    }
    ADD_FAILURE() << "no item " << caption << " on " << words;
  }

  CalculatorEngine& e;
  std::uint32_t answered = 0;
  std::string words;  // of the screen answered last
};

struct Step {
  std::string what;
  std::function<bool()> until;
  std::function<void()> then = [] {};
};

const std::vector<std::string> kMailbox = {
    "From: bob@example.net\r\nSubject: Eins\r\nDate: Mon, 1 Dec 2025\r\n\r\nerste\r\n",
    "Return-Path: <carla@example.com>\r\nFrom: carla@example.com\r\nSubject: Zwei\r\n\r\nzwei\r\n"
    ".\r\n",
    "From: dora@example.de\r\nSubject: Drei\r\n\r\nHallo\r\nAnna\r\n",
};

class CalculatorMailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::TestApp();
    if (testing::SmtpTestServer::Python().empty()) GTEST_SKIP() << "python3-aiosmtpd missing";
    if (testing::Pop3TestServer::Dovecot().empty()) GTEST_SKIP() << "dovecot-pop3d missing";
    if (testing::FindProgram("openssl", {"/usr/bin/openssl"}).empty()) {
      GTEST_SKIP() << "openssl missing";
    }
    certificates = std::make_unique<testing::TestCertificates>(
        testing::FindProgram("openssl", {"/usr/bin/openssl"}), dir.path());
    connections.AddCaCertificates(
        QSslCertificate::fromPath(QString::fromStdString(certificates->caFile)));
  }

  // One server with one calculator, run until the user has sent, fetched and read; the steps
  // done (all of them unless `stuck` names the one that never came).
  std::size_t SendAndFetch(const std::string& smtpHost, const std::string& pop3Host) {
    testing::TempDir work;
    testing::RecordingUi ui;
    // Port number 0: the server's modem on a real-time virtual radio of its own, the built-in
    // simulator's calculator beside it.
    QtWorld world;
    const std::unique_ptr<Server> built = world.Build(ui, work.path(),
                                                      {.simulator = true,
                                                       .mailConnections = &recording,
                                                       .mailTimers = &timers,
                                                       .localHostName = "ti.example"});
    Server& server = *built;
    ServerSettings settings = server.Settings();
    settings.ContentDir = std::string(VELORA_CONTENT_DIR) + "/";
    settings.ContentPacketPause = 5;
    // An answer late on a loaded machine is still taken: a lost key would stall the run.
    settings.ReceiveWait = 1000;
    server.ApplySettings(settings);
    Tuserdata anna;
    anna.Name = "ANNA";
    anna.Password = "anna-pw";
    anna.SmtpHost = smtpHost;
    anna.SmtpUser = "anna@example.org";
    anna.SmtpPassword = "smtp-geheim";
    anna.FromHeader = "Anna <anna@example.org>";
    anna.ReplyTo = "anna.antwort@example.org";
    anna.Pop3Host = pop3Host;
    anna.Pop3User = "anna";
    anna.Pop3Password = "pop3-geheim";
    server.AddAccount(anna);

    CalculatorEngine& calculator = world.Simulator()->Engine();
    calculator.SetUserName("anna");
    calculator.SetModel(1);  // a TI 86: a mail's lines fit its wider screen
    User user(calculator);
    const auto menu = [&] { return user.Fresh(KindMenuReply); };
    const auto input = [&] { return user.Fresh(KindInputReply); };
    const auto key = [&] { user.e.KeyPress('5'); };
    const auto type = [&](std::string text) {
      return [&user, text] { user.e.SubmitInput(false, text); };
    };
    const std::vector<Step> steps = {
        // Asked again while a request lost on a loaded machine goes unanswered.
        {"registered",
         [&] {
           if (!user.e.Registered() && !user.e.ConnectRequested()) user.e.Connect();
           return user.e.Registered();
         }},
        {"login", input, type("anna-pw")},
        {"greeting", [&] { return user.Fresh(KindTextReply); }, key},
        {"main menu", menu, [&] { user.Choose("E-Mail"); }},
        {"mail menu", menu, [&] { user.Choose("Schreiben"); }},
        {"recipient", input, type("bob@example.net")},
        {"subject", input, type("Gruss vom TI")},
        {"text", input, type("Hallo Bob, viele Gruesse.")},
        {"sent", [&] { return user.FreshText("Die Mail wurde erfolgreich versendet."); }, key},
        {"mail menu again", menu, [&] { user.Choose("Abrufen"); }},
        {"fetched",
         [&] { return user.FreshText("Der POP3-Posteingang wurde erfolgreich abgerufen."); }, key},
        {"inbox", menu, [&] { user.Choose("Drei"); }},
        {"read", [&] { return user.FreshText("Mail 3"); }},
    };

    std::size_t done = 0;
    stuck.clear();
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
      while (done < steps.size() && steps[done].until()) {
        seen.push_back(user.words);
        steps[done++].then();
      }
      if (done == steps.size()) return server.RequestStop();
      if (elapsed.elapsed() > 60000) {
        stuck = steps[done].what;
        server.RequestStop();
      }
    });
    driver.start(2);
    EXPECT_TRUE(server.Start());
    std::cout << "calculator session: " << elapsed.elapsed() << " ms\n";
    return done;
  }

  void PrintTranscript(std::size_t from) {
    for (std::size_t i = from; i < recording.Transcript().size(); ++i)
      std::cout << "    " << recording.Transcript()[i] << "\n";
  }

  testing::TempDir dir;
  std::unique_ptr<testing::TestCertificates> certificates;
  QtLineConnectionFactory connections;
  testing::RecordingConnectionFactory recording{connections};
  QtOneShotTimerFactory timers;
  std::string stuck;
  std::vector<std::string> seen;  // the words of each screen a step answered
};

TEST_F(CalculatorMailTest, SendsThroughAiosmtpdAndFetchesFromDovecotPlainAndEncrypted) {
  testing::TempDir popDir;
  testing::Pop3TestServer pop3(popDir.path(), "anna", "pop3-geheim", kMailbox, *certificates);
  for (const bool tls : {false, true}) {
    SCOPED_TRACE(tls ? "smtps and pop3s" : "plain");
    testing::TempDir smtpDir;
    testing::SmtpTestServer smtp(smtpDir.path(), "anna@example.org", "smtp-geheim",
                                 tls ? certificates.get() : nullptr);
    const std::string smtpHost =
        std::string(tls ? "smtps://" : "") + "127.0.0.1:" + std::to_string(smtp.Port());
    const std::string pop3Host = tls ? "pop3s://127.0.0.1:" + std::to_string(pop3.TlsPort())
                                     : "127.0.0.1:" + std::to_string(pop3.Port());
    const std::size_t transcriptStart = recording.Transcript().size();
    seen.clear();
    ASSERT_EQ(SendAndFetch(smtpHost, pop3Host), 13u) << "stuck at " << stuck;
    std::cout << (tls ? "smtps and pop3s" : "plain") << " conversations:\n";
    PrintTranscript(transcriptStart);

    const auto messages = smtp.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].mailFrom, "anna@example.org");
    EXPECT_THAT(messages[0].rcptTos, ElementsAre("bob@example.net"));
    EXPECT_TRUE(messages[0].authenticated);
    const std::vector<std::string> lines = testing::SplitCrLf(messages[0].data);
    ASSERT_EQ(lines.size(), 10u) << messages[0].data;
    EXPECT_THAT(std::vector(lines.begin(), lines.begin() + 7),
                ElementsAreArray<std::string>({
                    "Reply-To: anna.antwort@example.org",
                    "From: Anna <anna@example.org>",
                    "To: bob@example.net",
                    "Subject: Gruss vom TI",
                    "Sender: Anna <anna@example.org>",
                    "Mime-Version: 1.0",
                    "Content-Type: text/plain; charset=\"iso-8859-1\"",
                }));
    EXPECT_THAT(lines[7], StartsWith("Date: "));
    EXPECT_THAT(std::vector(lines.begin() + 8, lines.end()),
                ElementsAre("", "Hallo Bob, viele Gruesse."));

    // The inbox lists the newest first; the newest mail reads as fetched.
    ASSERT_EQ(seen.size(), 13u);
    const std::string& inbox = seen[11];
    EXPECT_LT(inbox.find("Drei"), inbox.find("Zwei"));
    EXPECT_LT(inbox.find("Zwei"), inbox.find("Eins"));
    EXPECT_THAT(seen[12], HasSubstr("Mail 3"));
    EXPECT_THAT(seen[12], HasSubstr("von: dora@example.de"));
    EXPECT_THAT(seen[12], HasSubstr("HalloAnna"));
  }
}

}  // namespace
}  // namespace velora
