// The SMTP and POP3 components over the in-process line server in virtual time: whole
// conversations driven from the callbacks as the e-mail service drives them, time-outs, lost and
// refused connections, and closing or destroying a component from inside its own events.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mail/base64.h"
#include "mail/pop3_client.h"
#include "mail/smtp_client.h"
#include "platform/virtual/virtual_line_connection.h"
#include "platform/virtual/virtual_time.h"

namespace velora {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr std::int64_t kSecond = 1'000'000;

// An SMTP server that accepts everything; it can be told to stay silent at some point.
struct FakeSmtpServer {
  explicit FakeSmtpServer(VirtualLineServer& server) {
    server.onAccept = [this](VirtualLinePeer& peer) {
      if (greet) peer.Send("220 mx.example ESMTP");
    };
    server.onLine = [this](VirtualLinePeer& peer, const std::string& line) {
      if (inData) {
        if (line != ".") return data.push_back(line);
        inData = false;
        if (silentAfter != ".") peer.Send("250 2.0.0 queued");
        return;
      }
      if (!silentAfter.empty() && line.starts_with(silentAfter)) return;
      if (authStep > 0) {
        peer.Send(++authStep < 3 ? "334 UGFzc3dvcmQ6" : "235 2.7.0 ok");
        if (authStep == 3) authStep = 0;
      } else if (line.starts_with("EHLO")) {
        peer.Send("250-mx.example");
        peer.Send("250 AUTH LOGIN");
      } else if (line == "AUTH LOGIN") {
        authStep = 1;
        peer.Send("334 VXNlcm5hbWU6");
      } else if (line == "DATA") {
        inData = true;
        peer.Send("354 go ahead");
      } else if (line == "QUIT") {
        peer.Send("221 bye");
        peer.Hangup();
      } else {
        peer.Send("250 ok");
      }
    };
  }
  bool greet = true;
  std::string silentAfter;  // no reply to a line that begins with this
  bool inData = false;
  int authStep = 0;
  std::vector<std::string> data;
};

// A POP3 server with a few messages, stuffed as they travel.
struct FakePop3Server {
  explicit FakePop3Server(VirtualLineServer& server) {
    server.onAccept = [this](VirtualLinePeer& peer) {
      if (greet) peer.Send("+OK ready <42.1@pop.example>");
    };
    server.onLine = [this](VirtualLinePeer& peer, const std::string& line) {
      if (!silentAfter.empty() && line.starts_with(silentAfter)) return;
      if (line == "STAT") {
        peer.Send("+OK " + std::to_string(messages.size()) + " 999");
      } else if (line == "LIST") {
        peer.Send("+OK");
        for (std::size_t i = 0; i < messages.size(); ++i) {
          peer.Send(std::to_string(i + 1) + " " + std::to_string(100 + i));
          if (hangupInList) return peer.Hangup();
        }
        peer.Send(".");
      } else if (line.starts_with("RETR ")) {
        peer.Send("+OK");
        for (const std::string& text : messages.at(std::stoul(line.substr(5)) - 1)) {
          peer.Send(text.starts_with(".") ? "." + text : text);
        }
        if (endMessages) peer.Send(".");
      } else if (line == "QUIT") {
        peer.Send("+OK bye");
        peer.Hangup();
      } else {
        peer.Send("+OK");
      }
    };
  }
  bool greet = true;
  bool endMessages = true;
  bool hangupInList = false;
  std::string silentAfter;
  std::vector<std::vector<std::string>> messages = {
      {"Subject: Eins", "", "erste"},
      {"Subject: Zwei", "", ".", "..zwei", "Ende"},
  };
};

class MailConversationTest : public ::testing::Test {
 protected:
  // Runs virtual time until the condition holds or nothing is left to run.
  template <class Condition>
  void RunUntil(Condition condition, std::int64_t limitUs = 600 * kSecond) {
    while (!condition() && time.NowUs() < limitUs && time.RunNextBatch()) {
    }
  }

  VirtualTime time;
  VirtualTimerFactory timers{time};
  VirtualClock clock{time, 0, DateTime{2026, 12, 6, 9, 7, 0, 0, 60, true}};
  VirtualLineServer server{time};
  MailPorts ports{server, timers, clock, "client.example"};
};

TEST_F(MailConversationTest, SendDrivenFromTheCallbacksLikeTheService) {
  FakeSmtpServer smtp(server);
  auto client = std::make_unique<SmtpClient>(ports);
  client->Host = "mx.example";
  client->Username = "anna";
  client->Password = "geheim";
  client->AuthType = SmtpAuthType::smtpAuthLogin;
  std::vector<std::pair<SmtpRequest, int>> events;
  client->OnRequestDone = [&](SmtpRequest request, int error) {
    events.emplace_back(request, error);
    if (error != 0) return client.reset();
    switch (request) {
      case SmtpRequest::Open:
        client->FromName = "anna@example.org";
        client->HdrFrom = "anna@example.org";
        client->HdrTo = "bob@example.net";
        client->HdrSubject = "Hallo";
        client->MailMessage = {"Bis bald", "."};
        client->RcptName = {"bob@example.net"};
        client->Mail();
        return;
      case SmtpRequest::Mail:
        client->Quit();
        return;
      default:
        client.reset();  // released from inside its own event
        return;
    }
  };
  client->Open();
  EXPECT_TRUE(events.empty()) << "nothing happens inside the request start";
  RunUntil([&] { return !client; });

  EXPECT_THAT(events, ElementsAre(std::pair{SmtpRequest::Open, 0}, std::pair{SmtpRequest::Mail, 0},
                                  std::pair{SmtpRequest::Quit, 0}));
  ASSERT_EQ(server.Peers().size(), 1u);
  const VirtualLinePeer& peer = *server.Peers()[0];
  EXPECT_EQ(peer.Host(), "mx.example");
  EXPECT_EQ(peer.Service(), "smtp");
  EXPECT_FALSE(peer.ImplicitTls());
  EXPECT_THAT(peer.Received(),
              ElementsAreArray<std::string>(
                  {"EHLO client.example", "AUTH LOGIN", Base64Encode("anna"),
                   Base64Encode("geheim"), "MAIL FROM:<anna@example.org>",
                   "RCPT TO:<bob@example.net>", "DATA", "From: anna@example.org",
                   "To: bob@example.net", "Subject: Hallo", "Sender: anna@example.org",
                   "Mime-Version: 1.0", "Content-Type: text/plain; charset=\"iso-8859-1\"",
                   "Date: Sun, 6 Dec 2026 09:07:00 +0100", "", "Bis bald", "..", ".", "QUIT"}));
  EXPECT_THAT(smtp.data, ::testing::Contains("..")) << "the lone dot did not end the data";
  time.RunFor(120 * kSecond);  // nothing is left to call back
}

TEST_F(MailConversationTest, FetchDrivenFromTheCallbacksLikeTheService) {
  FakePop3Server pop3(server);
  auto client = std::make_unique<Pop3Client>(ports);
  client->Host = "pop3s://pop.example";
  client->UserName = "anna";
  client->PassWord = "geheim";
  std::vector<std::string> log;
  client->OnListLine = [&](int msgNum, int msgSize) {
    log.push_back("list " + std::to_string(msgNum) + " " + std::to_string(msgSize) + " " +
                  std::to_string(client->MsgNum) + " " + std::to_string(client->MsgSize()));
  };
  client->OnMessageLine = [&](const std::string& line) {
    log.push_back("line " + line + (line == client->LastResponse() ? "" : " != LastResponse"));
  };
  client->OnRequestDone = [&](Pop3Request request, int error) {
    log.push_back("done " + std::to_string(static_cast<int>(request)) + " " +
                  std::to_string(error));
    if (error != 0) return client.reset();
    switch (request) {
      case Pop3Request::Open:
        return client->Status();
      case Pop3Request::Status:
        return client->List();
      case Pop3Request::List:
        client->MsgNum = 1;
        return client->Retrieve();
      case Pop3Request::Retrieve:
        if (++client->MsgNum > client->MsgCount()) return client->Quit();
        return client->Retrieve();
      default:
        return client.reset();
    }
  };
  client->Open();
  RunUntil([&] { return !client; });

  EXPECT_THAT(log,
              ElementsAreArray<std::string>(
                  {"done 0 0", "done 3 0", "list 1 100 1 100", "list 2 101 2 101", "done 4 0",
                   "line Subject: Eins", "line ", "line erste", "done 5 0", "line Subject: Zwei",
                   "line ", "line .", "line ..zwei", "line Ende", "done 5 0", "done 6 0"}));
  ASSERT_EQ(server.Peers().size(), 1u);
  EXPECT_TRUE(server.Peers()[0]->ImplicitTls());
  EXPECT_EQ(server.Peers()[0]->Service(), "995");
  EXPECT_THAT(server.Peers()[0]->Received(),
              ElementsAreArray<std::string>(
                  {"USER anna", "PASS geheim", "STAT", "LIST", "RETR 1", "RETR 2", "QUIT"}));
}

// A server that stops answering ends the request after the time-out, with what was awaited.
TEST_F(MailConversationTest, ASilentServerTimesOut) {
  struct Case {
    const char* name;
    bool smtp;
    bool connects;
    bool greets;
    const char* silentAfter;
    bool endMessages;
    const char* lastResponse;
  };
  const Case cases[] = {
      {"smtp connect", true, false, true, "", true, "500 Timeout waiting for the connection"},
      {"smtp greeting", true, true, false, "", true, "500 Timeout waiting for the greeting"},
      {"smtp rcpt", true, true, true, "RCPT", true, "500 Timeout waiting for the reply to RCPT TO"},
      {"smtp end of mail", true, true, true, ".", true,
       "500 Timeout waiting for the reply to the end of the mail"},
      {"pop3 greeting", false, true, false, "", true, "-ERR Timeout waiting for the greeting"},
      {"pop3 pass", false, true, true, "PASS", true, "-ERR Timeout waiting for the reply to PASS"},
      {"pop3 message", false, true, true, "", false,
       "-ERR Timeout waiting for the rest of the message"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualTime clockless;
    VirtualLineServer lines(clockless);
    VirtualTimerFactory caseTimers(clockless);
    MailPorts casePorts{lines, caseTimers, clock, "client.example"};
    if (!c.connects) lines.SetConnectMode(VirtualLineServer::ConnectMode::Ignore);
    FakeSmtpServer smtp(lines);
    smtp.greet = c.greets;
    smtp.silentAfter = c.silentAfter;
    std::unique_ptr<FakePop3Server> pop3;
    if (!c.smtp) {
      pop3 = std::make_unique<FakePop3Server>(lines);
      pop3->greet = c.greets;
      pop3->silentAfter = c.silentAfter;
      pop3->endMessages = c.endMessages;
    }

    int errors = 0;
    std::string lastResponse;
    std::int64_t endedAt = -1;
    std::unique_ptr<SmtpClient> smtpClient;
    std::unique_ptr<Pop3Client> pop3Client;
    if (c.smtp) {
      smtpClient = std::make_unique<SmtpClient>(casePorts);
      smtpClient->Host = "mx.example";
      smtpClient->FromName = "anna@example.org";
      smtpClient->RcptName = {"bob@example.net"};
      smtpClient->OnRequestDone = [&](SmtpRequest request, int error) {
        if (error == 0 && request == SmtpRequest::Open) return smtpClient->Mail();
        errors += error != 0;
        lastResponse = smtpClient->LastResponse();
        endedAt = clockless.NowUs();
        smtpClient.reset();  // from inside the time-out
      };
      smtpClient->Open();
    } else {
      pop3Client = std::make_unique<Pop3Client>(casePorts);
      pop3Client->Host = "pop.example";
      pop3Client->MsgNum = 2;
      pop3Client->OnRequestDone = [&](Pop3Request request, int error) {
        if (error == 0 && request == Pop3Request::Open) return pop3Client->Retrieve();
        errors += error != 0;
        lastResponse = pop3Client->LastResponse();
        endedAt = clockless.NowUs();
        pop3Client.reset();
      };
      pop3Client->Open();
    }

    while (endedAt < 0 && clockless.RunNextBatch()) {
    }
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(lastResponse, c.lastResponse);
    ASSERT_EQ(lines.Peers().size(), 1u);
    EXPECT_TRUE(lines.Peers()[0]->ClosedByClient());
    // The wait began with the last thing that travelled, one latency before it arrived.
    EXPECT_GE(endedAt, 30 * kSecond);
    EXPECT_LE(endedAt, 30 * kSecond + 20'000);
    EXPECT_EQ(clockless.PendingTasks(), 0u) << "no timer or delivery is left behind";
  }
}

TEST_F(MailConversationTest, ASlowServerThatKeepsAnsweringDoesNotTimeOut) {
  VirtualLineServer slow(time, 12 * kSecond);  // 24 s for every reply
  FakePop3Server pop3(slow);
  MailPorts slowPorts{slow, timers, clock, "client.example"};
  Pop3Client client(slowPorts);
  client.Host = "pop.example";
  client.MsgNum = 2;
  std::vector<std::string> lines;
  int done = -1;
  client.OnMessageLine = [&](const std::string& line) { lines.push_back(line); };
  client.OnRequestDone = [&](Pop3Request request, int error) {
    if (error == 0 && request == Pop3Request::Open) return client.Retrieve();
    done = error;
  };
  client.Open();
  RunUntil([&] { return done >= 0; });
  EXPECT_EQ(done, 0) << client.LastResponse();
  EXPECT_EQ(lines.size(), 5u);
  EXPECT_GT(time.NowUs(), 3 * 30 * kSecond) << "far longer than one time-out";
}

// A server that sends a line now and then, so that no reply times out, is cut off two minutes
// after the connection; a deadline that passes between two requests ends the next one at once.
TEST_F(MailConversationTest, TheWholeConversationHasADeadline) {
  const struct {
    const char* name;
    bool smtp;
    bool idle;  // the caller starts nothing after the open until the deadline has passed
    const char* lastResponse;
  } cases[] = {
      {"smtp greeting", true, false, "500 Deadline of 120 s for the conversation ran out"},
      {"pop3 message", false, false, "-ERR Deadline of 120 s for the conversation ran out"},
      {"pop3 between requests", false, true, "-ERR Deadline of 120 s for the conversation ran out"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::function<void(VirtualLinePeer&)> drip;
    VirtualTime caseTime;
    VirtualLineServer lines(caseTime);
    VirtualTimerFactory caseTimers(caseTime);
    MailPorts casePorts{lines, caseTimers, clock, "client.example"};
    drip = [&](VirtualLinePeer& peer) {
      if (peer.ClosedByClient()) return;
      peer.Send(c.smtp ? "220-still there" : "x");
      caseTime.ScheduleAfter(20 * kSecond, [&drip, &peer] { drip(peer); });
    };
    lines.onAccept = [&](VirtualLinePeer& peer) { c.smtp ? drip(peer) : peer.Send("+OK"); };
    lines.onLine = [&](VirtualLinePeer& peer, const std::string& line) {
      peer.Send("+OK");
      if (line.starts_with("RETR")) drip(peer);
    };
    int error = -1;
    std::string lastResponse;
    SmtpClient smtp(casePorts);
    Pop3Client pop3(casePorts);
    smtp.Host = pop3.Host = "mail.example";
    pop3.MsgNum = 1;
    smtp.OnRequestDone = [&](SmtpRequest, int e) {
      error = e;
      lastResponse = smtp.LastResponse();
    };
    pop3.OnRequestDone = [&](Pop3Request request, int e) {
      if (request == Pop3Request::Open && e == 0) return c.idle ? void() : pop3.Retrieve();
      error = e;
      lastResponse = pop3.LastResponse();
    };
    c.smtp ? smtp.Open() : pop3.Open();
    while (error < 0 && caseTime.NowUs() < 600 * kSecond && caseTime.RunNextBatch()) {
    }
    if (c.idle) {
      caseTime.RunFor(130 * kSecond);
      pop3.Status();
      caseTime.RunFor(kSecond);
    } else {
      EXPECT_EQ(caseTime.NowUs(), 120 * kSecond);
    }
    EXPECT_EQ(error, 500);
    EXPECT_EQ(lastResponse, c.lastResponse);
    ASSERT_EQ(lines.Peers().size(), 1u);
    EXPECT_TRUE(lines.Peers()[0]->ClosedByClient());
  }
}

TEST_F(MailConversationTest, RefusedAndLostConnections) {
  server.SetConnectMode(VirtualLineServer::ConnectMode::Refuse,
                        "Cannot connect to mx.example:25: Connection refused");
  SmtpClient smtp(ports);
  smtp.Host = "mx.example";
  int smtpError = -1;
  smtp.OnRequestDone = [&](SmtpRequest, int error) { smtpError = error; };
  smtp.Open();
  RunUntil([&] { return smtpError >= 0; });
  EXPECT_EQ(smtpError, 500);
  EXPECT_EQ(smtp.LastResponse(), "500 Cannot connect to mx.example:25: Connection refused");
  EXPECT_FALSE(smtp.Connected());

  Pop3Client pop3(ports);
  pop3.Host = "pop.example";
  int pop3Error = -1;
  pop3.OnRequestDone = [&](Pop3Request, int error) { pop3Error = error; };
  pop3.Open();
  RunUntil([&] { return pop3Error >= 0; });
  EXPECT_EQ(pop3.LastResponse(), "-ERR Cannot connect to mx.example:25: Connection refused");

  // The server hangs up in the middle of the list.
  server.SetConnectMode(VirtualLineServer::ConnectMode::Accept);
  FakePop3Server fake(server);
  fake.hangupInList = true;
  std::vector<std::string> events;
  pop3.OnListLine = [&](int msgNum, int) { events.push_back("list " + std::to_string(msgNum)); };
  pop3.OnRequestDone = [&](Pop3Request request, int error) {
    events.push_back("done " + std::to_string(static_cast<int>(request)) + " " +
                     std::to_string(error));
    if (request == Pop3Request::Open) pop3.List();
  };
  pop3.Open();
  RunUntil([&] { return events.size() >= 3; });
  time.RunFor(60 * kSecond);
  EXPECT_THAT(events, ElementsAre("done 0 0", "list 1", "done 4 500"));
  EXPECT_EQ(pop3.LastResponse(), "-ERR Disconneced unexpectedly");
  EXPECT_EQ(pop3.State(), Pop3State::Disconnected);
}

TEST_F(MailConversationTest, EventsNeverComeInsideTheRequestStart) {
  SmtpClient smtp(ports);
  int quits = 0;
  smtp.OnRequestDone = [&](SmtpRequest request, int error) {
    EXPECT_EQ(request, SmtpRequest::Quit);
    EXPECT_EQ(error, 0);
    ++quits;
  };
  smtp.Quit();  // not connected: ends at once, but as an event
  EXPECT_EQ(quits, 0);
  EXPECT_TRUE(smtp.Busy());
  EXPECT_THROW(smtp.Open(), MailError) << "the end of QUIT has not been delivered";
  time.RunNextBatch();
  EXPECT_EQ(quits, 1);
  EXPECT_FALSE(smtp.Busy());

  // A malformed host fails the start itself and nothing is attempted.
  smtp.Host = "smtps://";
  try {
    smtp.Open();
    ADD_FAILURE() << "opened";
  } catch (const MailError& e) {
    EXPECT_STREQ(e.what(), "Invalid mail host \"smtps://\": no host name");
  }
  EXPECT_FALSE(smtp.Busy());
  time.RunFor(60 * kSecond);
  EXPECT_TRUE(server.Peers().empty());
  EXPECT_EQ(quits, 1);

  // One request at a time.
  FakeSmtpServer fake(server);
  smtp.Host = "mx.example";
  smtp.OnRequestDone = nullptr;
  smtp.Open();
  try {
    smtp.Quit();
    ADD_FAILURE() << "second request started";
  } catch (const MailError& e) {
    EXPECT_STREQ(e.what(), "SMTP component not ready");
  }
  RunUntil([&] { return !smtp.Busy(); });
  EXPECT_TRUE(smtp.Connected());
  EXPECT_THROW(smtp.Open(), MailError);
}

TEST_F(MailConversationTest, ClosedOrDestroyedInsideItsEventsItStaysSilent) {
  FakePop3Server fake(server);
  auto client = std::make_unique<Pop3Client>(ports);
  client->Host = "pop.example";
  client->MsgNum = 2;
  int lines = 0;
  int dones = 0;
  client->OnMessageLine = [&](const std::string&) {
    ++lines;
    client.reset();  // at the first line of the message
  };
  client->OnRequestDone = [&](Pop3Request request, int) {
    ++dones;
    if (request == Pop3Request::Open) client->Retrieve();
  };
  client->Open();
  RunUntil([&] { return !client; });
  time.RunFor(120 * kSecond);
  EXPECT_EQ(lines, 1);
  EXPECT_EQ(dones, 1);
  EXPECT_TRUE(server.Peers()[0]->ClosedByClient());

  // Close() inside a list line: no further list line, no end of the request; it can open again.
  Pop3Client pop3(ports);
  pop3.Host = "pop.example";
  std::vector<std::string> events;
  pop3.OnListLine = [&](int msgNum, int) {
    events.push_back("list " + std::to_string(msgNum));
    pop3.Close();
  };
  pop3.OnRequestDone = [&](Pop3Request request, int error) {
    events.push_back("done " + std::to_string(static_cast<int>(request)) + " " +
                     std::to_string(error));
    if (request == Pop3Request::Open && events.size() == 1) pop3.List();
  };
  pop3.Open();
  time.RunFor(120 * kSecond);
  EXPECT_THAT(events, ElementsAre("done 0 0", "list 1"));
  EXPECT_EQ(pop3.State(), Pop3State::Disconnected);
  EXPECT_FALSE(pop3.Busy());
  pop3.Open();
  time.RunFor(120 * kSecond);
  EXPECT_THAT(events, ElementsAre("done 0 0", "list 1", "done 0 0"));
  EXPECT_EQ(server.Peers().size(), 3u);
}

}  // namespace
}  // namespace velora
