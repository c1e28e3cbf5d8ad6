// Accounts and administration: name folding, new accounts, the user list, choosing and kicking a
// user, a new password, and that only an administrator's session runs the administration.
#include <gtest/gtest.h>

#include "services_fixture.h"

namespace velora {
namespace {

using testing::Screen;

class AdminTest : public testing::ServicesTest {
 protected:
  AdminTest() {
    chef = h.AddUser("CHEF", "chef", true);
    gast = h.AddUser("GAST", "gast");
    h.AddUser("ABCDEFGHIJ", "x");
  }
  // The administrator's calculator (a TI 86) on the administration menu.
  Screen AdminMenu() { return Pick("chef", Join("chef", 0x86), "Verwaltung"); }

  int chef = 0;
  int gast = 0;
  const std::string refused{"Diese Aktion ist nur für Administratoren."_cp};
};

TEST_F(AdminTest, NamesFoldOnlyTheLettersAToZ) {
  h.AddUser(std::string("MÖWE"_cp));
  const struct {
    std::string name;
    bool found;
  } cases[] = {{std::string("möwe"_cp), false},
               {std::string("mÖwe"_cp), true},
               {std::string("MÖWE"_cp), true},
               {"gAsT", true}};
  for (const auto& c : cases) {
    EXPECT_EQ(UserExists(h.users, c.name), c.found) << c.name;
    // A registration under the name meets the same rule.
    EXPECT_EQ(Join(c.name).kind, c.found ? KindMenuScreen : KindTextScreen) << c.name;
    for (Tuserdata& user : h.users)
      user.Online = false;
  }
  // And so does a message to it.
  S("gAsT").PutInputValue("msgrcpt", "möwe"_cp);
  EXPECT_EQ(Words("gAsT", Do("gAsT", "IDsendmessage")),
            Expected("gAsT", "Der Benutzername MöWE existiert nicht."_cp));
  EXPECT_EQ(MessageCount(), 0);
}

TEST_F(AdminTest, CreateUser) {
  const struct {
    std::string typed;
    std::string screen;
    bool created;
  } cases[] = {
      {"Neu", "User NEU was created. Password:Neu", true},
      {"gast", "User gast already exists.", false},
      {"Gast", "User Gast already exists.", false},
      {"", "Der neue Nutzer braucht einen Namen.", false},
  };
  Screen menu = AdminMenu();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    const std::size_t before = h.users.size();
    h.ui.events.clear();
    EXPECT_EQ(Pick("chef", menu, "Nutzer anlegen").kind, KindInputScreen);
    EXPECT_EQ(Words("chef", C("chef").Enter(c.typed)), Expected("chef", c.screen));
    ASSERT_EQ(h.users.size(), before + (c.created ? 1 : 0));
    if (c.created) {
      const Tuserdata& user = h.users.back();
      EXPECT_EQ(user.Name, AsciiUpper(c.typed));
      EXPECT_EQ(user.Password, c.typed) << "the first password is the name as typed";
      EXPECT_FALSE(user.IsAdmin);
      EXPECT_FALSE(user.Online);
      EXPECT_TRUE(user.Messages.empty());
      EXPECT_EQ(h.ui.events, std::vector<std::string>{"User " + c.typed + " was created by chef"});
      EXPECT_FALSE(h.Logged("was created by")) << "an event list line only";
    } else {
      EXPECT_TRUE(h.ui.events.empty());
    }
    menu = C("chef").Key(0);
    EXPECT_EQ(Title("chef", menu), "Verwaltung");
  }
  EXPECT_EQ(Join("neu").kind, KindMenuScreen) << "the new account can be used at once";
}

TEST_F(AdminTest, UserListMarksOnlineUsersAndLeadsAdministratorsToTheEditPage) {
  Join("gast");
  h.users.back().Online = true;  // ABCDEFGHIJ: the name is cut before the mark
  const Screen list = Pick("chef", AdminMenu(), "Nutzer wählen"_cp);
  EXPECT_EQ(Title("chef", list), "List users");
  EXPECT_EQ(Captions("chef", list),
            (std::vector<std::string>{"CHEF     O", "GAST     O", "ABCDEFGH O",
                                      Calc("chef", "zurück"_cp)}));
  const std::vector<TAction>& actions = S("chef").Screen().PageActions();
  ASSERT_EQ(actions.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(actions[i].Number, ActionEditUser);
    EXPECT_EQ(actions[i].Param, i);
  }
  EXPECT_EQ(actions[3].Target, "menuadminedituser");

  // An ordinary user sees the same names, each item leading to the main menu only, and goes
  // back to the page the list was opened from.
  Pick("gast", C("gast").Choose(0), "Nachrichten");
  EXPECT_EQ(Captions("gast", Do("gast", "IDlistusers")).size(), 4u);
  const std::vector<TAction>& plain = S("gast").Screen().PageActions();
  ASSERT_EQ(plain.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(plain[i].Number, ActionMenuMain);
    EXPECT_EQ(plain[i].Param, i);
  }
  EXPECT_EQ(plain[3].Target, "menumessage");
  EXPECT_EQ(Title("gast", C("gast").Choose(2)), Calc("gast", "Hauptmenü"_cp));
}

TEST_F(AdminTest, KickOnlineAndOfflineUsers) {
  Join("gast", 0x86);
  Pick("chef", AdminMenu(), "Nutzer wählen"_cp);
  Screen edit = C("chef").Choose(2);  // GAST
  EXPECT_EQ(S("chef").State().EditUserIndex, gast);
  EXPECT_EQ(Words("chef", Pick("chef", edit, "Kicken")),
            Expected("chef", "User GAST wird gekickt."));
  EXPECT_NE(Words("gast", C("gast").Expect()).find("vom Administrator abgemeldet"),
            std::string::npos);
  EXPECT_EQ(C("gast").Key(0).kind, KindLogoutAck) << "the kick page logs the calculator out";

  Pick("chef", C("chef").Key(0), "Nutzer wählen"_cp);
  edit = C("chef").Choose(3);  // ABCDEFGHIJ, offline
  EXPECT_EQ(Words("chef", Pick("chef", edit, "Kicken")),
            Expected("chef", "Nutzer ABCDEFGHIJ ist nicht online."));
  EXPECT_EQ(Title("chef", C("chef").Key(0)), "Verwaltung");
}

TEST_F(AdminTest, IndexesOutOfRangeAreErrorsNotOtherAccounts) {
  Join("chef", 0x86);
  for (std::int32_t param : {-1, 3, 1 << 30}) {
    SCOPED_TRACE(param);
    EXPECT_EQ(Words("chef", Do("chef", "IDedituser", param)),
              Expected("chef", "Fehler im Server Nutzer existiert nicht."));
    EXPECT_EQ(S("chef").State().EditUserIndex, 0);
    EXPECT_EQ(C("chef").Key(0).kind, KindMenuScreen);
  }
  S("chef").State().EditUserIndex = 7;
  EXPECT_EQ(Words("chef", Do("chef", "IDkickuser")),
            Expected("chef", "Fehler im Server Nutzer existiert nicht."));
  EXPECT_TRUE(h.Logged("SERVER-ERR:Nutzer existiert nicht."));
}

// Whatever reaches a session that is not an administrator's (a page linking the administration
// by mistake, a crafted action with any list index) runs no administration.
TEST_F(AdminTest, OnlyAdministratorsAdminister) {
  Join("gast");
  const std::size_t accounts = h.users.size();

  S("gast").LoadContentFile("menuadmin");
  EXPECT_EQ(Pick("gast", C("gast").Expect(), "Nutzer anlegen").kind, KindInputScreen);
  EXPECT_EQ(Words("gast", C("gast").Enter("boss")), Expected("gast", refused));
  EXPECT_EQ(h.users.size(), accounts);
  EXPECT_TRUE(h.Logged("refused idcreateuser for gast: not an administrator"));
  EXPECT_EQ(C("gast").Key(0).kind, KindMenuScreen);

  for (std::int32_t param : {0, 1, 2, 99}) {
    SCOPED_TRACE(param);
    EXPECT_EQ(Words("gast", Do("gast", "IDedituser", param)), Expected("gast", refused));
    EXPECT_EQ(S("gast").State().EditUserIndex, 0);
  }
  Join("chef");
  S("gast").State().EditUserIndex = chef;
  EXPECT_EQ(Words("gast", Do("gast", "IDkickuser")), Expected("gast", refused));
  EXPECT_FALSE(C("chef").Next(50)) << "the administrator was not kicked";

  // A session refused at registration acts for nobody, not even for the account of its name.
  EXPECT_EQ(Join("chef").kind, KindTextScreen);
  S("chef").PutInputValue("temp", "boss");
  EXPECT_EQ(Words("chef", Do("chef", "IDcreateuser")),
            Expected("chef", "chef ist bereits online."));
  EXPECT_EQ(h.users.size(), accounts);
}

TEST_F(AdminTest, AnAdministratorMustHaveLoggedInWhereALoginIsRequired) {
  h.settings.LoginRequired = true;
  EXPECT_EQ(Join("chef").kind, KindInputScreen);
  S("chef").PutInputValue("temp", "boss");
  const std::size_t accounts = h.users.size();
  EXPECT_EQ(Do("chef", "IDcreateuser").kind, KindInputScreen) << "the login page instead";
  EXPECT_EQ(h.users.size(), accounts);
  C("chef").Enter("chef");
  C("chef").Key(0);
  EXPECT_EQ(Words("chef", Do("chef", "IDcreateuser")),
            Expected("chef", "User BOSS was created. Password:boss"));
}

TEST_F(AdminTest, ChangePassword) {
  Join("gast");
  const struct {
    std::string first;
    std::string second;
    std::string screen;
    std::string password;
  } cases[] = {
      {"neu", "Neu", std::string("Die beiden eingegebenen Paßwörter stimmen nicht überein."_cp),
       "gast"},
      {"Neu 1", "Neu 1", std::string("Das Paßwort wurde geändert."_cp), "Neu 1"},
      {"", "", std::string("Das Paßwort wurde geändert."_cp), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first + "/" + c.second);
    const Screen settings = Pick("gast", C("gast").Choose(0), "Einstellungen");
    EXPECT_EQ(Pick("gast", settings, "Paßwort ändern"_cp).kind, KindInputScreen);
    EXPECT_EQ(C("gast").Enter(c.first).kind, KindInputScreen);
    EXPECT_EQ(Words("gast", C("gast").Enter(c.second)), Expected("gast", c.screen));
    EXPECT_EQ(h.users[gast].Password, c.password);
    EXPECT_EQ(Title("gast", C("gast").Key(0)), Title("gast", settings)) << "back to the settings";
  }
  EXPECT_EQ(h.users[chef].Password, "chef") << "no other account changes";
}

}  // namespace
}  // namespace velora
