// Dispatch: the action table, parsing action texts, unknown actions and numbers beyond the table,
// server errors and input values.
#include <gtest/gtest.h>

#include "common/cp1252.h"
#include "session/action.h"
#include "session/process.h"
#include "session/service_table.h"
#include "support/session_harness.h"

namespace velora {
namespace {

using testing::Calculator;
using testing::Flat;
using testing::Harness;
using testing::Screen;

using DispatchTest = testing::MainMenuSessionTest;

TEST(ActionTableTest, EveryIdHasItsNumber) {
  const std::pair<const char*, int> table[] = {
      {"sendmail", 1},      {"getmail", 2},       {"sendsms", 3},       {"posteingang", 4},
      {"motd", 5},          {"showmail", 6},      {"sendmessage", 7},   {"listmessages", 8},
      {"showmessage", 9},   {"login", 10},        {"logout", 11},       {"time", 12},
      {"transde", 13},      {"transed", 14},      {"msgdelete", 15},    {"msgreply", 16},
      {"mailreply", 17},    {"mailnext", 18},     {"menumain", 19},     {"kickuser", 20},
      {"createuser", 21},   {"listusers", 22},    {"edituser", 23},     {"jumptopage", 24},
      {"listfeedback", 25}, {"showfeedback", 26}, {"savefeedback", 27}, {"changepasswd", 28},
  };
  for (const auto& [id, number] : table)
    EXPECT_EQ(FindActionNumber(id), number) << id;
  EXPECT_EQ(FindActionNumber(""), -1) << "number 0 has no id";
  EXPECT_EQ(FindActionNumber("MENUMAIN"), -1) << "ids are looked up lower-cased";
  EXPECT_EQ(FindActionNumber("foo"), -1);
}

TEST_F(DispatchTest, ParseFoldsCaseAndTellsFilesFromServices) {
  for (const char* text : {"IDMenuMain", "idmenumain", "IDMENUMAIN"}) {
    const TAction a = s->ParseAction(0, text);
    EXPECT_EQ(a.Number, ActionMenuMain) << text;
    EXPECT_EQ(a.Target, "idmenumain");
  }
  const TAction file = s->ParseAction(51, "MenuMain");
  EXPECT_EQ(file.Number, ActionLoadFile);
  EXPECT_EQ(file.Target, "menumain");
  EXPECT_EQ(file.Key, 51);
  EXPECT_EQ(file.Param, 0);
  EXPECT_EQ(s->ParseAction(0, "IDjumpToPage").Number, ActionJumpToPage);
  EXPECT_EQ(s->ParseAction(0, "IDlogout").Number, ActionLogout);
  EXPECT_EQ(s->ParseAction(0, "i").Number, ActionLoadFile);
  EXPECT_EQ(s->ParseAction(0, "").Number, ActionLoadFile);
  EXPECT_EQ(s->ParseAction(0, "Idee").Number, ActionUnknown) << "any text starting with id";
}

TEST_F(DispatchTest, UnknownIdIsLoggedWhenParsed) {
  const TAction a = s->ParseAction(0, "IDfoo");
  EXPECT_TRUE(h.Logged("Unbekannte ID idfoo im Content-File gefunden."));
  EXPECT_EQ(a.Number, ActionUnknown);
  EXPECT_EQ(a.Target, "idfoo");
}

TEST_F(DispatchTest, OnlyFiftyCharactersOfAnIdCount) {
  const TAction a = s->ParseAction(0, "Id" + std::string(60, 'x'));
  EXPECT_EQ(a.Number, ActionUnknown);
  const TAction b = s->ParseAction(0, "IDmenumain" + std::string(45, ' '));
  EXPECT_EQ(b.Number, ActionUnknown) << "the compared part is longer than the id";
}

TEST_F(DispatchTest, UnknownActionIsReportedWhenPerformed) {
  s->PerformAction(s->ParseAction(0, "IDfoo"));
  const Screen screen = calc->Expect();
  EXPECT_EQ(Flat(screen.Text()), "Fehler im Server Unbekannte Aktion idfoo");
  EXPECT_TRUE(h.Logged("SERVER-ERR:Unbekannte Aktion idfoo"));
  EXPECT_EQ(calc->Key(0).kind, KindMenuScreen);
}

TEST_F(DispatchTest, UnknownMenuItemDoesNotRepeatTheItemBeforeIt) {
  h.Page("liste.txt", {"", "14", "", "0", "Liste", "Hilfe", "hilfe", "Kaputt", "IDgibtsnicht"});
  s->LoadContentFile("liste");
  calc->Expect();
  const Screen screen = calc->Choose(2);
  EXPECT_EQ(Flat(screen.Text()), "Fehler im Server Unbekannte Aktion idgibtsnicht");
}

TEST_F(DispatchTest, EveryActionHasAHandlerAndANumberBeyondTheTableSaysSo) {
  for (const ServiceRow& row : ServiceTable) {
    if (row.number == ActionLoadFile) continue;
    EXPECT_NE(row.handler.function, nullptr) << row.id;
  }
  TAction beyond;
  beyond.Number = 40;
  s->PerformAction(beyond);
  EXPECT_EQ(calc->Expect().Text(),
            testing::Shown("Fehler im Server Diese Aktion wird noch nicht unterstützt."_cp));
}

TEST_F(DispatchTest, FileActionLoadsTheLowerCasedFile) {
  h.Page("hilfe.txt", {"", "11", "IDmenumain", "Hilfe"});
  s->PerformAction(s->ParseAction(0, "Hilfe"));
  EXPECT_EQ(Flat(calc->Expect().Text()), "Hilfe");
  s->PerformAction(s->ParseAction(0, "IDmenumain"));
  EXPECT_EQ(calc->Expect().kind, KindMenuScreen);
  s->PerformAction(s->ParseAction(0, ""));
  EXPECT_TRUE(
      h.Logged("SERVER-ERR:Fehler beim Laden des Content-Files " + h.settings.ContentDir + "\r\n"));
}

TEST_F(DispatchTest, ServerErrorLogsAndShowsTheMessage) {
  s->ServerError("kaputt");
  EXPECT_TRUE(h.Logged("SERVER-ERR:kaputt\r\n"));
  const Screen screen = calc->Expect();
  EXPECT_EQ(screen.Text(), testing::Shown("Fehler im Server kaputt"));
  ASSERT_EQ(s->Screen().PageActions().size(), 1u);
  EXPECT_EQ(s->Screen().PageActions()[0].Number, ActionMenuMain);
  EXPECT_EQ(calc->Key(7).kind, KindMenuScreen);
}

TEST_F(DispatchTest, MessageScreenWithItsAction) {
  h.Page("weiter.txt", {"", "11", "IDmenumain", "Weiter"});
  s->ShowMessageScreen("Eine Nachricht", "Weiter");
  EXPECT_EQ(calc->Expect().Text(), testing::Shown("Eine Nachricht"));
  EXPECT_EQ(s->Screen().PageActions()[0].Target, "weiter");
  EXPECT_EQ(s->Screen().PageActions()[0].Key, 0);
  EXPECT_EQ(Flat(calc->Key(0).Text()), "Weiter");
}

TEST_F(DispatchTest, NoWrapSendsTextAsItIs) {
  h.settings.NoWrap = true;
  s->ShowMessageScreen("Zwei\nZeilen", "IDmenumain");
  EXPECT_EQ(calc->Expect().Text(), "Zwei Zeilen") << "a TI 82 shows the LF as a blank";
  h.settings.NoWrap = false;
  s->ShowMessageScreen("Zwei\nZeilen", "IDmenumain");
  EXPECT_EQ(calc->Expect().Text(), "Zwei            Zeilen");
}

TEST_F(DispatchTest, InputValuesByCaseFreeName) {
  EXPECT_EQ(s->GetInputValue("nie"), "");
  s->PutInputValue("MsgRcpt", "anna");
  EXPECT_EQ(s->GetInputValue("msgrcpt"), "anna");
  h.Page("feld.txt",
         {"", "15", "0", "1", "?", "", "10", "IDmenumain", "IDmenumain", "MSGRCPT", "10"});
  s->LoadContentFile("feld");
  EXPECT_EQ(calc->Expect().AsInput().current, "anna");
  s->SetInputValue("bert");
  EXPECT_EQ(s->GetInputValue("msgrcpt"), "bert");
}

}  // namespace
}  // namespace velora
