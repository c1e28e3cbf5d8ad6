// Login with the greeting of the hour and the count of unread messages, and logout.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/cp1252.h"
#include "session/process.h"
#include "session/screen.h"
#include "support/session_harness.h"

namespace velora {
namespace {

using testing::Calculator;
using testing::Harness;
using testing::Screen;

// TI 86 sessions without server-side wrapping: the greeting arrives as written, translated.
class LoginTest : public ::testing::Test {
 protected:
  LoginTest() {
    h.StandardPages();
    h.settings.NoWrap = true;
    gast = h.AddUser("GAST", "Geheim");
  }

  void Messages(int unread, int read) {
    for (int i = 0; i < unread + read; ++i) {
      Tmessage m;
      m.Sender = "anna";
      m.Text = "Hallo";
      m.Read = i >= unread;
      h.users[gast].Messages.push_back(m);
    }
  }

  // Registers as "gast" and logs in with the password; the screen that follows.
  Screen LogIn(std::string_view password = "Geheim") {
    s = h.Register("gast", 0x86);
    calc = std::make_unique<Calculator>(*s);
    EXPECT_EQ(calc->Expect().kind, KindInputScreen);
    return calc->Enter(password);
  }

  Screen GreetingAt(int hour, int minute) {
    h.clock.now.hour = hour;
    h.clock.now.minute = minute;
    return LogIn();
  }

  static std::string Calc(std::string_view pcText) { return TranslateText(pcText, 1); }

  Harness h;
  int gast = 0;
  std::unique_ptr<TProcess> s;
  std::unique_ptr<Calculator> calc;
};

TEST_F(LoginTest, GreetingFollowsTheHour) {
  Messages(2, 0);
  const std::pair<int, int> times[] = {{0, 0},  {5, 59},  {6, 0},  {10, 59}, {11, 0}, {15, 59},
                                       {16, 0}, {17, 59}, {18, 0}, {20, 59}, {21, 0}, {23, 59}};
  const char* greetings[] = {"Hallo Nachtschwärmer ",
                             "Hallo Nachtschwärmer ",
                             "Guten Morgen ",
                             "Guten Morgen ",
                             "Guten Tag ",
                             "Guten Tag ",
                             "Guten Nachmittag ",
                             "Guten Nachmittag ",
                             "Guten Abend ",
                             "Guten Abend ",
                             "Gute Nacht ",
                             "Gute Nacht "};
  for (std::size_t i = 0; i < std::size(times); ++i) {
    h.users[gast].Online = false;
    const Screen screen = GreetingAt(times[i].first, times[i].second);
    const std::string greeting = Utf8ToCp1252(greetings[i]);
    EXPECT_EQ(screen.Text(), Calc(greeting + "gast!\nDu hast 2 ungelesene Nachrichten."))
        << times[i].first << ":" << times[i].second;
  }
}

TEST_F(LoginTest, TheExampleOfAnAfternoon) {
  Messages(3, 2);
  h.settings.NoWrap = false;
  h.clock.now.hour = 14;
  h.clock.now.minute = 20;
  s = h.Register("gast", 0x82);
  calc = std::make_unique<Calculator>(*s);
  calc->Expect();
  const Screen screen = calc->Enter("Geheim");
  EXPECT_EQ(screen.Text(), std::string("Guten Tag gast! ") + "Du hast 3       " +
                               "ungelesene      " + "Nachrichten.");
}

TEST_F(LoginTest, OneUnreadMessageLeavesTwoBlanks) {
  Messages(1, 4);
  EXPECT_EQ(GreetingAt(12, 0).Text(), Calc("Guten Tag gast!\nDu hast  eine ungelesene Nachricht."));
  EXPECT_EQ(h.random.draws, 0) << "the chance is drawn only for no unread message";
}

TEST_F(LoginTest, NoUnreadMessageChoosesOneOfTwoTexts) {
  Messages(0, 3);
  h.random.values = {0.7};
  EXPECT_EQ(GreetingAt(12, 0).Text(), Calc("Guten Tag gast!\nDu hast keine ungelesene Nachricht."));
  EXPECT_EQ(h.random.draws, 1);
  h.users[gast].Online = false;
  h.random.values = {0.5};
  h.random.next = 0;
  EXPECT_EQ(GreetingAt(12, 0).Text(),
            Calc("Guten Tag gast!\nDu hast keine ungelesenen Nachrichten."))
      << "exactly one half is not greater than one half";
  h.users[gast].Online = false;
  h.random.values = {0.0};
  h.random.next = 0;
  EXPECT_EQ(GreetingAt(12, 0).Text(),
            Calc("Guten Tag gast!\nDu hast keine ungelesenen Nachrichten."));
}

TEST_F(LoginTest, SuccessLogsInClearsThePasswordAndLeadsToTheMainMenu) {
  Messages(2, 0);
  LogIn();
  EXPECT_TRUE(s->LoggedIn());
  EXPECT_EQ(s->GetInputValue("password"), "") << "the password does not stay in the session";
  ASSERT_EQ(s->Screen().PageActions().size(), 1u);
  EXPECT_EQ(s->Screen().PageActions()[0].Number, ActionMenuMain);
  EXPECT_EQ(calc->Key(0).kind, KindMenuScreen);
  for (const Tmessage& m : h.users[gast].Messages)
    EXPECT_FALSE(m.Read) << "the greeting only counts";
}

TEST_F(LoginTest, WrongPasswordLeadsBackToTheLoginPage) {
  const Screen wrong = LogIn("geheim");
  EXPECT_EQ(wrong.Text(), Calc("Das eingegebene Paßwort konnte leider nicht bestätigt werden."_cp))
      << "the comparison is case-sensitive";
  EXPECT_FALSE(s->LoggedIn());
  EXPECT_EQ(calc->Key(0).kind, KindInputScreen);
  // Without limit: the next attempt may succeed.
  const Screen again = calc->Enter("Geheim");
  EXPECT_TRUE(s->LoggedIn());
  EXPECT_EQ(again.Text().substr(0, 10), Calc("Guten Morg"));
}

TEST_F(LoginTest, EmptyPasswordMatchesAnEmptyOne) {
  h.users[gast].Password = "";
  LogIn("");
  EXPECT_TRUE(s->LoggedIn());
}

TEST_F(LoginTest, LoginAfterRestartOfASessionStartedWithoutLogin) {
  h.settings.LoginRequired = false;
  s = h.Register("gast", 0x86);
  calc = std::make_unique<Calculator>(*s);
  EXPECT_EQ(calc->Expect().kind, KindMenuScreen);
  calc->Send(KindRestart);
  EXPECT_EQ(calc->Expect().kind, KindInputScreen);
  calc->Enter("Geheim");
  EXPECT_TRUE(s->LoggedIn());
  calc->Key(0);
  calc->Send(KindRestart);
  EXPECT_EQ(calc->Expect().kind, KindMenuScreen) << "logged in, a restart reloads the menu";
}

TEST_F(LoginTest, LogoutActionEndsTheSession) {
  LogIn();
  calc->Key(0);
  const Screen end = calc->Choose(2);  // "Abmelden": IDlogout
  EXPECT_EQ(end.kind, KindLogoutAck);
  EXPECT_TRUE(s->LoggedOut());
  EXPECT_TRUE(s->HoldsOnlineMark()) << "the station table clears the mark when it removes us";
  // The reply that asked for the logout is not acknowledged separately: the confirmation is
  // the next packet, and it goes out whether or not the calculator is idle.
  s->Link().SetNoReplyCount(3);
  EXPECT_EQ(s->Link().NoReplyCount(), 3);
}

TEST_F(LoginTest, LogoutConfirmationIsTheVeryNextPacket) {
  LogIn();
  calc->Key(0);
  calc->Send(KindMenuReply, "\x02");
  EXPECT_FALSE(s->Link().AckOwed());
  EXPECT_EQ(s->NextPacket().Kind, KindLogoutAck);
  EXPECT_EQ(s->NextPacket().Kind, KindLogoutAck);
}

int Occurrences(const std::string& text, std::string_view part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}

// A login page that cannot be shown must not open the way to the menus, for no name: a built-in
// one of the same layout takes its place, whatever is wrong with "login.txt".
TEST_F(LoginTest, ABrokenLoginPageIsReplacedByABuiltInOne) {
  h.AddUser("CHEF", "Boss", true);
  h.Page("menumainadmin.txt", {"", "14", "", "0", "Admin", "Neu", "IDcreateuser"});
  const std::string login = h.settings.ContentDir + "login.txt";
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"missing", {}},
      {"unreadable", {}},
      {"a menu", {"", "14", "", "0", "Login", "Menue", "menumain", "Neu", "IDcreateuser"}},
      {"a text", {"", "11", "IDmenumain", "Willkommen"}},
      {"an unknown action",
       {"", "15", "1", "4", "Passwort:", "", "32", "IDanmelden", "IDlogout", "password", "16"}},
      {"cut short", {"", "15", "1", "4", "Passwort:", "", "32", "IDlogin"}},
  };
  for (const auto& [what, lines] : cases) {
    std::filesystem::remove_all(login);
    if (what == "unreadable") std::filesystem::create_directory(login);
    if (!lines.empty()) h.Page("login.txt", lines);
    for (const auto& [name, password] : {std::pair{"gast", "Geheim"}, std::pair{"chef", "Boss"}}) {
      SCOPED_TRACE(what + ", " + name);
      for (Tuserdata& user : h.users)
        user.Online = false;
      s = h.Register(name, 0x86);
      calc = std::make_unique<Calculator>(*s);
      const Screen first = calc->Expect();
      ASSERT_EQ(first.kind, KindInputScreen);
      const Screen::Input field = first.AsInput();
      EXPECT_EQ(field.promptRow, 1);
      EXPECT_EQ(field.fieldRow, 4);
      EXPECT_EQ(field.width, 16);
      EXPECT_EQ(field.maxLength, 32);
      EXPECT_EQ(field.prompt, Calc(BuiltInLoginPrompt));
      EXPECT_EQ(calc->Enter("falsch").kind, KindTextScreen);
      EXPECT_EQ(calc->Key(0).kind, KindInputScreen) << "back to the login, not to a menu";
      EXPECT_FALSE(s->LoggedIn());
      EXPECT_EQ(calc->Enter(password).kind, KindTextScreen);
      EXPECT_TRUE(s->LoggedIn());
      EXPECT_EQ(calc->Key(0).kind, KindMenuScreen);
    }
  }
  EXPECT_TRUE(h.Logged(std::string("SERVER-ERR:Login nicht verfügbar.\r\n"_cp)));
  EXPECT_TRUE(h.Logged("SERVER-ERR:Fehler im Content-File:die Login-Seite ist kein Eingabefeld"));
  EXPECT_TRUE(h.Logged("SERVER-ERR:Fehler im Content-File:unbekannte Aktion auf der Login-Seite"));
  for (Tuserdata& user : h.users)
    user.Online = false;
  s = h.Register("gast", 0x86);
  calc = std::make_unique<Calculator>(*s);
  calc->Expect();
  EXPECT_EQ(calc->Escape().kind, KindLogoutAck) << "its escape logs out";
}

// A login page whose actions point elsewhere, and the ways out of an error screen: before login
// each leads back to the login page. Without LoginRequired everything stays as it was.
TEST_F(LoginTest, BeforeLoginEveryWayLeadsBackToTheLoginPage) {
  h.Page("login.txt",
         {"", "15", "1", "3", "Passwort:", "", "16", "menumain", "IDcreateuser", "password", "12"});
  s = h.Register("gast", 0x86);
  calc = std::make_unique<Calculator>(*s);
  ASSERT_EQ(calc->Expect().kind, KindInputScreen);
  EXPECT_EQ(calc->Enter("egal").kind, KindInputScreen);
  EXPECT_EQ(calc->Escape().kind, KindInputScreen);
  s->ServerError("Test");
  EXPECT_EQ(calc->Expect().kind, KindTextScreen);
  EXPECT_EQ(calc->Key(0).kind, KindInputScreen) << "the error screen's way on";
  for (const char* action : {"IDmenumain", "hilfe", "IDjumpToPage", "IDunbekannt"}) {
    s->PerformAction(s->ParseAction(0, action));
    EXPECT_EQ(calc->Expect().kind, KindInputScreen) << action;
  }
  s->ShowMainMenu();
  EXPECT_EQ(calc->Expect().kind, KindInputScreen);
  s->LoadContentFile("hilfe");
  EXPECT_EQ(calc->Expect().kind, KindInputScreen);
  EXPECT_EQ(s->CurrentPageId(), "login.txt");
  EXPECT_FALSE(s->LoggedIn());
  EXPECT_EQ(h.users.size(), 1u);
  // An administrator's kick still shows its page, and the page's logout works.
  h.Page("kickme.txt", {"", "11", "IDlogout", "Tschuess"});
  s->LoadContentFile(KickFile);
  EXPECT_EQ(calc->Expect().Text().substr(0, 8), "Tschuess");
  EXPECT_EQ(calc->Key(0).kind, KindLogoutAck);

  h.users[gast].Online = false;
  h.settings.LoginRequired = false;
  s = h.Register("gast", 0x86);
  calc = std::make_unique<Calculator>(*s);
  ASSERT_EQ(calc->Expect().kind, KindMenuScreen);
  calc->Send(KindRestart);
  ASSERT_EQ(calc->Expect().kind, KindInputScreen);
  EXPECT_EQ(calc->Enter("egal").kind, KindMenuScreen) << "the page's own action, as before";
}

TEST_F(LoginTest, AfterFiveWrongPasswordsEachFurtherTryWaits) {
  s = h.Register("gast", 0x86);
  calc = std::make_unique<Calculator>(*s);
  calc->Expect();
  const std::string wrong =
      Calc("Das eingegebene Paßwort konnte leider nicht bestätigt werden."_cp);
  auto waitText = [](const std::string& rest) {
    return Calc("Zu viele Fehlversuche. Bitte warte noch " + rest);
  };
  auto attempt = [&](std::string_view password) {
    const Screen answer = calc->Enter(password);
    EXPECT_EQ(calc->Key(0).kind, KindInputScreen);
    return answer.Text();
  };
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(attempt("falsch"), wrong) << i;
  h.clock.tick += 1999;
  EXPECT_EQ(attempt("Geheim"), waitText("1 Sekunde.")) << "not checked during the wait";
  EXPECT_FALSE(s->LoggedIn());
  for (const std::uint32_t waitMs : {2000u, 4000u, 8000u, 16000u, 32000u, 60000u, 60000u}) {
    SCOPED_TRACE(waitMs);
    h.clock.tick += 1;  // the wait is over only now
    EXPECT_EQ(attempt("falsch"), wrong);
    const std::uint32_t next = std::min(waitMs * 2, 60000u);
    EXPECT_EQ(attempt("Geheim"), waitText(std::to_string(next / 1000) + " Sekunden."));
    h.clock.tick += next - 1;
  }
  h.clock.tick += 1;
  calc->Enter("Geheim");
  EXPECT_TRUE(s->LoggedIn());
  EXPECT_EQ(calc->Key(0).kind, KindMenuScreen);
  EXPECT_EQ(Occurrences(h.LogContents(), "5 wrong passwords in a row for gast"), 1);

  // The right password ends the streak: four more wrong ones cost no wait.
  s->LoadContentFile("login.txt");
  calc->Expect();
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(attempt("falsch"), wrong);
  EXPECT_EQ(Occurrences(h.LogContents(), "5 wrong passwords in a row"), 2) << "a new streak";
}

}  // namespace
}  // namespace velora
