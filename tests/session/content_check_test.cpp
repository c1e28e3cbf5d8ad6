// The content check on a copy of the default installation, one fault at a time: each names its
// file and line.
#include "session/content_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "support/bytes.h"
#include "support/recording_ui.h"

namespace velora {

void PrintTo(const ContentProblem& problem, std::ostream* out) {
  *out << Describe(problem);
}

namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::SplitCrLf;
using testing::TempDir;
using testing::WriteFileBytes;

// A copy of the default content to break.
class Folder {
 public:
  Folder() { fs::copy(VELORA_CONTENT_DIR, dir_.path(), fs::copy_options::recursive); }
  const std::string& path() const { return dir_.path(); }
  std::vector<std::string> Lines(const std::string& file) const {
    return SplitCrLf(ReadFileBytes(dir_.File(file)));
  }
  void WriteLines(const std::string& file, const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines)
      bytes += line + "\r\n";
    WriteFileBytes(dir_.File(file), bytes);
  }
  // Line n counted from 1.
  void SetLine(const std::string& file, std::size_t n, const std::string& text) {
    std::vector<std::string> lines = Lines(file);
    lines.at(n - 1) = text;
    WriteLines(file, lines);
  }
  void KeepLines(const std::string& file, std::size_t count) {
    std::vector<std::string> lines = Lines(file);
    lines.resize(count);
    WriteLines(file, lines);
  }
  void Append(const std::string& file, const std::string& text) {
    std::vector<std::string> lines = Lines(file);
    lines.push_back(text);
    WriteLines(file, lines);
  }
  void Remove(const std::string& file) { fs::remove(dir_.File(file)); }
  void Rename(const std::string& from, const std::string& to) {
    fs::rename(dir_.File(from), dir_.File(to));
  }

 private:
  TempDir dir_;
};

MATCHER_P3(ProblemIs, file, line, text, "") {
  return arg.file == file && arg.line == static_cast<std::size_t>(line) &&
         arg.text.find(text) != std::string::npos;
}

TEST(ContentCheckTest, TheDefaultInstallationHasNoProblems) {
  Folder folder;
  const ContentReport report = CheckContent(folder.path());
  std::string all;
  for (const ContentProblem& p : report.problems)
    all += Describe(p) + "\n";
  EXPECT_TRUE(report.problems.empty()) << all;
  EXPECT_GT(report.pages, 20u);
  EXPECT_FALSE(fs::exists(folder.path() + "/resmotd.txt.bak")) << "the check writes nothing";
}

struct Fault {
  const char* what;
  std::function<void(Folder&)> make;
  const char* file;
  int line;
  const char* text;
};

void PrintTo(const Fault& fault, std::ostream* out) {
  *out << fault.what;
}

class ContentFaultTest : public ::testing::TestWithParam<Fault> {};

TEST_P(ContentFaultTest, IsNamedWithFileAndLine) {
  const Fault& fault = GetParam();
  Folder folder;
  fault.make(folder);
  const ContentReport report = CheckContent(folder.path());
  EXPECT_THAT(report.problems, ::testing::Contains(ProblemIs(fault.file, fault.line, fault.text)))
      << [&] {
           std::string all;
           for (const ContentProblem& p : report.problems)
             all += Describe(p) + "\n";
           return all;
         }();
}

const Fault kFaults[] = {
    {"link to a missing page", [](Folder& f) { f.SetLine("menumain.txt", 17, "Hilfe2"); },
     "menumain.txt", 17, "no page hilfe2.txt for the action Hilfe2"},
    {"unknown service", [](Folder& f) { f.SetLine("menumain.txt", 19, "IDlogoff"); },
     "menumain.txt", 19, "unknown service IDlogoff"},
    {"empty action", [](Folder& f) { f.SetLine("hilfe.txt", 3, ""); }, "hilfe.txt", 3,
     "the action is empty"},
    {"unknown page type", [](Folder& f) { f.SetLine("menumain.txt", 2, "12"); }, "menumain.txt", 2,
     "page type 12"},
    {"no type line", [](Folder& f) { f.KeepLines("hilfe.txt", 1); }, "hilfe.txt", 2,
     "the page type is missing"},
    {"long caption", [](Folder& f) { f.SetLine("menumain.txt", 16, "Hilfe und Anleitung"); },
     "menumain.txt", 16, "the caption is longer than 14"},
    {"long title", [](Folder& f) { f.SetLine("menumain.txt", 5, "Das grosse Hauptmenu"); },
     "menumain.txt", 5, "the title is longer than 16"},
    {"unpaired caption", [](Folder& f) { f.Append("menumain.txt", "Extra"); }, "menumain.txt", 20,
     "without its action line"},
    {"menu without items", [](Folder& f) { f.KeepLines("menuunterhaltung.txt", 5); },
     "menuunterhaltung.txt", 5, "no items"},
    {"login page not an input field", [](Folder& f) { f.SetLine("login.txt", 2, "11"); },
     "login.txt", 2, "must be an input field"},
    {"field too wide", [](Folder& f) { f.SetLine("login.txt", 11, "20"); }, "login.txt", 11,
     "the field width 20 is taken as 16"},
    {"too short a maximum", [](Folder& f) { f.SetLine("login.txt", 7, "2"); }, "login.txt", 7,
     "the maximum length 2 is outside 3 to 247"},
    {"maximum below the width", [](Folder& f) { f.SetLine("login.txt", 7, "10"); }, "login.txt", 7,
     "raised to the field width"},
    {"input nobody reads", [](Folder& f) { f.SetLine("login.txt", 10, "passwort"); }, "login.txt",
     10, "no service reads the input \"passwort\""},
    {"prompt runs into the field", [](Folder& f) { f.SetLine("login.txt", 4, "2"); }, "login.txt",
     5, "rows on a TI82 and runs into the field"},
    {"field below the screen", [](Folder& f) { f.SetLine("login.txt", 4, "8"); }, "login.txt", 4,
     "the field row 8 is below the screen"},
    {"row not a number", [](Folder& f) { f.SetLine("login.txt", 3, "eins"); }, "login.txt", 3,
     "the prompt row is not a number"},
    {"input field cut short", [](Folder& f) { f.KeepLines("login.txt", 9); }, "login.txt", 10,
     "an input field has 11 lines, this page 9"},
    {"kick page of two screens",
     [](Folder& f) { f.Append("kickme.txt", std::string(120, 'x') + " Ende"); }, "kickme.txt", 4,
     "fit one screen"},
    {"text page without text", [](Folder& f) { f.KeepLines("hilfe.txt", 3); }, "hilfe.txt", 4,
     "no text"},
    {"UTF-8 instead of Windows-1252",
     [](Folder& f) { f.SetLine("hilfe.txt", 5, "Gr\xC3\xBC\xC3\x9F"); }, "hilfe.txt", 5,
     "byte 0xC3 in column 3"},
    {"a CR inside a line", [](Folder& f) { f.SetLine("hilfe.txt", 6, "eins\rzwei"); }, "hilfe.txt",
     6, "byte 0x0D in column 5"},
    {"a page the program opens is missing", [](Folder& f) { f.Remove("menufeedback.txt"); },
     "menufeedback.txt", 0, "the program opens this page by name"},
    {"upper-case file name", [](Folder& f) { f.Rename("hilfe.txt", "Hilfe.txt"); }, "Hilfe.txt", 0,
     "lower-cases"},
    {"dictionary pair cut short", [](Folder& f) { f.Append("resdict.txt", "Fahrrad"); },
     "resdict.txt", 1247, "a German word without its English line"},
    {"offered message of the day missing", [](Folder& f) { f.Remove("resmotd.txt"); },
     "resmotd.txt", 0, "a page offers the message of the day"},
    {"offered dictionary missing", [](Folder& f) { f.Remove("resdict.txt"); }, "resdict.txt", 0,
     "a page offers the dictionary"},
};

INSTANTIATE_TEST_SUITE_P(Faults, ContentFaultTest, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                           std::string name;
                           for (char c : std::string(info.param.what))
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

TEST(ContentCheckTest, ProblemsReadLikeCompilerMessages) {
  EXPECT_EQ(Describe({"menumain.txt", 17, "no page x.txt"}), "menumain.txt:17: no page x.txt");
  EXPECT_EQ(Describe({"resmotd.txt", 0, "missing"}), "resmotd.txt: missing");
  EXPECT_EQ(Describe({"", 0, "no folder"}), "no folder");
}

TEST(ContentCheckTest, AMissingFolderIsAProblem) {
  TempDir dir;
  const ContentReport report = CheckContent(dir.File("fehlt"));
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_THAT(report.problems[0].text, ::testing::HasSubstr("does not exist"));
  EXPECT_EQ(report.pages, 0u);
}

// A service no page offers needs no resource file.
TEST(ContentCheckTest, ResourceFilesAreNeededOnlyForOfferedServices) {
  Folder folder;
  folder.Remove("resmotd.txt");
  folder.WriteLines("menuunterhaltung.txt",
                    {"Unterhaltung", "14", "", "0", "Unterhaltung", "Uhrzeit", "IDtime"});
  const ContentReport report = CheckContent(folder.path());
  std::string all;
  for (const ContentProblem& p : report.problems)
    all += Describe(p) + "\n";
  EXPECT_TRUE(report.problems.empty()) << all;
}

}  // namespace
}  // namespace velora
