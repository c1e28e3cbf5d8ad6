// Content pages: the three screen types with their clamps, the failure messages, long menus with
// paging, the jump to a page, the main menu and login page, and replies shorter than expected.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/cp1252.h"
#include "session/content_check.h"
#include "session/process.h"
#include "session/screen.h"
#include "support/session_harness.h"

namespace velora {
namespace {

using testing::Calculator;
using testing::Flat;
using testing::Harness;
using testing::Screen;

class ContentTest : public testing::MainMenuSessionTest {
 protected:
  Screen Load(std::string_view name) {
    s->LoadContentFile(name);
    return calc->Expect();
  }

  // A menu file of n items named "Punkt i" whose actions load "ziel<i>".
  void MenuOf(std::string_view name, int n, std::string_view title = "Liste") {
    std::vector<std::string> lines{"", "14", "", "0", std::string(title)};
    for (int i = 1; i <= n; ++i) {
      lines.push_back("Punkt " + std::to_string(i));
      lines.push_back("ziel" + std::to_string(i));
    }
    h.Page(name, lines);
  }
};

TEST(ReadContentLinesTest, LinesOfATextFile) {
  testing::TempDir dir;
  testing::WriteFileBytes(dir.File("a.txt"), "eins\r\nzwei\n\ndrei");
  TAoS lines{"alt"};
  ASSERT_TRUE(ReadContentLines(dir.File("a"), lines)) << "\".txt\" is added";
  EXPECT_EQ(lines, (TAoS{"eins", "zwei", "", "drei"}));
  ASSERT_TRUE(ReadContentLines(dir.File("a.txt"), lines));
  EXPECT_EQ(lines.size(), 4u);
  testing::WriteFileBytes(dir.File("b.TXT.txt"), "x\n");
  EXPECT_TRUE(ReadContentLines(dir.File("b.TXT"), lines)) << "the ending is compared exactly";
  EXPECT_EQ(lines, TAoS{"x"});
  testing::WriteFileBytes(dir.File("leer.txt"), "");
  EXPECT_TRUE(ReadContentLines(dir.File("leer"), lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_FALSE(ReadContentLines(dir.File("fehlt"), lines));
  std::filesystem::create_directory(dir.File("ordner.txt"));
  EXPECT_FALSE(ReadContentLines(dir.File("ordner"), lines)) << "a directory is not a file";
}

TEST_F(ContentTest, MissingFileIsReportedWithItsPath) {
  const Screen screen = Load("gibtsnicht");
  const std::string message =
      "Fehler beim Laden des Content-Files " + h.settings.ContentDir + "gibtsnicht";
  EXPECT_EQ(screen.Text().substr(0, 100),
            testing::Shown("Fehler im Server " + message).substr(0, 100));
  EXPECT_TRUE(h.Logged("SERVER-ERR:" + message + "\r\n"));
  EXPECT_EQ(s->CurrentPageId(), "menumain.txt") << "only a loaded file becomes the current page";
  EXPECT_EQ(calc->Key(0).kind, KindMenuScreen) << "any key leads back to the main menu";
}

// A page the server cannot show: the session reports it, and the content check finds the same
// fault at the same line, both from the one reading of the page.
TEST_F(ContentTest, FaultyPageIsAContentErrorThatTheCheckFindsToo) {
  struct Case {
    std::vector<std::string> lines;
    std::string error;  // after "Fehler im Content-File:"
    std::size_t line;   // of the check's problem
    std::string problem;
  };
  const Case cases[] = {
      {{}, "Zeile 2 fehlt", 2, "the page type is missing"},
      {{""}, "Zeile 2 fehlt", 2, "the page type is missing"},
      {{"", "11"}, "Zeile 3 fehlt", 3, "the action is missing"},
      {{"", "14", "", "0"}, "Zeile 5 fehlt", 5, "the title is missing"},
      {{"", "14"}, "Zeile 3 fehlt", 3, "the title is missing"},
      {{"", "15", "0", "2", "Frage", "", "20", "ok", "weg"},
       "Zeile 10 fehlt",
       10,
       "an input field has 11 lines, this page 9"},
      {{"", "15", "0", "2", "Frage"}, "Zeile 6 fehlt", 6, "this page 5"},
      {{"", "12", "x", "y"}, "unbekannter Seitentyp 12", 2, "page type 12 is none"},
      // Beyond 32 bits: not the type 11 that its lower bits spell.
      {{"", "4294967307", "IDmenumain", "x"},
       "unbekannter Seitentyp 4294967307",
       2,
       "page type 4294967307 is none"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const std::string name = "kaputt" + std::to_string(i);
    SCOPED_TRACE(name);
    h.Page(name + ".txt", c.lines);
    EXPECT_EQ(Load(name).kind, KindTextScreen) << "the error screen";
    EXPECT_TRUE(h.Logged("SERVER-ERR:Fehler im Content-File:" + c.error + " (" +
                         h.settings.ContentDir + name + ")\r\n"))
        << h.LogContents();
    EXPECT_EQ(calc->Key(0).kind, KindMenuScreen) << "any key leads back to the main menu";
    const ContentReport report = CheckContent(h.settings.ContentDir);
    EXPECT_TRUE(std::any_of(report.problems.begin(), report.problems.end(),
                            [&](const ContentProblem& p) {
                              return p.file == name + ".txt" && p.line == c.line &&
                                     p.text.find(c.problem) != std::string::npos;
                            }))
        << c.problem;
  }
}

TEST_F(ContentTest, TextPageAndItsAction) {
  h.Page("info.txt", {"frei", "11 Text", "Weiter", "Erste Zeile", "", "Dritte"});
  h.Page("weiter.txt", {"", "11", "IDmenumain", "Angekommen"});
  const Screen screen = Load("info");
  EXPECT_EQ(screen.Text(), testing::Shown("Erste Zeile\n\nDritte\n"));
  EXPECT_EQ(s->CurrentPageId(), "info");
  EXPECT_EQ(Flat(calc->Key(0).Text()), "Angekommen") << "the action name is lower-cased";
  EXPECT_EQ(s->CurrentPageId(), "weiter");
}

TEST_F(ContentTest, TextFileWithCrLfAndLfLines) {
  testing::WriteFileBytes(h.settings.ContentDir + "mix.txt", "\n11\r\nIDmenumain\nA\r\nB");
  EXPECT_EQ(Load("mix.txt").Text(), testing::Shown("A\nB\n"));
  EXPECT_EQ(s->CurrentPageId(), "mix.txt");
}

TEST_F(ContentTest, LongMenuOfSevenItemsIsOnePage) {
  MenuOf("sieben.txt", 7);
  const Screen page = Load("sieben");
  EXPECT_EQ(page.ItemCount(), 7);
  EXPECT_EQ(page.TitleLine(16), "Liste           ") << "no page marks";
  EXPECT_EQ(page.Captions(16).size(), 7u);
  EXPECT_EQ(calc->Choose(253).TitleLine(16), "Liste           ") << "paging stays on page 0";
}

TEST_F(ContentTest, LongMenuPagingWrapsBothWays) {
  MenuOf("acht.txt", 8);
  const Screen first = Load("acht");
  EXPECT_EQ(first.ItemCount(), 7);
  EXPECT_EQ(first.TitleLine(16), "Liste          \x05");
  EXPECT_EQ(first.Captions(16).front(), "Punkt 1");
  const Screen second = calc->Choose(253);
  EXPECT_EQ(second.ItemCount(), 1);
  EXPECT_EQ(second.TitleLine(16), "\xCFListe          ");
  EXPECT_EQ(second.Captions(16), std::vector<std::string>{"Punkt 8"});
  EXPECT_EQ(calc->Choose(253).Captions(16).front(), "Punkt 1") << "after the last comes page 0";
  EXPECT_EQ(calc->Choose(252).Captions(16).front(), "Punkt 8") << "before page 0 comes the last";

  // Item 1 of page 2 is item 8 of the menu.
  h.Page("ziel8.txt", {"", "11", "IDmenumain", "Acht"});
  EXPECT_EQ(Flat(calc->Choose(1).Text()), "Acht");
}

TEST_F(ContentTest, MiddlePageCarriesBothMarks) {
  MenuOf("viele.txt", 20);
  Load("viele");
  const Screen middle = calc->Choose(253);
  EXPECT_EQ(middle.TitleLine(16), "\xCFListe         \x05");
  EXPECT_EQ(middle.Captions(16).front(), "Punkt 8");
  EXPECT_EQ(calc->Choose(253).ItemCount(), 6);
}

TEST_F(ContentTest, MenuFileLinesAndLimits) {
  h.Page("nur.txt", {"", "14", "", "0", "Nur Titel"});
  h.Page("fuenf.txt", {"", "14", "", "0", "Nur Titel", "einzeln"});
  const Screen five = Load("fuenf");
  EXPECT_EQ(five.ItemCount(), 0) << "an unpaired last line is ignored";
  EXPECT_EQ(five.TitleLine(16), "Nur Titel       ");
  EXPECT_EQ(calc->Choose(0).kind, KindMenuScreen) << "selection 0 on an empty menu";
  EXPECT_EQ(s->CurrentPageId(), "menumain.txt");

  h.Page("lang.txt", {"", "14", "", "0", "Ein sehr langer Titel", "Eine sehr lange Zeile", "x"});
  const Screen lang = Load("lang");
  EXPECT_EQ(lang.TitleLine(16), "Ein sehr langer ");
  EXPECT_EQ(lang.Captions(16), std::vector<std::string>{"Eine sehr lang"});
  const Screen ti86 = [&] {
    h.AddUser("ZWEI");
    auto other = h.Register("zwei", 0x86, 5);
    Calculator c(*other);
    c.Expect();
    other->LoadContentFile("lang");
    return c.Expect();
  }();
  EXPECT_EQ(ti86.TitleLine(21), "Ein sehr langer      ") << "titles keep 16 characters";
  EXPECT_EQ(ti86.Captions(21), std::vector<std::string>{"Eine sehr lang"});
}

TEST_F(ContentTest, SelectionBeyondThePageIsRefused) {
  MenuOf("drei.txt", 3);
  Load("drei");
  const Screen refused = calc->Choose(4);
  EXPECT_EQ(refused.Text(), testing::Shown("Diese Auswahl ist ungültig."_cp));
  EXPECT_EQ(calc->Key(0).kind, KindMenuScreen);
  EXPECT_EQ(s->CurrentPageId(), "menumain.txt");
  MenuOf("drei.txt", 3);
  Load("drei");
  EXPECT_EQ(calc->Choose(0).TitleLine(16), "Hauptmenue      ");
}

TEST_F(ContentTest, ItemKeysAreDigitCharacters) {
  MenuOf("zwei.txt", 2);
  Load("zwei");
  ASSERT_EQ(s->Screen().PageActions().size(), 2u);
  EXPECT_EQ(s->Screen().PageActions()[0].Key, '0');
  EXPECT_EQ(s->Screen().PageActions()[1].Key, '1');
  EXPECT_EQ(s->Screen().PageActions()[1].Target, "ziel2");
}

TEST_F(ContentTest, MenuPageOutOfRange) {
  MenuOf("zwei.txt", 2);
  Load("zwei");
  s->Screen().ShowLongMenuPage(1);
  EXPECT_TRUE(h.Logged("SERVER-ERR:Menüseite existiert nicht."_cp));
  s->Screen().ShowLongMenuPage(-1);
  EXPECT_EQ(calc->Expect().kind, KindTextScreen);
}

TEST_F(ContentTest, ServiceListsUseTheLongMenu) {
  std::vector<TLMenuItem> items(9);
  for (int i = 0; i < 9; ++i) {
    items[i].Caption = "Eintrag Nummer " + std::to_string(i);  // longer than 14
    items[i].Action = s->ParseAction(0, "IDmenumain");
    items[i].Action.Param = i;
  }
  s->OpenLongMenu("Ein Titel der zu lang ist", items);
  const TLongMenu& menu = s->Screen().LongMenu();
  EXPECT_EQ(menu.MaxPage, 1);
  EXPECT_EQ(menu.Title, "Ein Titel der zu");
  const Screen page = calc->Expect();
  EXPECT_EQ(page.Captions(16).front(), "Eintrag Nummer");
  EXPECT_EQ(calc->Choose(252).ItemCount(), 2);
  EXPECT_EQ(s->Screen().PageActions()[1].Param, 8);
}

TEST_F(ContentTest, InputFieldLayoutAndClamps) {
  h.StandardPages();
  h.Page("eingabe.txt",
         {"", "15", "2", "5", "Dein Gruß?"_cp, "", "10", "danke", "IDmenumain", "EmailRcpt", "12"});
  s->PutInputValue("emailrcpt", "vorher");
  const Screen::Input in = Load("eingabe").AsInput();
  EXPECT_EQ(in.promptRow, 2);
  EXPECT_EQ(in.fieldRow, 5);
  EXPECT_EQ(in.prompt, testing::Shown("Dein Gruß?"_cp));
  EXPECT_EQ(in.width, 12);
  EXPECT_EQ(in.maxLength, 12) << "a maximum below the width is raised to it";
  EXPECT_EQ(in.current, "vorher") << "the field and the handler's name meet in one value";
  EXPECT_EQ(s->Screen().InputName(), "EmailRcpt");
  EXPECT_EQ(s->Link().ExpectedReply(), KindInputReply);

  h.Page("danke.txt", {"", "11", "IDmenumain", "Danke"});
  EXPECT_EQ(Flat(calc->Enter("neu").Text()), "Danke");
  EXPECT_EQ(s->GetInputValue("EMAILRCPT"), "neu");
}

TEST_F(ContentTest, InputWidthAndLengthRules) {
  struct Case {
    const char* width;
    const char* length;
    int expectWidth;
    int expectLength;
  };
  const Case cases[] = {
      {"20", "30", 16, 30}, {"2", "30", 16, 30},      {"3", "3", 3, 3},     {"16", "2", 16, 16},
      {"5", "2", 5, 16},    {"12", "10", 12, 12},     {"8", "300", 8, 247}, {"8", "247", 8, 247},
      {"x", "y", 16, 16},   {" 9  ", "12abc", 9, 12},
  };
  for (const Case& c : cases) {
    h.Page("feld.txt", {"", "15", "0", "1", "?", "", c.length, "a", "b", "f", c.width});
    const Screen::Input in = Load("feld").AsInput();
    EXPECT_EQ(in.width, c.expectWidth) << c.width << "/" << c.length;
    EXPECT_EQ(in.maxLength, c.expectLength) << c.width << "/" << c.length;
  }
}

TEST_F(ContentTest, StoredValueIsOfferedUpTo240Characters) {
  h.Page("feld.txt", {"", "15", "0", "1", "?", "", "247", "a", "b", "lang", "16"});
  s->PutInputValue("lang", std::string(300, 'v'));
  EXPECT_EQ(Load("feld").AsInput().current, std::string(240, 'v'));
}

TEST_F(ContentTest, LongPromptTravelsInParts) {
  h.settings.MaxSinglePacketLen = 20;
  std::string prompt;
  for (int i = 0; i < 20; ++i)
    prompt += "Wort" + std::to_string(i) + " ";
  h.Page("feld.txt", {"", "15", "0", "7", prompt, "", "10", "a", "b", "f", "10"});
  const Screen::Input in = Load("feld").AsInput();
  EXPECT_EQ(in.prompt, testing::Shown(prompt));
  EXPECT_EQ(in.fieldRow, 7);
  EXPECT_GT(calc->polls, 5);
}

TEST_F(ContentTest, EscapeRunsTheCancelAction) {
  h.Page("feld.txt", {"", "15", "0", "1", "?", "", "10", "IDlogout", "abbruch", "f", "10"});
  h.Page("abbruch.txt", {"", "11", "IDmenumain", "Abgebrochen"});
  Load("feld");
  EXPECT_EQ(Flat(calc->Escape().Text()), "Abgebrochen");
  EXPECT_FALSE(s->LoggedOut());
  EXPECT_EQ(s->GetInputValue("f"), "") << "an abandoned input stores nothing";
}

TEST_F(ContentTest, ShortRepliesAreNeverReadPastTheirData) {
  MenuOf("zwei.txt", 2);
  Load("zwei");
  calc->Send(KindMenuReply);
  EXPECT_FALSE(calc->Next(10)) << "a menu reply without its selection is ignored";
  h.Page("feld.txt", {"", "15", "0", "1", "?", "", "10", "weiter", "IDmenumain", "f", "10"});
  h.Page("weiter.txt", {"", "11", "IDmenumain", "Weiter"});
  Load("feld");
  calc->Send(KindInputReply, std::string(1, '\0'));
  EXPECT_FALSE(calc->Next(10)) << "an input reply without its length byte is ignored";
  // Announced 10, sent 3: the answer is taken as far as it goes.
  calc->Send(KindInputReply, std::string("\x00\x0A"
                                         "abc",
                                         5));
  EXPECT_EQ(Flat(calc->Expect().Text()), "Weiter");
  EXPECT_EQ(s->GetInputValue("f"), "abc");
  calc->Send(KindTextReply);
  EXPECT_FALSE(calc->Next(10)) << "a text reply without its key is ignored";
  EXPECT_EQ(calc->Key(0).kind, KindMenuScreen);
}

TEST_F(ContentTest, MainMenuOfAnAdministrator) {
  h.Page("menumainadmin.txt", {"", "14", "", "0", "Admin"});
  h.AddUser("CHEF", "x", true);
  auto admin = h.Register("chef", 0x82, 5);
  Calculator c(*admin);
  EXPECT_EQ(c.Expect().TitleLine(16), "Admin           ");
  EXPECT_EQ(admin->CurrentPageId(), "menumainadmin.txt");
}

TEST_F(ContentTest, MissingMainMenuAndLoginPage) {
  std::remove((h.settings.ContentDir + "menumain.txt").c_str());
  s->ShowMainMenu();
  EXPECT_EQ(calc->Expect().Text(),
            testing::Shown("Fehler im Server Startmenü nicht verfügbar."_cp));
  std::remove((h.settings.ContentDir + "login.txt").c_str());
  s->ShowLoginPage();
  EXPECT_EQ(calc->Expect().Text(), testing::Shown("Fehler im Server Login nicht verfügbar."_cp));
  EXPECT_TRUE(h.Logged(std::string("SERVER-ERR:Login nicht verfügbar.\r\n"_cp)));
}

class JumpTest : public ContentTest {
 protected:
  // A text of five TI 82 pages: 5 * 112 characters of numbered lines.
  void LongText() {
    std::vector<std::string> lines{"", "11", "ende"};
    for (int i = 1; i <= 35; ++i)
      lines.push_back("Zeile " + std::to_string(i));
    h.Page("lang.txt", lines);
    h.Page("ende.txt", {"", "11", "IDmenumain", "Ende"});
    const Screen first = Load("lang");
    ASSERT_EQ(s->Screen().LastPage(), 4);
    ASSERT_EQ(first.Text().back(), '\x07');
  }
};

TEST_F(JumpTest, PagingForwardAndBackWraps) {
  LongText();
  const Screen second = calc->Key(1);
  EXPECT_EQ(second.Text().front(), '\x06');
  EXPECT_EQ(second.Text().back(), '\x07');
  EXPECT_EQ(s->Screen().TextPage(), 1);
  calc->Key(4);
  EXPECT_EQ(s->Screen().TextPage(), 0);
  const Screen last = calc->Key(4);
  EXPECT_EQ(s->Screen().TextPage(), 4) << "before page 0 comes the last page";
  EXPECT_EQ(last.Text().front(), '\x06');
  EXPECT_NE(last.Text().back(), '\x07');
  calc->Key(1);
  EXPECT_EQ(s->Screen().TextPage(), 0) << "after the last page comes page 0";
}

TEST_F(JumpTest, PromptAndValidPageNumbers) {
  LongText();
  calc->Key(1);
  const Screen::Input prompt = calc->Key(9).AsInput();
  EXPECT_EQ(prompt.prompt,
            "Zu welcher Seite m\xA9"
            "chtest Du springen? (2 / 1-5)");
  EXPECT_EQ(prompt.promptRow, 0);
  EXPECT_EQ(prompt.fieldRow, 4);
  EXPECT_EQ(prompt.width, 9);
  EXPECT_EQ(prompt.maxLength, 9);
  EXPECT_EQ(prompt.current, "");
  calc->Enter("3");
  EXPECT_EQ(s->Screen().TextPage(), 2);
  calc->Key(9);
  calc->Enter("3x");
  EXPECT_EQ(s->Screen().TextPage(), 2);
  calc->Key(9);
  calc->Enter(" 5");
  EXPECT_EQ(s->Screen().TextPage(), 4);
}

TEST_F(JumpTest, InvalidPageNumbers) {
  for (const char* entry : {"0", "6", "abc", ""}) {
    LongText();
    calc->Key(9);
    const Screen refused = calc->Enter(entry);
    EXPECT_EQ(refused.Text(), testing::Shown("Ungültige Eingabe"_cp)) << entry;
    const Screen back = calc->Key(0);
    EXPECT_EQ(back.Text().substr(0, 16), testing::Shown("Zeile 1\n").substr(0, 16))
        << "back to the page the text came from";
  }
}

TEST_F(JumpTest, EscapeAtThePromptRunsTheTextsAction) {
  LongText();
  calc->Key(9);
  EXPECT_EQ(Flat(calc->Escape().Text()), "Ende");
}

TEST_F(JumpTest, KeyNineOnASinglePageRunsTheAction) {
  h.Page("kurz.txt", {"", "11", "ende", "kurz"});
  h.Page("ende.txt", {"", "11", "IDmenumain", "Ende"});
  Load("kurz");
  EXPECT_EQ(Flat(calc->Key(9).Text()), "Ende");
}

}  // namespace
}  // namespace velora
