// The default content installation: what the content check finds (nothing), and what this
// installation offers beyond the rules every installation follows.
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
#include "session/action.h"
#include "session/content.h"
#include "session/content_check.h"
#include "session/screen.h"
#include "session/service_table.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

using testing::SplitCrLf;

namespace fs = std::filesystem;

// Files ending in ".txt" that are not pages.
const std::set<std::string> kResourceFiles = [] {
  std::set<std::string> files;
  for (const ResourceFile& resource : ResourceFiles())
    files.emplace(resource.file);
  return files;
}();

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

TEST_F(ContentTest, TheContentCheckFindsNoProblem) {
  const ContentReport report = CheckContent(VELORA_CONTENT_DIR);
  for (const ContentProblem& problem : report.problems)
    ADD_FAILURE() << Describe(problem);
  EXPECT_EQ(report.pages, Pages().size());
}

// The reader takes LF alone too; the installation keeps to CR LF, as the server writes its files.
TEST_F(ContentTest, EveryFileHasCrLfLines) {
  ASSERT_GT(files->size(), 20u);
  for (const auto& [name, bytes] : *files) {
    if (name == "README.md") continue;
    SCOPED_TRACE(name);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << "the last line ends in CR LF";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] != '\n') continue;
      EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "LF without CR at " << i;
    }
  }
}

TEST_F(ContentTest, PagesOpenedByNameHaveTheirKinds) {
  EXPECT_EQ(Type("kickme.txt"), "11");
  EXPECT_EQ(Type("menumain.txt"), "14");
  EXPECT_EQ(Type("menumainadmin.txt"), "14");
  EXPECT_EQ(Type("entermessagetext.txt"), "15");
  EXPECT_EQ(Type("entermailtext.txt"), "15");
  EXPECT_EQ(Type("entermailrcpt.txt"), "15");
}

// Longer menus page themselves; these fit one screen, so no item hides on a second page.
TEST_F(ContentTest, MenusFitOneScreen) {
  for (const std::string& page : Pages()) {
    if (Type(page) != "14") continue;
    SCOPED_TRACE(page);
    const auto lines = Lines(page);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_TRUE(IsNumber(lines[3])) << "line 4 is read as a number";
    EXPECT_FALSE(lines[4].empty());
    EXPECT_LE((lines.size() - 5) / 2, 7u) << "more items than one screen shows";
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
  for (const ServiceRow& row : ServiceTable) {
    const std::string id(row.id);
    if (id.empty() || notFromPages.count(id)) continue;
    SCOPED_TRACE(id);
    EXPECT_TRUE(admin.count("id" + id));
    EXPECT_EQ(user.count("id" + id) > 0, administration.count(id) == 0);
  }
}

TEST_F(ContentTest, EveryPageCanBeReached) {
  std::set<std::string> reached;
  for (const std::string& root : PagesOpenedByName()) {
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
