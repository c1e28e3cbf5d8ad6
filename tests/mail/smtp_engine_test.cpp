// The SMTP engine on its own: whole conversations line by line, the header block, each step's
// failure, the state errors and attempts to smuggle lines into the conversation.
#include "mail/smtp_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/base64.h"
#include "mail_dialog.h"

namespace velora {
namespace {

using ::testing::ElementsAreArray;
using Dialog = testing::MailDialog<SmtpEngine>;

constexpr int kOpen = static_cast<int>(SmtpRequest::Open);
constexpr int kAuth = static_cast<int>(SmtpRequest::Auth);
constexpr int kMail = static_cast<int>(SmtpRequest::Mail);
constexpr int kQuit = static_cast<int>(SmtpRequest::Quit);

// Sunday, 6 December 2026, 09:07:05, one hour east of UTC.
const DateTime kNow{2026, 12, 6, 9, 7, 5, 0, 60, true};

SmtpProperties Account(SmtpAuthType auth) {
  SmtpProperties p;
  p.Host = "mx.example";
  p.Username = "anna";
  p.Password = "geheim";
  p.AuthType = auth;
  p.FromName = "anna@example.org";
  p.HdrFrom = "Anna <anna@example.org>";
  p.HdrTo = "bob@example.net";
  p.HdrSubject = "Treffen";
  p.RcptName = {"bob@example.net"};
  p.MailMessage = {"Hallo Bob"};
  return p;
}

std::string Done(int request, int error) {
  return "(done " + std::to_string(request) + " " + std::to_string(error) + ")";
}

// Opening: with EHLO and AUTH LOGIN, with a server that refuses EHLO (in one line or more), and
// without authentication.
TEST(SmtpEngineTest, OpenWithAndWithoutExtendedSmtp) {
  const std::string user = Base64Encode("anna");
  const std::string password = Base64Encode("geheim");
  struct Case {
    const char* name;
    SmtpAuthType auth;
    std::vector<std::vector<std::string>> replies;
    std::vector<std::string> transcript;
    bool extended;
  };
  const std::vector<Case> cases = {
      {"ehlo and auth login",
       SmtpAuthType::smtpAuthLogin,
       {{"220 mx.example ESMTP"},
        {"250-mx.example Hello", "250-AUTH LOGIN PLAIN", "250 8BITMIME"},
        {"334 VXNlcm5hbWU6"},
        {"334 UGFzc3dvcmQ6"},
        {"235 2.7.0 Authentication successful"}},
       {"(connect)", "S: 220 mx.example ESMTP", "C: EHLO client.example", "S: 250-mx.example Hello",
        "S: 250-AUTH LOGIN PLAIN", "S: 250 8BITMIME", "C: AUTH LOGIN", "S: 334 VXNlcm5hbWU6",
        "C: " + user, "S: 334 UGFzc3dvcmQ6", "C: " + password,
        "S: 235 2.7.0 Authentication successful", Done(kOpen, 0)},
       true},
      {"ehlo refused: helo alone, no error, no auth",
       SmtpAuthType::smtpAuthLogin,
       {{"220 old.example"}, {"502 5.5.2 Error: command not recognized"}, {"250 old.example"}},
       {"(connect)", "S: 220 old.example", "C: EHLO client.example",
        "S: 502 5.5.2 Error: command not recognized", "C: HELO client.example",
        "S: 250 old.example", Done(kOpen, 0)},
       false},
      {"ehlo refused on two lines: helo after the whole reply",
       SmtpAuthType::smtpAuthLogin,
       {{"220 mx.example"}, {"500-5.5.1 EHLO unknown", "500 5.5.1 try HELO"}, {"250 mx.example"}},
       {"(connect)", "S: 220 mx.example", "C: EHLO client.example", "S: 500-5.5.1 EHLO unknown",
        "S: 500 5.5.1 try HELO", "C: HELO client.example", "S: 250 mx.example", Done(kOpen, 0)},
       false},
      {"no authentication: helo",
       SmtpAuthType::smtpAuthNone,
       {{"220 mx.example"}, {"250 mx.example"}},
       {"(connect)", "S: 220 mx.example", "C: HELO client.example", "S: 250 mx.example",
        Done(kOpen, 0)},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dialog dialog("client.example");
    dialog.replies.assign(c.replies.begin(), c.replies.end());
    dialog.engine.Open(Account(c.auth));
    dialog.Run();
    EXPECT_THAT(dialog.transcript, ElementsAreArray(c.transcript));
    EXPECT_TRUE(dialog.engine.IsConnected());
    EXPECT_EQ(dialog.engine.Extended(), c.extended);
    EXPECT_FALSE(dialog.engine.Busy());
  }
}

TEST(SmtpEngineTest, MailAndQuitSendTheWholeMail) {
  Dialog dialog("client.example");
  SmtpProperties mail = Account(SmtpAuthType::smtpAuthNone);
  mail.HdrReplyTo = "anna.privat@example.org";
  mail.RcptName = {" bob@example.net ", "Carla <carla@example.com>"};
  mail.MailMessage = {"Hallo Bob,", ".", ".versteckt", "", "bis morgen"};
  dialog.replies = {{"220 mx"}, {"250 mx"}};
  dialog.engine.Open(mail);
  dialog.Run();
  dialog.transcript.clear();

  dialog.replies = {{"250 2.1.0 Ok"},
                    {"250 2.1.5 Ok"},
                    {"251 2.1.5 forwarded"},
                    {"354 End data with <CR><LF>.<CR><LF>"},
                    {"250 2.0.0 Ok: queued as 4711"}};
  dialog.engine.Mail(mail, kNow);
  dialog.Run();
  EXPECT_THAT(dialog.transcript, ElementsAreArray<std::string>({
                                     "C: MAIL FROM:<anna@example.org>",
                                     "S: 250 2.1.0 Ok",
                                     "C: RCPT TO:<bob@example.net>",
                                     "S: 250 2.1.5 Ok",
                                     "C: RCPT TO:Carla <carla@example.com>",
                                     "S: 251 2.1.5 forwarded",
                                     "C: DATA",
                                     "S: 354 End data with <CR><LF>.<CR><LF>",
                                     "C: Reply-To: anna.privat@example.org",
                                     "C: From: Anna <anna@example.org>",
                                     "C: To: bob@example.net",
                                     "C: Subject: Treffen",
                                     "C: Sender: Anna <anna@example.org>",
                                     "C: Mime-Version: 1.0",
                                     "C: Content-Type: text/plain; charset=\"iso-8859-1\"",
                                     "C: Date: Sun, 6 Dec 2026 09:07:05 +0100",
                                     "C: ",
                                     "C: Hallo Bob,",
                                     "C: ..",
                                     "C: ..versteckt",
                                     "C: ",
                                     "C: bis morgen",
                                     "C: .",
                                     "S: 250 2.0.0 Ok: queued as 4711",
                                     Done(kMail, 0),
                                 }));
  EXPECT_EQ(dialog.engine.LastResponse(), "250 2.0.0 Ok: queued as 4711");

  dialog.transcript.clear();
  dialog.replies = {{"221 2.0.0 Bye"}};
  dialog.engine.Quit();
  dialog.Run();
  EXPECT_THAT(dialog.transcript, ElementsAreArray<std::string>(
                                     {"C: QUIT", "S: 221 2.0.0 Bye", "(close)", Done(kQuit, 0)}));
  EXPECT_FALSE(dialog.engine.IsConnected());
}

TEST(SmtpEngineTest, EnvelopeAddressesGetBracketsUnlessTheyHaveThem) {
  struct Case {
    const char* address;
    const char* line;
  };
  const Case cases[] = {
      {"anna@example.org", "MAIL FROM:<anna@example.org>"},
      {"  anna@example.org\t", "MAIL FROM:<anna@example.org>"},
      {"<anna@example.org>", "MAIL FROM:<anna@example.org>"},
      {" Anna Berg <anna@example.org> ", "MAIL FROM:Anna Berg <anna@example.org>"},
      {"<anna@example.org", "MAIL FROM:<<anna@example.org>"},  // one bracket is no pair
      {"", "MAIL FROM:<>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EnvelopeCommand("MAIL FROM:", c.address), c.line) << "address: " << c.address;
  }
}

TEST(SmtpEngineTest, HeaderBlockKeepsItsOrderAndOptionalLines) {
  SmtpProperties mail;
  mail.HdrFrom = "anna@example.org";
  mail.HdrTo = "bob@example.net";
  mail.HdrSubject = "";
  EXPECT_THAT(BuildMailHeader(mail, kNow), ElementsAreArray<std::string>({
                                               "From: anna@example.org",
                                               "To: bob@example.net",
                                               "Subject: ",
                                               "Sender: anna@example.org",
                                               "Mime-Version: 1.0",
                                               "Content-Type: text/plain; charset=\"iso-8859-1\"",
                                               "Date: Sun, 6 Dec 2026 09:07:05 +0100",
                                               "",
                                           }))
      << "no Reply-To line for an empty reply address";

  mail.HdrReplyTo = "  ";
  mail.HdrReturnPath = "<bounce@example.org>";
  mail.HdrSender = "list@example.org";
  mail.CharSet = "windows-1252";
  mail.ContentType = SmtpContentType::smtpHtml;
  EXPECT_THAT(BuildMailHeader(mail, kNow), ElementsAreArray<std::string>({
                                               "Return-Path: <bounce@example.org>",
                                               "From: anna@example.org",
                                               "To: bob@example.net",
                                               "Subject: ",
                                               "Sender: list@example.org",
                                               "Mime-Version: 1.0",
                                               "Content-Type: text/html; charset=\"windows-1252\"",
                                               "Date: Sun, 6 Dec 2026 09:07:05 +0100",
                                               "",
                                           }))
      << "a blank reply address counts as none";

  mail.HdrReplyTo = "antwort@example.org";
  mail.HdrSender = "";
  mail.HdrFrom = "";
  const TAoS header = BuildMailHeader(mail, kNow);
  EXPECT_EQ(header[0], "Reply-To: antwort@example.org");
  EXPECT_EQ(header[2], "From: ");
  EXPECT_EQ(header[5], "Mime-Version: 1.0") << "no Sender line without sender and from";
}

TEST(SmtpEngineTest, DateIsEnglishWithTheZoneOffset) {
  struct Case {
    DateTime time;
    const char* text;
  };
  const Case cases[] = {
      {{2026, 12, 6, 9, 7, 5, 0, 60, true}, "Sun, 6 Dec 2026 09:07:05 +0100"},
      {{2024, 2, 29, 23, 59, 59, 999, -330, true}, "Thu, 29 Feb 2024 23:59:59 -0530"},
      {{2000, 1, 1, 0, 0, 0, 0, 0, true}, "Sat, 1 Jan 2000 00:00:00 +0000"},
      {{2025, 7, 14, 12, 30, 0, 0, 0, false}, "Mon, 14 Jul 2025 12:30:00 -0000"},
      {{2025, 5, 21, 8, 0, 0, 0, 345, true}, "Wed, 21 May 2025 08:00:00 +0545"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatMailDate(c.time), c.text);
}

// Each step's failure ends its request with the reply's code; LastResponse holds that reply.
TEST(SmtpEngineTest, AFailedStepEndsTheRequestWithItsCode) {
  struct Case {
    const char* name;
    std::vector<std::vector<std::string>> replies;  // for open (EHLO, AUTH), mail and quit
    int request;
    int error;
    const char* lastResponse;
    bool closed;
  };
  const std::vector<std::vector<std::string>> good = {
      {"220 mx"},        {"250 mx"},      {"334 VXNlcm5hbWU6"}, {"334 UGFzc3dvcmQ6"}, {"235 ok"},
      {"250 sender ok"}, {"250 rcpt ok"}, {"354 go ahead"},     {"250 queued"},       {"221 bye"},
  };
  auto with = [&](std::size_t index, std::string reply) {
    auto replies = good;
    replies.resize(index + 1);
    replies[index] = {std::move(reply)};
    return replies;
  };
  const std::vector<Case> cases = {
      {"greeting", with(0, "554 5.3.2 no service"), kOpen, 554, "554 5.3.2 no service", true},
      {"auth login", with(2, "504 5.5.4 unrecognized"), kOpen, 504, "504 5.5.4 unrecognized",
       false},
      {"user name", with(3, "535 5.7.8 bad user"), kOpen, 535, "535 5.7.8 bad user", false},
      {"password", with(4, "535 5.7.8 Authentication credentials invalid"), kOpen, 535,
       "535 5.7.8 Authentication credentials invalid", false},
      {"mail from", with(5, "550 5.7.1 not yours"), kMail, 550, "550 5.7.1 not yours", false},
      {"rcpt to", with(6, "550 5.1.1 unknown user"), kMail, 550, "550 5.1.1 unknown user", false},
      {"data", with(7, "554 5.5.1 no valid recipients"), kMail, 554,
       "554 5.5.1 no valid recipients", false},
      {"end of mail", with(8, "552 5.3.4 too big"), kMail, 552, "552 5.3.4 too big", false},
      {"quit", with(9, "500 what"), kQuit, 500, "500 what", true},
      {"a reply without a code", with(5, "hello?"), kMail, 500, "hello?", false},
      // Code 0 is no success: a server greeting with it was once taken as an open connection,
      // and a mail it answered so as sent.
      {"a greeting of code 000", with(0, "000 ready"), kOpen, 500, "000 ready", true},
      {"code 099 at the end of the mail", with(8, "099 maybe"), kMail, 500, "099 maybe", false},
      {"a multi-line failure",
       {{"220 mx"}, {"250 mx"}, {"535-first", "535 second"}},
       kOpen,
       535,
       "535 second",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dialog dialog("client.example");
    dialog.replies.assign(c.replies.begin(), c.replies.end());
    const SmtpProperties mail = Account(SmtpAuthType::smtpAuthLogin);
    dialog.engine.Open(mail);
    dialog.Run();
    if (dialog.done.back().error == 0) {
      dialog.engine.Mail(mail, kNow);
      dialog.Run();
    }
    if (dialog.done.back().error == 0) {
      dialog.engine.Quit();
      dialog.Run();
    }
    ASSERT_FALSE(dialog.done.empty());
    EXPECT_EQ(dialog.done.back().request, c.request);
    EXPECT_EQ(dialog.done.back().error, c.error);
    EXPECT_EQ(dialog.engine.LastResponse(), c.lastResponse);
    EXPECT_EQ(dialog.transcript.end()[-2] == "(close)", c.closed);
    EXPECT_EQ(dialog.engine.IsConnected(), !c.closed);
    EXPECT_FALSE(dialog.engine.Busy());
  }
}

TEST(SmtpEngineTest, AuthAloneChecksExtendedSmtpAndTheType) {
  Dialog helo("client.example");
  helo.replies = {{"220 mx"}, {"250 mx"}};
  helo.engine.Open(Account(SmtpAuthType::smtpAuthNone));
  helo.Run();
  helo.engine.Auth(Account(SmtpAuthType::smtpAuthLogin));
  helo.Run();
  EXPECT_EQ(helo.transcript.back(), Done(kAuth, 500));
  EXPECT_EQ(helo.engine.LastResponse(), "500 ESMTP not supported.");
  EXPECT_EQ(helo.Sent().back(), "HELO client.example") << "nothing sent for the failed AUTH";

  Dialog ehlo("client.example");
  ehlo.replies = {{"220 mx"}, {"250 mx"}, {"334 VXNlcm5hbWU6"}, {"334 UGFzc3dvcmQ6"}, {"235 ok"}};
  ehlo.engine.Open(Account(SmtpAuthType::smtpAuthLogin));
  ehlo.Run();
  ehlo.engine.Auth(Account(SmtpAuthType::smtpAuthNone));
  ehlo.Run();
  EXPECT_EQ(ehlo.transcript.back(), Done(kAuth, 500));
  EXPECT_EQ(ehlo.engine.LastResponse(), "500 No Authorization Type Selected.");
  EXPECT_TRUE(ehlo.engine.IsConnected());
}

TEST(SmtpEngineTest, RequestsThatCannotStartThrow) {
  auto message = [](auto&& start) -> std::string {
    try {
      start();
    } catch (const MailError& e) {
      return e.what();
    }
    return "no error";
  };
  Dialog dialog("client.example");
  const SmtpProperties mail = Account(SmtpAuthType::smtpAuthNone);
  EXPECT_EQ(message([&] { dialog.engine.Mail(mail, kNow); }), "SMTP component not connected");
  EXPECT_EQ(message([&] { dialog.engine.Auth(mail); }), "SMTP component not connected");

  dialog.engine.Open(mail);
  EXPECT_EQ(message([&] { dialog.engine.Open(mail); }), "SMTP component not ready");
  EXPECT_EQ(message([&] { dialog.engine.Quit(); }), "SMTP component not ready");
  dialog.replies = {{"220 mx"}, {"250 mx"}};
  dialog.Run();
  EXPECT_EQ(message([&] { dialog.engine.Open(mail); }), "SMTP component already connected");

  // Without a connection QUIT ends at once and sends nothing.
  Dialog idle("client.example");
  idle.engine.Quit();
  idle.Run();
  EXPECT_THAT(idle.transcript, ElementsAreArray({Done(kQuit, 0)}));
}

TEST(SmtpEngineTest, LostConnectionsAndTimeOutsEndTheRequest) {
  Dialog dialog("client.example");
  const SmtpProperties mail = Account(SmtpAuthType::smtpAuthNone);
  dialog.engine.Open(mail);
  dialog.Run();
  EXPECT_EQ(dialog.engine.Awaiting(), "the greeting");
  dialog.engine.Closed();
  dialog.Run();
  EXPECT_EQ(dialog.transcript.back(), Done(kOpen, 500));
  EXPECT_EQ(dialog.engine.LastResponse(), "500 Connection closed unexpectedly");

  dialog.engine.Open(mail);
  dialog.Run();
  dialog.transcript.clear();
  dialog.engine.TimedOut();
  dialog.Run();
  EXPECT_THAT(dialog.transcript, ElementsAreArray<std::string>({"(close)", Done(kOpen, 500)}));
  EXPECT_EQ(dialog.engine.LastResponse(), "500 Timeout waiting for the greeting");

  Dialog refused("client.example");
  refused.engine.Open(mail);
  refused.transcript.push_back("(not connected)");
  refused.engine.Failed("Cannot connect to mx.example:25: Connection refused");
  refused.Run();
  EXPECT_EQ(refused.engine.LastResponse(),
            "500 Cannot connect to mx.example:25: Connection refused");
  EXPECT_EQ(refused.transcript.back(), Done(kOpen, 500));

  // A server that hangs up instead of answering QUIT has still ended the session.
  Dialog quit("client.example");
  quit.replies = {{"220 mx"}, {"250 mx"}};
  quit.engine.Open(mail);
  quit.Run();
  quit.engine.Quit();
  quit.Run();
  EXPECT_EQ(quit.engine.Awaiting(), "the reply to QUIT");
  quit.engine.Closed();
  quit.Run();
  EXPECT_EQ(quit.transcript.back(), Done(kQuit, 0));
}

// Values with line breaks must not add header lines or commands of their own.
TEST(SmtpEngineTest, LineBreaksInValuesCannotInjectLines) {
  Dialog dialog("client.example\r\nMAIL FROM:<x@evil>");
  SmtpProperties mail = Account(SmtpAuthType::smtpAuthNone);
  mail.FromName = "anna@example.org>\r\nRCPT TO:<evil@example.com";
  mail.RcptName = {"bob@example.net\r\n", "bob@example.net\nDATA"};
  mail.HdrSubject = "Hi\r\nBcc: evil@example.com";
  mail.HdrTo = "bob@example.net\rX-Injected: 1";
  mail.HdrReplyTo = "\r\n";
  mail.MailMessage = {"first\r\n.\r\nQUIT", "second\n.rest"};
  dialog.replies = {{"220 mx"}, {"250 mx"}, {"250 ok"}, {"250 ok"},
                    {"250 ok"}, {"354 go"}, {"250 ok"}};
  dialog.engine.Open(mail);
  dialog.Run();
  dialog.engine.Mail(mail, kNow);
  dialog.Run();
  EXPECT_THAT(dialog.Sent(), ElementsAreArray<std::string>({
                                 "HELO client.example MAIL FROM:<x@evil>",
                                 "MAIL FROM:anna@example.org> RCPT TO:<evil@example.com",
                                 "RCPT TO:<bob@example.net>",
                                 "RCPT TO:<bob@example.net DATA>",
                                 "DATA",
                                 "From: Anna <anna@example.org>",
                                 "To: bob@example.net X-Injected: 1",
                                 "Subject: Hi Bcc: evil@example.com",
                                 "Sender: Anna <anna@example.org>",
                                 "Mime-Version: 1.0",
                                 "Content-Type: text/plain; charset=\"iso-8859-1\"",
                                 "Date: Sun, 6 Dec 2026 09:07:05 +0100",
                                 "",
                                 "first",
                                 "..",
                                 "QUIT",
                                 "second",
                                 "..rest",
                                 ".",
                             }));
  EXPECT_EQ(dialog.done.back().error, 0);
}

TEST(SmtpEngineTest, BodyLinesAreSplitAndDotStuffed) {
  EXPECT_THAT(
      BuildMailBody({".", "..", ". x", "a.b", "", "x\r\ny", "p\rq\n\nr"}),
      ElementsAreArray<std::string>({"..", "...", ".. x", "a.b", "", "x", "y", "p", "q", "", "r"}));
  EXPECT_TRUE(BuildMailBody({}).empty());
}

}  // namespace
}  // namespace velora
