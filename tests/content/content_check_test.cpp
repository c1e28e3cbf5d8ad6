// Checks the default content installation: encoding, page formats, sizes and actions.
#include <gtest/gtest.h>

#include "support/bytes.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/constants.h"
#include "common/text.h"
#include "session/screen.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

using testing::SplitCrLf;

namespace fs = std::filesystem;

// Ids of the action table, written after "ID".
const std::set<std::string> kActionIds = {
    "sendmail",     "getmail",      "sendsms",      "posteingang", "motd",      "showmail",
    "sendmessage",  "listmessages", "showmessage",  "login",       "logout",    "time",
    "transde",      "transed",      "msgdelete",    "msgreply",    "mailreply", "mailnext",
    "menumain",     "kickuser",     "createuser",   "listusers",   "edituser",  "jumptopage",
    "listfeedback", "showfeedback", "savefeedback", "changepasswd"};

const std::set<std::string> kInputNames = {"msgrcpt",   "msgtext",  "emailrcpt", "emailsubj",
                                           "emailtext", "password", "password2", "temp"};

const std::set<std::string> kResourceFiles = {"resmotd.txt", "resdict.txt"};

// Pages the program and its services open by name.
const std::vector<std::string> kFixedPages = {
    "menumain.txt",         "menumainadmin.txt",     "login.txt",
    "kickme.txt",           "menumessage.txt",       "menuaftershowmessage.txt",
    "entermessagetext.txt", "menumail.txt",          "menuaftershowmail.txt",
    "entermailtext.txt",    "entermailrcpt.txt",     "menukonfiguration.txt",
    "menuadmin.txt",        "menuadminedituser.txt", "menuunterhaltung.txt",
    "menufeedback.txt"};

// Bytes both calculator models show: plain ASCII text and the PC bytes with a calculator
// character (umlauts, ß and a few accented letters and signs).
bool Displayable(unsigned char b) {
  static const std::string ascii =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,:;!?-()/'\"+=*%&@_<>";
  static const std::set<unsigned char> high = {
      0xA1, 0xA8, 0xB2, 0xB3, 0xB4, 0xB5, 0xB7, 0xBF, 0xC0, 0xC1, 0xC2, 0xC4, 0xC7, 0xC8,
      0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD1, 0xD2, 0xD3, 0xD4, 0xD6, 0xD9, 0xDA,
      0xDB, 0xDC, 0xDF, 0xE0, 0xE1, 0xE2, 0xE4, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED,
      0xEE, 0xEF, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF6, 0xF9, 0xFA, 0xFB, 0xFC};
  return ascii.find(static_cast<char>(b)) != std::string::npos || high.count(b) > 0;
}

// The rows a prompt takes on the calculator, laid out by the server's own word wrap.
int Rows(const std::string& prompt, int width) {
  const std::size_t n = WrapText(prompt, width).size();
  return static_cast<int>((n + width - 1) / width);
}

// A content line read as a number: the whole line must be decimal digits.
bool IsNumber(const std::string& line) {
  return !line.empty() &&
         std::all_of(line.begin(), line.end(), [](char c) { return c >= '0' && c <= '9'; });
}

class ContentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    files = new std::map<std::string, std::string>;
    for (const auto& entry : fs::directory_iterator(VELORA_CONTENT_DIR)) {
      if (!entry.is_regular_file()) continue;
      (*files)[entry.path().filename().string()] = testing::ReadFileBytes(entry.path().string());
    }
  }
  static void TearDownTestSuite() {
    delete files;
    files = nullptr;
  }

  static bool IsPage(const std::string& name) {
    return name.size() > 4 && name.substr(name.size() - 4) == ".txt" && !kResourceFiles.count(name);
  }
  static std::vector<std::string> Pages() {
    std::vector<std::string> pages;
    for (const auto& [name, bytes] : *files) {
      if (IsPage(name)) pages.push_back(name);
    }
    return pages;
  }
  static std::vector<std::string> Lines(const std::string& name) {
    return SplitCrLf(files->at(name));
  }
  static std::string Type(const std::string& name) {
    const auto lines = Lines(name);
    return lines.size() >= 2 ? lines[1] : std::string();
  }

  // The file an action loads ("" for a service), or why the action is wrong.
  static ::testing::AssertionResult ValidAction(const std::string& action) {
    const std::string t = AsciiLower(action);
    if (t.empty()) return ::testing::AssertionFailure() << "empty action";
    if (t.substr(0, 2) == "id") {
      if (kActionIds.count(t.substr(2, 50))) return ::testing::AssertionSuccess();
      return ::testing::AssertionFailure() << "unknown id in " << action;
    }
    if (!files->count(PageFile(t))) {
      return ::testing::AssertionFailure() << "no page " << PageFile(t) << " for " << action;
    }
    return ::testing::AssertionSuccess();
  }
  static std::string PageFile(const std::string& action) {
    const std::string t = AsciiLower(action);
    if (t.size() >= 4 && t.substr(t.size() - 4) == ".txt") return t;
    return t + ".txt";
  }
  // Every action written in a page.
  static std::vector<std::string> Actions(const std::string& name) {
    const auto lines = Lines(name);
    const std::string type = Type(name);
    std::vector<std::string> actions;
    if (type == "11" && lines.size() > 2) actions.push_back(lines[2]);
    if (type == "14") {
      for (std::size_t i = 6; i < lines.size(); i += 2)
        actions.push_back(lines[i]);
    }
    if (type == "15" && lines.size() >= 9) {
      actions.push_back(lines[7]);
      actions.push_back(lines[8]);
    }
    return actions;
  }
  // Every action reachable from a page through pages, lower-cased.
  static std::set<std::string> Reachable(const std::string& start) {
    std::set<std::string> seen;
    std::set<std::string> visitedPages;
    std::vector<std::string> todo = {start};
    while (!todo.empty()) {
      const std::string page = todo.back();
      todo.pop_back();
      if (!visitedPages.insert(page).second || !files->count(page)) continue;
      for (const std::string& action : Actions(page)) {
        const std::string t = AsciiLower(action);
        seen.insert(t.substr(0, 2) == "id" ? t : PageFile(t));
        if (t.substr(0, 2) != "id") todo.push_back(PageFile(t));
      }
    }
    return seen;
  }
  // The input page of an action, checked to ask for the given name.
  static std::string InputPage(const std::string& action, const std::string& inputName) {
    const std::string file = PageFile(action);
    if (!files->count(file) || Type(file) != "15") return "";
    const auto lines = Lines(file);
    return AsciiLower(lines[9]) == inputName ? file : "";
  }

  static std::map<std::string, std::string>* files;
};

std::map<std::string, std::string>* ContentTest::files = nullptr;

TEST_F(ContentTest, EveryFileIsWindows1252WithCrLfLines) {
  ASSERT_GT(files->size(), 20u);
  for (const auto& [name, bytes] : *files) {
    if (name == "README.md") continue;
    SCOPED_TRACE(name);
    EXPECT_EQ(name, AsciiLower(name)) << "the loader lower-cases every file name";
    EXPECT_TRUE(name.size() > 4 && name.substr(name.size() - 4) == ".txt");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << "the last line ends in CR LF";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const auto b = static_cast<unsigned char>(bytes[i]);
      if (b == '\r') {
        EXPECT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "lone CR at byte " << i;
      } else if (b == '\n') {
        EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "LF without CR at byte " << i;
      } else if (!Displayable(b)) {
        ADD_FAILURE() << "byte " << static_cast<int>(b) << " at " << i
                      << " is not shown on a calculator (or the file is not Windows-1252)";
      }
    }
  }
}

TEST_F(ContentTest, FixedAndServicePagesExist) {
  for (const std::string& page : kFixedPages)
    EXPECT_TRUE(files->count(page)) << page;
  EXPECT_TRUE(files->count("resmotd.txt"));
  EXPECT_TRUE(files->count("resdict.txt"));
  EXPECT_EQ(Type("kickme.txt"), "11");
  EXPECT_EQ(Type("menumain.txt"), "14");
  EXPECT_EQ(Type("menumainadmin.txt"), "14");
  EXPECT_EQ(Type("entermessagetext.txt"), "15");
  EXPECT_EQ(Type("entermailtext.txt"), "15");
  EXPECT_EQ(Type("entermailrcpt.txt"), "15");
}

TEST_F(ContentTest, EveryPageHasAKnownTypeAndValidActions) {
  for (const std::string& page : Pages()) {
    SCOPED_TRACE(page);
    const std::string type = Type(page);
    EXPECT_TRUE(type == "11" || type == "14" || type == "15") << "type line " << type;
    for (const std::string& action : Actions(page))
      EXPECT_TRUE(ValidAction(action));
  }
}

TEST_F(ContentTest, TextPagesHaveText) {
  for (const std::string& page : Pages()) {
    if (Type(page) != "11") continue;
    SCOPED_TRACE(page);
    const auto lines = Lines(page);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_TRUE(std::any_of(lines.begin() + 3, lines.end(),
                            [](const std::string& l) { return !l.empty(); }));
  }
}

// Enter on a text of several pages asks for a page number instead of running the action, so a
// page whose only way on is its action must fit one screen.
TEST_F(ContentTest, KickPageFitsOneScreen) {
  const auto lines = Lines("kickme.txt");
  std::string text;
  for (std::size_t i = 3; i < lines.size(); ++i)
    text += lines[i] + "\n";
  EXPECT_LE(WrapText(text, ScreenColumns[0]).size(), static_cast<std::size_t>(ScreenChars[0]));
}

TEST_F(ContentTest, MenusFitOneScreenOfBothModels) {
  for (const std::string& page : Pages()) {
    if (Type(page) != "14") continue;
    SCOPED_TRACE(page);
    const auto lines = Lines(page);
    ASSERT_GE(lines.size(), 7u) << "a menu needs a title and at least one item";
    EXPECT_EQ((lines.size() - 5) % 2, 0u) << "an unpaired last line would be ignored";
    EXPECT_TRUE(IsNumber(lines[3])) << "line 4 is read as a number";
    EXPECT_FALSE(lines[4].empty());
    EXPECT_LE(lines[4].size(), 16u) << "title " << lines[4];
    const std::size_t items = (lines.size() - 5) / 2;
    EXPECT_LE(items, 7u) << "more items than one screen shows";
    for (std::size_t i = 5; i + 1 < lines.size(); i += 2) {
      EXPECT_FALSE(lines[i].empty());
      EXPECT_LE(lines[i].size(), 14u) << "caption " << lines[i];
    }
  }
}

TEST_F(ContentTest, InputFieldsFitATi82) {
  for (const std::string& page : Pages()) {
    if (Type(page) != "15") continue;
    SCOPED_TRACE(page);
    const auto lines = Lines(page);
    ASSERT_EQ(lines.size(), 11u);
    for (int i : {2, 3, 6, 10})
      ASSERT_TRUE(IsNumber(lines[i])) << "line " << i + 1 << " is a number";
    const int promptRow = std::stoi(lines[2]);
    const int fieldRow = std::stoi(lines[3]);
    const int maxLength = std::stoi(lines[6]);
    const int width = std::stoi(lines[10]);
    EXPECT_LE(fieldRow, ScreenRows - 1);
    EXPECT_FALSE(lines[4].empty()) << "an input field asks a question";
    for (int model = 0; model < CalcTypeCount; ++model) {
      EXPECT_LE(promptRow + Rows(lines[4], ScreenColumns[model]), fieldRow)
          << "the prompt runs into the field on model " << model;
    }
    EXPECT_GE(width, 3);
    EXPECT_LE(width, static_cast<int>(InputWidthMax));
    EXPECT_GE(maxLength, 3);
    EXPECT_LE(maxLength, static_cast<int>(InputLengthMax));
    EXPECT_GE(maxLength, width) << "the server would raise the length to the width";
    EXPECT_TRUE(kInputNames.count(AsciiLower(lines[9]))) << "input name " << lines[9];
  }
}

TEST_F(ContentTest, InputChainsEndInTheirServices) {
  const auto okOf = [](const std::string& page) { return AsciiLower(Lines(page)[7]); };

  ASSERT_EQ(InputPage("login", "password"), "login.txt");
  EXPECT_EQ(okOf("login.txt"), "idlogin");
  EXPECT_EQ(AsciiLower(Lines("login.txt")[8]), "idlogout");

  ASSERT_EQ(InputPage("entermessagetext", "msgtext"), "entermessagetext.txt");
  EXPECT_EQ(okOf("entermessagetext.txt"), "idsendmessage");

  ASSERT_EQ(InputPage("entermailtext", "emailtext"), "entermailtext.txt");
  EXPECT_EQ(okOf("entermailtext.txt"), "idsendmail");
  ASSERT_EQ(InputPage("entermailrcpt", "emailrcpt"), "entermailrcpt.txt");
  const std::string subject = InputPage(okOf("entermailrcpt.txt"), "emailsubj");
  ASSERT_FALSE(subject.empty()) << "the recipient is followed by the subject";
  EXPECT_EQ(PageFile(okOf(subject)), "entermailtext.txt");

  // From the menus: each chain starts where the user expects it.
  const auto chainFrom = [&](const std::string& menu, const std::vector<std::string>& names,
                             const std::string& service) {
    SCOPED_TRACE(menu + " -> " + service);
    const std::set<std::string> reachable = Reachable(menu);
    bool found = false;
    for (const std::string& start : reachable) {
      std::string page = start;
      std::size_t i = 0;
      for (; i < names.size(); ++i) {
        page = InputPage(page, names[i]);
        if (page.empty()) break;
        if (i + 1 < names.size()) page = okOf(page);
      }
      if (i == names.size() && okOf(page) == service) found = true;
    }
    EXPECT_TRUE(found);
  };
  chainFrom("menumessage.txt", {"msgrcpt", "msgtext"}, "idsendmessage");
  chainFrom("menumail.txt", {"emailrcpt", "emailsubj", "emailtext"}, "idsendmail");
  chainFrom("menukonfiguration.txt", {"password", "password2"}, "idchangepasswd");
  chainFrom("menuadmin.txt", {"temp"}, "idcreateuser");
  chainFrom("menufeedback.txt", {"temp"}, "idsavefeedback");
  chainFrom("menuunterhaltung.txt", {"temp"}, "idtransde");
  chainFrom("menuunterhaltung.txt", {"temp"}, "idtransed");
}

TEST_F(ContentTest, MenusOfferTheServices) {
  const auto offers = [](const std::string& page, const std::vector<std::string>& wanted) {
    SCOPED_TRACE(page);
    std::set<std::string> items;
    for (const std::string& action : Actions(page)) {
      const std::string t = AsciiLower(action);
      items.insert(t.substr(0, 2) == "id" ? t : PageFile(t));
    }
    for (const std::string& w : wanted)
      EXPECT_TRUE(items.count(w)) << "missing " << w;
  };
  const std::vector<std::string> common = {"menumessage.txt",       "menumail.txt",
                                           "menuunterhaltung.txt",  "menufeedback.txt",
                                           "menukonfiguration.txt", "idlogout"};
  offers("menumain.txt", common);
  offers("menumainadmin.txt", common);
  offers("menumainadmin.txt", {"menuadmin.txt"});
  offers("menuunterhaltung.txt", {"idtime", "idmotd"});
  offers("menumessage.txt", {"idlistmessages"});
  offers("menuaftershowmessage.txt", {"idmsgreply"});
  offers("menumail.txt", {"idgetmail", "idposteingang"});
  offers("menuaftershowmail.txt", {"idmailnext", "idmailreply"});
  offers("menufeedback.txt", {"idlistfeedback"});
  offers("menuadmin.txt", {"idlistusers"});
  offers("menuadminedituser.txt", {"idkickuser", "idlistusers"});
  EXPECT_EQ(Reachable("menumain.txt").count("menuadmin.txt"), 0u)
      << "ordinary users do not reach the administration";
  EXPECT_TRUE(Reachable("menuaftershowmessage.txt").count("idmsgdelete"));
  EXPECT_EQ(AsciiLower(Lines("kickme.txt")[2]), "idlogout");
}

// The services a user starts from a page; the others follow an item of a service's list (or the
// login and the page prompt). SMS cannot be sent, so no page offers it.
TEST_F(ContentTest, EveryServiceIsReachableFromTheMainMenus) {
  const std::set<std::string> notFromPages = {
      "showmessage",  "msgreply", "msgdelete", "showmail",   "mailnext", "mailreply",
      "showfeedback", "edituser", "kickuser",  "jumptopage", "login",    "sendsms"};
  const std::set<std::string> administration = {"createuser", "listusers"};
  const std::set<std::string> user = Reachable("menumain.txt");
  const std::set<std::string> admin = Reachable("menumainadmin.txt");
  for (const std::string& id : kActionIds) {
    if (notFromPages.count(id)) continue;
    SCOPED_TRACE(id);
    EXPECT_TRUE(admin.count("id" + id));
    EXPECT_EQ(user.count("id" + id) > 0, administration.count(id) == 0);
  }
}

TEST_F(ContentTest, EveryPageCanBeReached) {
  std::set<std::string> reached;
  for (const std::string& root : kFixedPages) {
    reached.insert(root);
    for (const std::string& target : Reachable(root))
      reached.insert(target);
  }
  for (const std::string& page : Pages())
    EXPECT_TRUE(reached.count(page)) << page << " is linked from no page";
}

TEST_F(ContentTest, DictionaryPairsAreCompleteAndUnique) {
  const auto lines = Lines("resdict.txt");
  EXPECT_EQ(lines.size() % 2, 0u) << "a German line without its English line";
  EXPECT_GE(lines.size() / 2, 200u);
  std::set<std::string> german;
  std::set<std::string> english;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    SCOPED_TRACE("line " + std::to_string(i + 1) + ": " + line);
    EXPECT_FALSE(line.empty());
    EXPECT_TRUE(line.front() != ' ' && line.back() != ' ') << "lookups compare whole lines";
    // Lookups fold only A to Z; a second entry for the same word would never be found.
    auto& column = i % 2 == 0 ? german : english;
    EXPECT_TRUE(column.insert(AsciiLower(line)).second) << "duplicate";
  }
  const auto haus = std::find(lines.begin(), lines.end(), "Haus");
  ASSERT_NE(haus, lines.end());
  EXPECT_EQ((haus - lines.begin()) % 2, 0) << "German words stand on the odd lines";
  EXPECT_EQ(*(haus + 1), "house");
}

TEST_F(ContentTest, MessagesOfTheDayAreShortAndDistinct) {
  const auto lines = Lines("resmotd.txt");
  EXPECT_GE(lines.size(), 24u);
  std::set<std::string> seen;
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(line.empty());
    EXPECT_LE(Rows(line, ScreenColumns[0]), ScreenRows) << "more than one TI 82 screen";
    EXPECT_TRUE(seen.insert(line).second) << "duplicate";
  }
}

TEST(ContentWrapTest, RowsCountTheLinesOfThePrompt) {
  EXPECT_EQ(Rows("Englisches Wort:", 16), 1);
  EXPECT_EQ(Rows("Englisches Wort: ja", 16), 2);
}

}  // namespace
}  // namespace velora
