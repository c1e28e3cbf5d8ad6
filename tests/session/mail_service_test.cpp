// E-mail through sessions on the default content, with the user's SMTP and POP3 servers played
// in virtual time: the lines of a whole send, the fetch window, header parsing, the inbox, reading
// and answering, every failing step, a time-out, a session that leaves while its conversation
// runs, a second conversation, and typed line breaks that must stay inside their lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "mail/base64.h"
#include "platform/virtual/virtual_line_connection.h"
#include "platform/virtual/virtual_time.h"
#include "services_fixture.h"

namespace velora {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using testing::Screen;

constexpr std::int64_t kSecond = 1'000'000;

// The user's SMTP server: greets, takes EHLO (or refuses it), AUTH LOGIN, MAIL FROM, RCPT TO,
// DATA up to the lone "." and QUIT. One step can answer with the test's reply instead, or never.
struct SmtpServer {
  bool ehlo = true;
  std::string failAt{};  // "greeting", "password", ".", or the start of a command
  std::string failReply{};
  bool silent = false;  // at failAt: no answer at all
  std::vector<std::string> data{};
  int authStep = 0;
  bool inData = false;

  bool Fails(VirtualLinePeer& peer, std::string_view step) {
    if (failAt.empty() || !step.starts_with(failAt)) return false;
    if (!silent) peer.Send(failReply);
    return true;
  }
  void Accept(VirtualLinePeer& peer) {
    if (!Fails(peer, "greeting")) peer.Send("220 smtp.example ESMTP");
  }
  void Line(VirtualLinePeer& peer, const std::string& line) {
    if (inData) {
      if (line != ".") return data.push_back(line);
      inData = false;
      if (!Fails(peer, ".")) peer.Send("250 2.0.0 angenommen");
      return;
    }
    if (authStep == 1) {
      authStep = 2;
      return peer.Send("334 UGFzc3dvcmQ6");
    }
    if (authStep == 2) {
      authStep = 0;
      if (!Fails(peer, "password")) peer.Send("235 2.7.0 ok");
      return;
    }
    if (Fails(peer, line)) return;
    if (line.starts_with("EHLO")) {
      if (!ehlo) return peer.Send("502 5.5.1 kein EHLO");
      peer.Send("250-smtp.example");
      return peer.Send("250 AUTH LOGIN");
    }
    if (line == "AUTH LOGIN") {
      authStep = 1;
      return peer.Send("334 VXNlcm5hbWU6");
    }
    if (line == "DATA") {
      inData = true;
      return peer.Send("354 los");
    }
    if (line == "QUIT") {
      peer.Send("221 2.0.0 tschuess");
      return peer.Hangup();
    }
    peer.Send("250 ok");
  }
};

// The user's POP3 server with a mailbox of messages (each a list of lines, stuffed as they
// travel). One command can answer with the test's reply instead.
struct Pop3Server {
  std::vector<std::vector<std::string>> mailbox;
  std::string failAt;  // "greeting" or the start of a command
  std::string failReply = "-ERR nein";
  int extraListLines = 0;  // listed after the mailbox, numbered 1 to 7 in turn

  bool Fails(VirtualLinePeer& peer, std::string_view step) {
    if (failAt.empty() || !step.starts_with(failAt)) return false;
    peer.Send(failReply);
    return true;
  }
  static std::size_t Size(const std::vector<std::string>& message) {
    std::size_t size = 0;
    for (const std::string& line : message)
      size += line.size() + 2;
    return size;
  }
  void Accept(VirtualLinePeer& peer) {
    if (!Fails(peer, "greeting")) peer.Send("+OK POP3 bereit <1.2@pop.example>");
  }
  void Line(VirtualLinePeer& peer, const std::string& line) {
    if (Fails(peer, line)) return;
    if (line == "STAT") {
      std::size_t total = 0;
      for (const auto& message : mailbox)
        total += Size(message);
      return peer.Send("+OK " + std::to_string(mailbox.size()) + " " + std::to_string(total));
    }
    if (line == "LIST") {
      peer.Send("+OK");
      for (std::size_t i = 0; i < mailbox.size(); ++i)
        peer.Send(std::to_string(i + 1) + " " + std::to_string(Size(mailbox[i])));
      for (int i = 0; i < extraListLines; ++i)
        peer.Send(std::to_string(i % 7 + 1) + " 100");
      return peer.Send(".");
    }
    if (line.starts_with("RETR ")) {
      const std::size_t n = std::stoul(line.substr(5));
      if (n < 1 || n > mailbox.size()) return peer.Send("-ERR keine solche Nachricht");
      peer.Send("+OK");
      for (const std::string& l : mailbox[n - 1])
        peer.Send(l.starts_with(".") ? "." + l : l);
      return peer.Send(".");
    }
    peer.Send("+OK");
    if (line == "QUIT") peer.Hangup();
  }
};

std::vector<std::string> Message(const std::string& subject, const std::string& body) {
  return {"From: bob@example.net", "Subject: " + subject, "", body};
}

class MailServiceTest : public testing::ServicesTest, public SessionCommands {
 protected:
  MailServiceTest() {
    h.mail = &ports;
    h.commands = this;
    Tuserdata& anna = h.users[static_cast<std::size_t>(h.AddUser("ANNA", "anna"))];
    anna.SmtpHost = "smtp.example";
    anna.SmtpUser = "anna@example.org";
    anna.SmtpPassword = "geheim";
    anna.FromHeader = "Anna <anna@example.org>";
    anna.ReplyTo = "antwort@example.org";
    anna.Pop3Host = "pop.example";
    anna.Pop3User = "anna";
    anna.Pop3Password = "pop-geheim";
    net.onAccept = [this](VirtualLinePeer& peer) {
      peer.Service() == "smtp" ? smtp.Accept(peer) : pop3.Accept(peer);
    };
    net.onLine = [this](VirtualLinePeer& peer, const std::string& line) {
      peer.Service() == "smtp" ? smtp.Line(peer, line) : pop3.Line(peer, line);
    };
    Join("anna");
  }

  // The front door: commands wait until the test applies them, as between the cycle's steps.
  void Post(SessionId id, std::function<void(ServiceSession&)> command) override {
    queued.emplace_back(id, std::move(command));
  }
  // Applies the queued commands to the sessions still present; answers how many ran.
  int ApplyQueued() {
    int ran = 0;
    std::vector<std::pair<SessionId, std::function<void(ServiceSession&)>>> due;
    due.swap(queued);
    for (auto& [id, command] : due) {
      const std::size_t index = table.IndexOf(id);
      if (index == table.Count()) continue;
      command(table.Session(index));
      ++ran;
      ++applied;
    }
    return ran;
  }
  // Lets the conversations run to their end: virtual time, then what the front door applies.
  void Settle() {
    do {
      while (ApplyQueued() > 0) {
      }
    } while (time.RunNextBatch());
  }

  // Starts a mail action; the calculator gets nothing until the conversation ends.
  void Start(std::string_view action) {
    S("anna").PerformAction(S("anna").ParseAction(0, action));
    EXPECT_FALSE(C("anna").Next(50)) << "a screen before the conversation ended";
  }
  Screen Run(std::string_view action) {
    Start(action);
    Settle();
    return C("anna").Expect();
  }
  // Types the mail's fields into the pages of the mail menu and sends; nothing shows yet.
  void Write(std::string_view to, std::string_view subject, std::string_view text) {
    Pick("anna", Do("anna", "menumail"), "Schreiben");
    C("anna").Enter(to);
    C("anna").Enter(subject);
    std::string reply = {'\0', static_cast<char>(text.size())};
    C("anna").Send(KindInputReply, reply + std::string(text));
    EXPECT_FALSE(C("anna").Next(50)) << "a screen before the conversation ended";
  }
  std::string Text(const Screen& screen) { return Words("anna", screen); }
  // The whole text on display, all its pages, as laid out from a PC text.
  std::string Whole() { return S("anna").Screen().PageText(); }
  std::string WholeOf(std::string_view pcText) { return S("anna").Screen().WrapText(pcText); }
  std::string Says(std::string_view pcText) { return Expected("anna", pcText); }
  ServiceState& State() { return S("anna").State(); }
  Tuserdata& Anna() { return h.users[0]; }
  // The lines the client sent on its n-th connection.
  const std::vector<std::string>& Sent(std::size_t n) { return net.Peers().at(n)->Received(); }

  VirtualTime time;
  VirtualClock mailClock{time, 0, DateTime{2026, 12, 6, 9, 7, 0, 0, 60, true}};
  VirtualTimerFactory timers{time};
  VirtualLineServer net{time};
  MailPorts ports{net, timers, mailClock, "ti.example"};
  SmtpServer smtp;
  Pop3Server pop3;
  std::vector<std::pair<SessionId, std::function<void(ServiceSession&)>>> queued;
  int applied = 0;  // commands that reached a session
};

TEST_F(MailServiceTest, AWholeSendWithAndWithoutEhlo) {
  for (const bool ehlo : {true, false}) {
    SCOPED_TRACE(ehlo ? "EHLO" : "HELO");
    smtp.ehlo = ehlo;
    const std::size_t events = h.ui.events.size();
    Write("bob@example.net", "Hallo Bob", "Wie geht es Dir?");
    EXPECT_THAT(std::vector(h.ui.events.begin() + events, h.ui.events.end()),
                ElementsAre("anna sendet eine Mail an bob@example.net"));
    Settle();
    EXPECT_EQ(Text(C("anna").Expect()), Says("Die Mail wurde erfolgreich versendet."));
    EXPECT_EQ(Title("anna", C("anna").Key(0)), "E-Mail");
    EXPECT_EQ(State().Mail, nullptr) << "released at the end";

    std::vector<std::string> opening = {"EHLO ti.example"};
    if (ehlo) {
      opening.insert(opening.end(),
                     {"AUTH LOGIN", Base64Encode("anna@example.org"), Base64Encode("geheim")});
    } else {
      opening.push_back("HELO ti.example");
    }
    std::vector<std::string> expected = opening;
    expected.insert(expected.end(),
                    {"MAIL FROM:<anna@example.org>", "RCPT TO:<bob@example.net>", "DATA",
                     "Reply-To: antwort@example.org", "From: Anna <anna@example.org>",
                     "To: bob@example.net", "Subject: Hallo Bob", "Sender: Anna <anna@example.org>",
                     "Mime-Version: 1.0", "Content-Type: text/plain; charset=\"iso-8859-1\"",
                     "Date: Sun, 6 Dec 2026 09:07:00 +0100", "", "Wie geht es Dir?", ".", "QUIT"});
    const std::vector<std::string>& sent = Sent(net.Peers().size() - 1);
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(net.Peers().back()->Host(), "smtp.example");
    EXPECT_EQ(net.Peers().back()->Service(), "smtp");
  }
  EXPECT_FALSE(h.Logged("sendet eine Mail")) << "the event list only";
}

TEST_F(MailServiceTest, TheFetchTakesTheNewestMessagesAndReplacesTheList) {
  const struct {
    int messages;
    int maxMailCount;
    int first;  // first message fetched; 0: none
  } cases[] = {{20, 15, 5}, {15, 15, 1}, {0, 15, 0}, {3, 0, 3}, {5, -3, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.messages) + " messages, MaxMailCount " +
                 std::to_string(c.maxMailCount));
    h.settings.MaxMailCount = c.maxMailCount;
    pop3.mailbox.clear();
    for (int i = 1; i <= c.messages; ++i)
      pop3.mailbox.push_back(Message("Nr " + std::to_string(i), "Text " + std::to_string(i)));

    EXPECT_EQ(Text(Run("IDgetmail")), Says("Der POP3-Posteingang wurde erfolgreich abgerufen."));
    std::vector<std::string> retrieved;
    for (int n = c.first; n >= 1 && n <= c.messages; ++n)
      retrieved.push_back("RETR " + std::to_string(n));
    std::vector<std::string> expected = {"USER anna", "PASS pop-geheim", "STAT", "LIST"};
    expected.insert(expected.end(), retrieved.begin(), retrieved.end());
    expected.push_back("QUIT");
    EXPECT_EQ(Sent(net.Peers().size() - 1), expected);

    // The inbox, newest first, and nothing left of an earlier fetch.
    const Screen inbox = C("anna").Key(0);
    EXPECT_EQ(S("anna").Screen().LongMenu().Title, "E-Mails lesen");
    std::vector<std::string> captions;
    for (int n = c.messages; c.first > 0 && n >= c.first && captions.size() < 7; --n)
      captions.push_back("Nr " + std::to_string(n));
    if (captions.size() < 7) captions.push_back(Calc("anna", "zurück"_cp));
    EXPECT_THAT(Captions("anna", inbox), ElementsAreArray(captions));
    ASSERT_EQ(State().Mails.size(), retrieved.size());
    for (std::size_t i = 0; i < State().Mails.size(); ++i) {
      EXPECT_EQ(State().Mails[i].Text, "Text " + std::to_string(c.first + static_cast<int>(i)));
    }
  }
}

TEST_F(MailServiceTest, HeadersBodyInboxReadingAndTheNextMail) {
  const std::string longSubject(120, 's');
  pop3.mailbox = {
      {"From: Carla <carla@example.com>", "Subject:" + longSubject,
       "Received: from mx.example by pop.example; Mon, 1 Dec 2025", "", "erste"},
      {"Return-Path: <bounce@example.net>", "From: Bob <bob@example.net>",
       "Reply-To: bob.antwort@example.net", "In-Reply-To: <42@example.org>",
       "Date: Mon, 1 Dec 2025 10:00:00 +0100", "", "Hallo", "Welt", ".", "Subject: im Text"},
      {"From: dora@example.de", "Subject: Ein sehr langer Betreff", "", "dritte"},
  };
  Run("IDgetmail");
  ASSERT_EQ(State().Mails.size(), 3u);
  const TMail& first = State().Mails[0];
  EXPECT_EQ(first.Subject, ("Subject:" + longSubject).substr(0, 100)) << "no blank: the line";
  EXPECT_EQ(first.From, "Carla <carla@example.com>") << "the lower-case from does not match";
  EXPECT_EQ(first.Date, "");
  const TMail& second = State().Mails[1];
  EXPECT_EQ(second.Subject, "") << "a Subject line in the body is text";
  EXPECT_EQ(second.From, "Bob <bob@example.net>");
  EXPECT_EQ(second.ReplyTo, "<42@example.org>") << "In-Reply-To comes later and overwrites";
  EXPECT_EQ(second.Date, "Mon, 1 Dec 2025 10:00:00 +0100");
  EXPECT_EQ(second.Text, "HalloWelt.Subject: im Text");

  const Screen inbox = C("anna").Key(0);
  EXPECT_THAT(Captions("anna", inbox),
              ElementsAre("Ein sehr lange", Calc("anna", "<kein Betreff>"),
                          ("Subject:" + longSubject).substr(0, 14), Calc("anna", "zurück"_cp)));
  // The top item is the newest mail, numbered by its index.
  C("anna").Choose(1);
  EXPECT_EQ(Whole(), WholeOf("Mail 3\nvon: dora@example.de\ngesendet: \nBetreff:Ein sehr langer "
                             "Betreff\nText:\ndritte"));
  EXPECT_EQ(State().CurrentMail, 2);
  const Screen after = C("anna").Key(0);
  Pick("anna", after, "Nächste Mail"_cp);
  EXPECT_EQ(Whole(), WholeOf("Mail 1\nvon: Carla <carla@example.com>\ngesendet: \nBetreff:" +
                             ("Subject:" + longSubject).substr(0, 100) + "\nText:erste"))
      << "wraps to the first, without a break after Text:";
  Do("anna", "IDmailnext");
  EXPECT_EQ(Whole(), WholeOf("Mail 2\nvon: Bob <bob@example.net>\ngesendet: Mon, 1 Dec 2025 "
                             "10:00:00 +0100\nBetreff:\nText:HalloWelt.Subject: im Text"));
  // An index beyond the list shows the first mail.
  Do("anna", "IDshowmail", 7);
  EXPECT_THAT(Whole(), ::testing::StartsWith("Mail 1"));
  EXPECT_EQ(State().CurrentMail, 0);
}

// A message far longer than a calculator shows, and a list far longer than the mailbox: the mail
// keeps its headers and the start of its text, marked as cut, the log names only the messages
// fetched, and the session gets a few commands, not one per line.
TEST_F(MailServiceTest, AHugeMessageAndAHugeListAreCutDown) {
  h.settings.MaxMailCount = 1;
  std::vector<std::string> huge = {"From: bob@example.net", "Subject: Riesig", ""};
  huge.insert(huge.end(), 3000, std::string(100, 'x'));
  pop3.mailbox = {Message("Alt", "alt"), Message("Eins", "eins"), huge};
  pop3.extraListLines = 5000;
  Run("IDgetmail");
  ASSERT_EQ(State().Mails.size(), 2u);
  EXPECT_EQ(State().Mails[0].Text, "eins");
  EXPECT_EQ(State().Mails[1].Subject, "Riesig");
  const std::string& text = State().Mails[1].Text;
  EXPECT_EQ(text.find_first_not_of('x'), 4096u);
  EXPECT_EQ(text.substr(std::min<std::size_t>(text.size(), 4096)), "\n[gekürzt]"_cp);
  const std::string log = h.LogContents();
  std::size_t listed = 0;
  for (auto at = log.find(" L"); at != std::string::npos; at = log.find(" L", at + 1))
    listed += log.compare(at, 7, " L\xe4nge:") == 0;
  EXPECT_EQ(listed, 2u) << "messages 2 and 3 only";
  EXPECT_LT(applied, 20);
}

TEST_F(MailServiceTest, AReplyTakesTheAddressOrAsksForOne) {
  EXPECT_EQ(Text(Do("anna", "IDmailreply")), Says("Fehler im Server Mail existiert nicht mehr."));
  pop3.mailbox = {{"Subject: Frage", "Reply-To: bob@example.net", "", "?"},
                  {"Subject: Ohne", "From: carla@example.com", "", "!"}};
  Run("IDgetmail");

  Do("anna", "IDshowmail", 0);
  const Screen text = Do("anna", "IDmailreply");
  ASSERT_EQ(text.kind, KindInputScreen);
  EXPECT_EQ(text.AsInput().current, "");
  EXPECT_EQ(S("anna").GetInputValue("emailrcpt"), "bob@example.net");
  EXPECT_EQ(S("anna").GetInputValue("emailsubj"), "Re: Frage");

  Do("anna", "IDshowmail", 1);
  EXPECT_EQ(Text(Do("anna", "IDmailreply")), Says("Keine Antwortadresse."));
  const Screen address = C("anna").Key(0);
  ASSERT_EQ(address.kind, KindInputScreen);
  EXPECT_EQ(address.AsInput().current, "");
  EXPECT_EQ(C("anna").Enter("carla@example.com").AsInput().current, "Re: Ohne");
}

TEST_F(MailServiceTest, RefusalsBeforeAnythingIsSent) {
  const struct {
    std::string text, recipient, action, screen;
  } cases[] = {
      {"", "bob@example.net", "IDsendmail", "Du hast noch keinen Text eingegeben."},
      {"Hallo", "", "IDsendmail", std::string("Du hast noch keinen Empfänger eingegeben."_cp)},
      {"Hallo", "bob@example.net", "IDsendsms",
       std::string(
           "Fehler im Server SMS konnte nicht gesendet werden: Option nicht verfügbar."_cp)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.screen);
    S("anna").PutInputValue("emailtext", c.text);
    S("anna").PutInputValue("emailrcpt", c.recipient);
    EXPECT_EQ(Text(Do("anna", c.action)), Says(c.screen));
  }
  // A server without mail ports says so for both conversations.
  h.mail = nullptr;
  h.AddUser("ANNA2");
  Join("anna2");
  for (const char* action : {"IDsendmail", "IDgetmail"}) {
    S("anna2").PutInputValue("emailtext", "Hallo");
    S("anna2").PutInputValue("emailrcpt", "bob@example.net");
    EXPECT_EQ(
        Words("anna2", Do("anna2", action)),
        Expected("anna2", "Fehler im Server E-Mail ist auf diesem Server nicht eingerichtet."));
  }
  EXPECT_TRUE(net.Peers().empty());
  EXPECT_TRUE(h.ui.events.empty());
}

TEST_F(MailServiceTest, EveryFailingStepEndsInItsErrorScreenAndFreesTheSession) {
  const struct {
    std::string at, reply;
  } smtpSteps[] = {{"greeting", "554 5.3.2 nicht jetzt"}, {"AUTH", "504 5.5.4 nicht so"},
                   {"password", "535 5.7.8 abgelehnt"},   {"MAIL", "550 5.7.1 Absender nein"},
                   {"RCPT", "550 5.1.1 unbekannt"},       {"DATA", "554 5.5.1 keine Daten"},
                   {".", "552 5.3.4 zu gross"},           {"QUIT", "500 5.5.2 was?"}};
  S("anna").PutInputValue("emailtext", "Hallo");
  S("anna").PutInputValue("emailrcpt", "bob@example.net");
  for (const auto& step : smtpSteps) {
    SCOPED_TRACE("SMTP " + step.at);
    smtp = SmtpServer{.failAt = step.at, .failReply = step.reply};
    EXPECT_EQ(Text(Run("IDsendmail")), Says("Fehler im Server SMTP-Fehler:\n" + step.reply));
    EXPECT_EQ(State().Mail, nullptr);
    EXPECT_TRUE(h.Logged("SERVER-ERR:SMTP-Fehler:\n" + step.reply));
  }
  smtp = SmtpServer{};

  const struct {
    std::string at;
  } pop3Steps[] = {{"greeting"}, {"USER"}, {"PASS"}, {"STAT"}, {"LIST"}, {"RETR"}, {"QUIT"}};
  pop3.mailbox = {Message("Eins", "eins")};
  for (const auto& step : pop3Steps) {
    SCOPED_TRACE("POP3 " + step.at);
    pop3.failAt = step.at;
    pop3.failReply = "-ERR " + step.at + " geht nicht";
    EXPECT_EQ(Text(Run("IDgetmail")), Says("Fehler im Server POP3-Fehler:\n" + pop3.failReply));
    EXPECT_EQ(State().Mail, nullptr);
  }

  // Refused connections, and hosts that cannot even be tried.
  net.SetConnectMode(VirtualLineServer::ConnectMode::Refuse, "Connection refused");
  EXPECT_THAT(Text(Run("IDsendmail")), HasSubstr(Says("Fehler im Server SMTP-Fehler:")));
  EXPECT_THAT(Text(Run("IDgetmail")), HasSubstr(Says("Fehler im Server POP3-Fehler:")));
  Anna().SmtpHost = "";
  Anna().Pop3Host = "pop3s://";
  const std::size_t peers = net.Peers().size();
  for (const char* action : {"IDsendmail", "IDgetmail"}) {
    S("anna").PerformAction(S("anna").ParseAction(0, action));
    EXPECT_THAT(Text(C("anna").Expect()),
                HasSubstr(Says(std::string("Fehler im Server Exception on opening ") +
                               (action[2] == 's' ? "smtp" : "pop3") + " connection")));
    EXPECT_EQ(State().Mail, nullptr);
  }
  EXPECT_EQ(net.Peers().size(), peers);
}

TEST_F(MailServiceTest, AServerThatFallsSilentTimesOutInVirtualTime) {
  S("anna").PutInputValue("emailtext", "Hallo");
  S("anna").PutInputValue("emailrcpt", "bob@example.net");
  smtp = SmtpServer{.failAt = "RCPT", .silent = true};
  Start("IDsendmail");
  const std::int64_t started = time.NowUs();
  Settle();
  EXPECT_GE(time.NowUs() - started, 30 * kSecond);
  EXPECT_LT(time.NowUs() - started, 31 * kSecond);
  const std::string screen = Text(C("anna").Expect());
  EXPECT_THAT(screen, HasSubstr(Says("Fehler im Server SMTP-Fehler:\n500 ")));
  EXPECT_THAT(screen, HasSubstr("RCPT"));
  EXPECT_TRUE(net.Peers().back()->ClosedByClient());
}

TEST_F(MailServiceTest, ASessionThatLeavesWhileItsConversationRunsIsNeverTouched) {
  pop3.mailbox = {Message("Eins", "eins"), Message("Zwei", "zwei")};
  for (const bool commandQueued : {false, true}) {
    SCOPED_TRACE(commandQueued ? "an event already queued" : "waiting for the server");
    if (commandQueued) Join("anna");
    Start("IDgetmail");
    // Into the conversation: an event on its way to the session, or, once that has been
    // applied, the client waiting for the server's next reply.
    while (queued.empty() && time.RunNextBatch()) {
    }
    ASSERT_FALSE(queued.empty());
    if (!commandQueued) ApplyQueued();
    const int before = applied;
    table.UnregisterMe(table.IndexOf(S("anna").Id()));
    Settle();
    EXPECT_EQ(applied, before) << "nothing reached the session";
    EXPECT_TRUE(net.Peers().back()->ClosedByClient()) << "the conversation ended with it";
    EXPECT_EQ(time.PendingTasks(), 0u) << "no timer left behind";
  }
}

TEST_F(MailServiceTest, ASecondConversationWhileOneRunsIsRefusedAndTheFirstGoesOn) {
  pop3.mailbox = {Message("Eins", "eins")};
  S("anna").PutInputValue("emailtext", "Hallo");
  S("anna").PutInputValue("emailrcpt", "bob@example.net");
  const struct {
    std::string first, busy, done;
  } cases[] = {
      {"IDgetmail", std::string("Es läuft schon ein Mail-Abruf."_cp),
       "Der POP3-Posteingang wurde erfolgreich abgerufen."},
      {"IDsendmail", std::string("Es läuft schon ein Mail-Versand."_cp),
       "Die Mail wurde erfolgreich versendet."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    const std::size_t peers = net.Peers().size();
    Start(c.first);
    time.RunFor(kSecond / 100);
    ApplyQueued();
    for (const char* again : {"IDgetmail", "IDsendmail"}) {
      EXPECT_EQ(Text(Do("anna", again)), Says(c.busy));
    }
    Settle();
    EXPECT_EQ(Text(C("anna").Expect()), Says(c.done));
    EXPECT_EQ(net.Peers().size(), peers + 1);
  }
}

TEST_F(MailServiceTest, TypedLineBreaksStayInsideTheirLines) {
  Write("bob@example.net\r\nRCPT TO:<eve@example.com>", "Hallo\r\nBcc: eve@example.com",
        "Zeile 1\r\n.\r\nQUIT\nZeile 4");
  Settle();
  EXPECT_EQ(Text(C("anna").Expect()), Says("Die Mail wurde erfolgreich versendet."));
  EXPECT_THAT(h.ui.events,
              ElementsAre("anna sendet eine Mail an bob@example.net RCPT TO:<eve@example.com>"));
  const std::vector<std::string>& sent = Sent(0);
  EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                          [](const std::string& l) { return l.starts_with("RCPT"); }),
            1);
  // Only the end of the data is a lone dot, and the session's own QUIT follows it.
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "."), 1);
  EXPECT_THAT(std::vector(sent.end() - 2, sent.end()), ElementsAre(".", "QUIT"));
  EXPECT_THAT(sent, ::testing::Contains("Subject: Hallo Bcc: eve@example.com"));
  // The whole text arrived inside the mail, the lone dot stuffed.
  const std::vector<std::string> body(smtp.data.end() - 4, smtp.data.end());
  EXPECT_THAT(body, ElementsAre("Zeile 1", "..", "QUIT", "Zeile 4"));
  for (const std::string& line : smtp.data)
    EXPECT_FALSE(line.starts_with("Bcc:")) << line;

  // Account fields with line breaks cannot add POP3 commands either.
  Anna().Pop3User = "anna\r\nDELE 1";
  Run("IDgetmail");
  EXPECT_THAT(Sent(1), ElementsAre("USER anna DELE 1", "PASS pop-geheim", "STAT", "LIST", "QUIT"));
}

}  // namespace
}  // namespace velora
