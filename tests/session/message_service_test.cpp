// Messages between users: sending to oneself, to an online or offline user and to a name without
// account; the list, opening, deleting and answering; the greeting's count of unread messages.
#include <gtest/gtest.h>

#include "services_fixture.h"
#include "store/users_format.h"

namespace velora {
namespace {

using testing::Screen;

class MessageTest : public testing::ServicesTest {
 protected:
  MessageTest() {
    for (const char* name : {"ANNA", "BERT", "CARL", "DORA"})
      h.AddUser(name, AsciiLower(name));
  }
  Tuserdata& User(std::string_view name) {
    return h.users[static_cast<std::size_t>(FindUser(h.users, name))];
  }
  // From the message menu through the two input fields; the screen after.
  Screen Send(const std::string& from, std::string_view to, std::string_view text) {
    EXPECT_EQ(Pick(from, Do(from, "menumessage"), "Schreiben").kind, KindInputScreen);
    EXPECT_EQ(C(from).Enter(to).kind, KindInputScreen);
    return C(from).Enter(text);
  }
  Screen Inbox(const std::string& name) { return Pick(name, Do(name, "menumessage"), "Lesen"); }
  void Store(std::string_view to, std::string_view from, std::string_view text) {
    User(to).Messages.push_back({std::string(from), std::string(text), "05.12.2026 20:00:00"});
  }
};

TEST_F(MessageTest, SendingToOneselfAnOnlineAnOfflineUserAndNobody) {
  Join("anna");
  Join("bert", 0x86);
  const std::string offline(
      " ist nicht online. Die Nachricht wird gespeichert und bei nächster Gelegenheit gesendet."_cp);
  const struct {
    std::string to;
    std::vector<std::string> senderScreens;
    std::string notified;  // the other calculator told of the message
    std::string account;   // where it is stored
  } cases[] = {
      {"anna", {"Die Nachricht wird an ANNA versendet.", "Du hast Post."}, "", "ANNA"},
      {"bert", {"Die Nachricht wird an BERT versendet."}, "bert", "BERT"},
      {"cArL", {"CARL" + offline}, "", "CARL"},
      {"niemand", {"Der Benutzername NIEMAND existiert nicht."}, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.to);
    const int before = MessageCount();
    const std::size_t stored = c.account.empty() ? 0 : User(c.account).Messages.size();
    for (std::size_t k = 0; k < c.senderScreens.size(); ++k) {
      const Screen screen = k == 0 ? Send("anna", c.to, "Hallo " + c.to) : C("anna").Key(0);
      EXPECT_EQ(Words("anna", screen), Expected("anna", c.senderScreens[k]));
    }
    if (!c.notified.empty()) {
      EXPECT_EQ(Words(c.notified, C(c.notified).Expect()), Expected(c.notified, "Du hast Post."));
      EXPECT_EQ(Title(c.notified, C(c.notified).Key(0)), Calc(c.notified, "Hauptmenü"_cp))
          << "back to the page it was on";
    } else {
      EXPECT_FALSE(C("bert").Next(50));
    }
    EXPECT_EQ(Title("anna", C("anna").Key(0)), "Nachrichten");
    if (c.account.empty()) {
      EXPECT_EQ(MessageCount(), before) << "nothing is stored";
      continue;
    }
    ASSERT_EQ(User(c.account).Messages.size(), stored + 1);
    const Tmessage& m = User(c.account).Messages.back();
    EXPECT_EQ(m.Sender, "anna");
    EXPECT_EQ(m.Text, "Hallo " + c.to);
    EXPECT_EQ(m.Time, "06.12.2026 09:07:00");
    EXPECT_FALSE(m.Read);
  }
}

TEST_F(MessageTest, TheGreetingCountsWhatArrivedWhileOffline) {
  Join("anna");
  Send("anna", "carl", "Eins");
  Send("anna", "carl", "Zwei");
  User("CARL").Messages[0].Read = true;
  h.settings.LoginRequired = true;
  S("anna").MarkLoggedIn();
  EXPECT_EQ(Join("carl").kind, KindInputScreen);
  EXPECT_EQ(Words("carl", C("carl").Enter("carl")),
            Expected("carl", "Guten Morgen carl! Du hast eine ungelesene Nachricht."));
  Send("anna", "carl", "Drei");
  EXPECT_FALSE(C("carl").Next(50)) << "the greeting is read first";
  EXPECT_EQ(Words("carl", C("carl").Key(0)), Expected("carl", "Du hast Post."));
}

TEST_F(MessageTest, ANoticeOverAConfirmationLeadsOnWhereTheConfirmationLed) {
  Join("anna");
  Join("bert");
  EXPECT_EQ(Words("bert", Send("bert", "carl", "Hallo")),
            Expected("bert",
                     "CARL ist nicht online. Die Nachricht wird gespeichert und bei "
                     "nächster Gelegenheit gesendet."_cp));
  Send("anna", "bert", "Hallo Bert");
  EXPECT_FALSE(C("bert").Next(50)) << "the confirmation is read first";
  EXPECT_EQ(Words("bert", C("bert").Key(0)), Expected("bert", "Du hast Post."));
  EXPECT_EQ(Title("bert", C("bert").Key(0)), "Nachrichten") << "not the text field once more";
  EXPECT_EQ(User("CARL").Messages.size(), 1u);
}

TEST_F(MessageTest, DeleteTwoOfThreeThenReply) {
  Store("BERT", "anna", "Erste Nachricht an Bert");
  Store("BERT", "carl", "Zweite");
  Store("BERT", "dora", "Dritte");
  Join("bert");
  Screen list = Inbox("bert");
  EXPECT_EQ(Title("bert", list), "Messages lesen");
  EXPECT_EQ(Captions("bert", list), (std::vector<std::string>{"Erste Nachrich", "Zweite", "Dritte",
                                                              Calc("bert", "zurück"_cp)}));
  EXPECT_EQ(Words("bert", C("bert").Choose(2)),
            Expected("bert", "Nachricht 2 von carl um 05.12.2026 20:00:00: Zweite"));
  EXPECT_TRUE(User("BERT").Messages[1].Read);
  EXPECT_FALSE(User("BERT").Messages[2].Read);

  const Screen after = C("bert").Key(0);
  EXPECT_EQ(Title("bert", after), "Nachricht");
  list = Pick("bert", Pick("bert", after, "Löschen"_cp), "Ja, löschen"_cp);
  EXPECT_EQ(Captions("bert", list),
            (std::vector<std::string>{"Erste Nachrich", "Dritte", Calc("bert", "zurück"_cp)}));
  EXPECT_EQ(S("bert").State().CurrentMessage, -1);
  EXPECT_EQ(Words("bert", C("bert").Choose(2)),
            Expected("bert", "Nachricht 2 von dora um 05.12.2026 20:00:00: Dritte"))
      << "the former third message is now the second";

  EXPECT_EQ(Pick("bert", C("bert").Key(0), "Antworten").kind, KindInputScreen);
  EXPECT_EQ(S("bert").GetInputValue("msgrcpt"), "dora");
  EXPECT_EQ(Words("bert", C("bert").Enter("Danke")),
            Expected("bert",
                     "DORA ist nicht online. Die Nachricht wird gespeichert und bei "
                     "nächster Gelegenheit gesendet."_cp));
  ASSERT_EQ(User("DORA").Messages.size(), 1u);
  EXPECT_EQ(User("DORA").Messages[0].Sender, "bert");
  EXPECT_EQ(User("DORA").Messages[0].Text, "Danke");
}

TEST_F(MessageTest, NoMessageOnDisplayIsAnErrorForShowDeleteAndReply) {
  Store("BERT", "anna", "Eins");
  Join("bert");
  const std::string gone = "Fehler im Server Nachricht existiert nicht mehr.";
  for (std::int32_t param : {-1, 1, 1 << 30}) {
    SCOPED_TRACE(param);
    EXPECT_EQ(Words("bert", Do("bert", "IDshowmessage", param)), Expected("bert", gone));
  }
  EXPECT_FALSE(User("BERT").Messages[0].Read);
  for (const char* action : {"IDmsgdelete", "IDmsgreply"})
    EXPECT_EQ(Words("bert", Do("bert", action)), Expected("bert", gone)) << action;
  EXPECT_EQ(User("BERT").Messages.size(), 1u);

  // Deleting the only message leads straight to the empty mailbox; then nothing is on display.
  Do("bert", "IDshowmessage", 0);
  EXPECT_EQ(Words("bert", Do("bert", "IDmsgdelete")),
            Expected("bert", "Sie haben keine Nachrichten."));
  EXPECT_EQ(Title("bert", C("bert").Key(0)), "Nachrichten");
  EXPECT_EQ(Words("bert", Do("bert", "IDmsgreply")), Expected("bert", gone));
}

// Typed text may hold any byte a calculator can send.
TEST_F(MessageTest, AnyBytesInATextAreStoredListedAndSaved) {
  Join("anna");
  Join("bert");
  const std::string text(
      "A\0B\rC\nD\xFF"
      "E",
      9);
  Send("anna", "bert", text);
  EXPECT_EQ(User("BERT").Messages.at(0).Text, text);
  C("bert").Expect();  // the notice
  const Screen list = Inbox("bert");
  EXPECT_EQ(list.ItemCount(), 2);
  const std::vector<std::string> captions = Captions("bert", list);
  ASSERT_EQ(captions.size(), 2u) << "a 0 byte does not split the caption";
  EXPECT_EQ(captions[0], Calc("bert", std::string("A B\rC\nD\xFF"
                                                  "E",
                                                  9)));
  const std::string shown = C("bert").Choose(1).Text();
  EXPECT_EQ(shown.find('\0'), std::string::npos) << "nor does it end the page early";
  EXPECT_NE(shown.find(Calc("bert", ": A B")), std::string::npos);

  // Line breaks inside stored values do not shift the lines of users.txt.
  UserTable loaded;
  std::int32_t uptime = 0;
  ParseUsersFile(FormatUsersFile(h.users, 5), loaded, uptime);
  ASSERT_EQ(loaded.size(), h.users.size());
  ASSERT_EQ(loaded[1].Messages.size(), 1u);
  EXPECT_EQ(loaded[1].Messages[0].Text, std::string("A\0B C D\xFF"
                                                    "E",
                                                    9));
  EXPECT_EQ(loaded[1].Messages[0].Sender, "anna");
  EXPECT_EQ(loaded[2].Name, "CARL");
}

}  // namespace
}  // namespace velora
