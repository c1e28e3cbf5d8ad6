// The POP3 engine on its own: a whole fetch line by line, list and message lines, each request's
// failure, the protocol states and attempts to smuggle commands into the conversation.
#include "mail/pop3_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail_dialog.h"

namespace velora {
namespace {

using ::testing::ElementsAreArray;
using Dialog = testing::MailDialog<Pop3Engine>;

constexpr int kOpen = static_cast<int>(Pop3Request::Open);
constexpr int kStatus = static_cast<int>(Pop3Request::Status);
constexpr int kList = static_cast<int>(Pop3Request::List);
constexpr int kRetrieve = static_cast<int>(Pop3Request::Retrieve);
constexpr int kQuit = static_cast<int>(Pop3Request::Quit);

std::string Done(int request, int error) {
  return "(done " + std::to_string(request) + " " + std::to_string(error) + ")";
}

Pop3Properties Account() {
  Pop3Properties p;
  p.Host = "pop.example";
  p.UserName = " anna ";
  p.PassWord = "\tgeheim ";
  return p;
}

// Opens a dialog up to the transaction state.
void OpenTransaction(Dialog& dialog) {
  dialog.replies = {{"+OK ready"}, {"+OK"}, {"+OK"}};
  dialog.engine.Open(Account());
  dialog.Run();
  ASSERT_EQ(dialog.engine.State(), Pop3State::Transaction);
  dialog.transcript.clear();
}

TEST(Pop3EngineTest, AWholeFetch) {
  Dialog dialog;
  dialog.replies = {
      {"+OK POP3 ready <1896.697170952@dbc.mtview.ca.us>"}, {"+OK send PASS"}, {"+OK Logged in."}};
  dialog.engine.Open(Account());
  EXPECT_EQ(dialog.engine.State(), Pop3State::Disconnected);
  dialog.Run();
  EXPECT_EQ(dialog.engine.TimeStamp(), "1896.697170952@dbc.mtview.ca.us");
  EXPECT_EQ(dialog.engine.State(), Pop3State::Transaction);

  dialog.replies = {{"+OK 2 320"}};
  dialog.engine.Status();
  dialog.Run();
  EXPECT_EQ(dialog.engine.MsgCount(), 2);
  EXPECT_EQ(dialog.engine.MailboxSize(), 320);

  dialog.replies = {{"+OK 2 messages (320 octets)", "1 120", "2 200", "."}};
  dialog.engine.List(0);
  dialog.Run();

  dialog.replies = {{"+OK 200 octets", "Subject: Hallo", "From: bob@example.net", "", "Zeile", "..",
                     "..punkt", "...", "."}};
  dialog.engine.Retrieve(2);
  dialog.Run();
  EXPECT_EQ(dialog.engine.LastResponse(), "..") << "the last message line, un-stuffed";

  dialog.replies = {{"+OK Logging out."}};
  dialog.engine.Quit();
  dialog.Run();
  EXPECT_EQ(dialog.engine.State(), Pop3State::Disconnected);

  EXPECT_THAT(dialog.transcript, ElementsAreArray<std::string>({
                                     "(connect)",
                                     "S: +OK POP3 ready <1896.697170952@dbc.mtview.ca.us>",
                                     "C: USER anna",
                                     "S: +OK send PASS",
                                     "C: PASS geheim",
                                     "S: +OK Logged in.",
                                     Done(kOpen, 0),
                                     "C: STAT",
                                     "S: +OK 2 320",
                                     Done(kStatus, 0),
                                     "C: LIST",
                                     "S: +OK 2 messages (320 octets)",
                                     "S: 1 120",
                                     "(list 1 120)",
                                     "S: 2 200",
                                     "(list 2 200)",
                                     "S: .",
                                     Done(kList, 0),
                                     "C: RETR 2",
                                     "S: +OK 200 octets",
                                     "S: Subject: Hallo",
                                     "(line Subject: Hallo)",
                                     "S: From: bob@example.net",
                                     "(line From: bob@example.net)",
                                     "S: ",
                                     "(line )",
                                     "S: Zeile",
                                     "(line Zeile)",
                                     "S: ..",
                                     "(line .)",
                                     "S: ..punkt",
                                     "(line .punkt)",
                                     "S: ...",
                                     "(line ..)",
                                     "S: .",
                                     Done(kRetrieve, 0),
                                     "C: QUIT",
                                     "S: +OK Logging out.",
                                     "(close)",
                                     Done(kQuit, 0),
                                 }));
}

TEST(Pop3EngineTest, ListOfOneMessageIsItsStatusLine) {
  Dialog dialog;
  OpenTransaction(dialog);
  dialog.replies = {{"+OK 3 1234"}};
  dialog.engine.List(3);
  dialog.Run();
  EXPECT_THAT(dialog.transcript, ElementsAreArray<std::string>({"C: LIST 3", "S: +OK 3 1234",
                                                                "(list 3 1234)", Done(kList, 0)}));
  EXPECT_EQ(dialog.engine.MsgNum(), 3);
  EXPECT_EQ(dialog.engine.MsgSize(), 1234);
}

TEST(Pop3EngineTest, NumbersAreTheFirstTwoRunsOfDigits) {
  struct Case {
    const char* line;
    int first;
    int second;
  };
  const Case cases[] = {
      {"+OK 2 320", 2, 320},
      {"1 120", 1, 120},
      {"+OK  7\t\t99 extra", 7, 99},
      {"+OK mailbox: 5 700", 5, 700},
      {"+OK 3", 3, 0},
      {"+OK", 0, 0},
      {"+OK 4x 9", 4, 0},
      {"99999999999 1", 2147483647, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplyNumbers(c.line), std::make_pair(c.first, c.second)) << c.line;
  }
}

// Every "-" reply ends its request with 500; LastResponse holds it.
TEST(Pop3EngineTest, AnErrorReplyEndsTheRequestWith500) {
  struct Case {
    const char* name;
    std::vector<std::vector<std::string>> replies;  // open, status, list, retrieve, quit
    int request;
    Pop3State state;
    bool closed;
  };
  const std::vector<std::vector<std::string>> good = {
      {"+OK hi"},           {"+OK"},           {"+OK"},    {"+OK 1 10"},
      {"+OK", "1 10", "."}, {"+OK", "x", "."}, {"+OK bye"}};
  auto with = [&](std::size_t index) {
    auto replies = good;
    replies.resize(index + 1);
    replies[index] = {"-ERR nope"};
    return replies;
  };
  const std::vector<Case> cases = {
      {"greeting", with(0), kOpen, Pop3State::Disconnected, true},
      {"user", with(1), kOpen, Pop3State::WaitUser, false},
      {"pass", with(2), kOpen, Pop3State::WaitUser, false},
      {"stat", with(3), kStatus, Pop3State::Transaction, false},
      {"list", with(4), kList, Pop3State::Transaction, false},
      {"retr", with(5), kRetrieve, Pop3State::Transaction, false},
      {"quit", with(6), kQuit, Pop3State::Disconnected, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dialog dialog;
    dialog.replies.assign(c.replies.begin(), c.replies.end());
    dialog.engine.Open(Account());
    dialog.Run();
    if (dialog.done.back().error == 0) {
      dialog.engine.Status();
      dialog.Run();
    }
    if (dialog.done.back().error == 0) {
      dialog.engine.List(0);
      dialog.Run();
    }
    if (dialog.done.back().error == 0) {
      dialog.engine.Retrieve(1);
      dialog.Run();
    }
    if (dialog.done.back().error == 0) {
      dialog.engine.Quit();
      dialog.Run();
    }
    EXPECT_EQ(dialog.done.back().request, c.request);
    EXPECT_EQ(dialog.done.back().error, 500);
    EXPECT_EQ(dialog.engine.LastResponse(), "-ERR nope");
    EXPECT_EQ(dialog.engine.State(), c.state);
    EXPECT_EQ(dialog.transcript.end()[-2] == "(close)", c.closed);
  }
}

TEST(Pop3EngineTest, CommandsInTheWrongStateThrow) {
  auto message = [](auto&& start) -> std::string {
    try {
      start();
    } catch (const MailError& e) {
      return e.what();
    }
    return "no error";
  };
  Dialog dialog;
  EXPECT_EQ(message([&] { dialog.engine.Status(); }), "-ERR STAT command invalid now");
  EXPECT_EQ(message([&] { dialog.engine.List(0); }), "-ERR LIST command invalid now");
  EXPECT_EQ(message([&] { dialog.engine.Retrieve(1); }), "-ERR RETR command invalid now");
  EXPECT_EQ(message([&] { dialog.engine.User(Account()); }), "-ERR USER command invalid now");

  dialog.engine.Open(Account());
  EXPECT_EQ(message([&] { dialog.engine.Status(); }), "POP3 component not ready");
  dialog.replies = {{"+OK"}};
  dialog.Run();
  EXPECT_EQ(dialog.engine.State(), Pop3State::WaitUser) << "greeted, USER not answered yet";
  dialog.replies = {{"+OK"}};
  dialog.Run();
  EXPECT_EQ(dialog.engine.State(), Pop3State::WaitPassword);
  EXPECT_EQ(message([&] { dialog.engine.Status(); }), "POP3 component not ready");
  EXPECT_EQ(message([&] { dialog.engine.Open(Account()); }), "POP3 component not ready");
  dialog.replies = {{"+OK"}};
  dialog.Run();
  ASSERT_EQ(dialog.engine.State(), Pop3State::Transaction);
  EXPECT_EQ(message([&] { dialog.engine.User(Account()); }), "-ERR USER command invalid now");
  EXPECT_EQ(message([&] { dialog.engine.Pass(Account()); }), "-ERR PASS command invalid now");
  EXPECT_EQ(message([&] { dialog.engine.Open(Account()); }), "POP3 component already connected");

  // USER and PASS alone after a refused password.
  Dialog again;
  again.replies = {{"+OK"}, {"+OK"}, {"-ERR wrong"}, {"+OK"}, {"+OK"}};
  again.engine.Open(Account());
  again.Run();
  EXPECT_EQ(message([&] { again.engine.Pass(Account()); }), "-ERR PASS command invalid now");
  again.engine.User(Account());
  again.Run();
  again.engine.Pass(Account());
  again.Run();
  EXPECT_EQ(again.engine.State(), Pop3State::Transaction);
  EXPECT_EQ(again.done.back().error, 0);

  // Without a connection QUIT ends at once.
  Dialog idle;
  idle.engine.Quit();
  idle.Run();
  EXPECT_THAT(idle.transcript, ElementsAreArray({Done(kQuit, 0)}));
}

TEST(Pop3EngineTest, ALostConnectionEndsTheRequest) {
  Dialog dialog;
  OpenTransaction(dialog);
  dialog.replies = {{"+OK", "Subject: x"}};
  dialog.engine.Retrieve(1);
  dialog.Run();
  EXPECT_EQ(dialog.engine.Awaiting(), "the rest of the message");
  dialog.engine.Closed();
  dialog.Run();
  EXPECT_EQ(dialog.transcript.back(), Done(kRetrieve, 500));
  EXPECT_EQ(dialog.engine.LastResponse(), "-ERR Disconneced unexpectedly");
  EXPECT_EQ(dialog.engine.State(), Pop3State::Disconnected);

  // A broken connection counts as lost; one that never stood names its reason.
  Dialog broken;
  OpenTransaction(broken);
  broken.engine.Status();
  broken.Run();
  broken.engine.Failed("Connection reset by peer");
  broken.Run();
  EXPECT_EQ(broken.engine.LastResponse(), "-ERR Disconneced unexpectedly");

  Dialog refused;
  refused.engine.Open(Account());
  refused.engine.Failed("Cannot connect to pop.example:110: Connection refused");
  refused.Run();
  EXPECT_EQ(refused.engine.LastResponse(),
            "-ERR Cannot connect to pop.example:110: Connection refused");
  EXPECT_EQ(refused.done.back().error, 500);

  Dialog silent;
  OpenTransaction(silent);
  silent.replies = {{"+OK 2 messages", "1 100"}};
  silent.engine.List(0);
  silent.Run();
  EXPECT_EQ(silent.engine.Awaiting(), "the rest of the list");
  silent.engine.TimedOut();
  silent.Run();
  EXPECT_EQ(silent.engine.LastResponse(), "-ERR Timeout waiting for the rest of the list");
  EXPECT_THAT(silent.transcript, ::testing::Contains("(close)"));
  EXPECT_EQ(silent.done.back().error, 500);
}

TEST(Pop3EngineTest, LineBreaksInUserAndPasswordCannotInjectCommands) {
  Dialog dialog;
  Pop3Properties account = Account();
  account.UserName = "anna\r\nDELE 1";
  account.PassWord = "geheim\nQUIT\r\n";
  dialog.replies = {{"+OK"}, {"+OK"}, {"+OK"}};
  dialog.engine.Open(account);
  dialog.Run();
  EXPECT_THAT(dialog.Sent(),
              ElementsAreArray<std::string>({"USER anna DELE 1", "PASS geheim QUIT"}));
}

}  // namespace
}  // namespace velora
