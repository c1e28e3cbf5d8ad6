// The installation check: what it finds in a working folder, and each problem with file and line.
#include "bus/installation_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "settings/settings_table.h"
#include "store/folder_lock.h"
#include "store/users_format.h"
#include "support/memory_settings_backend.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

std::string Listing(const std::vector<ContentProblem>& problems) {
  std::string all;
  for (const ContentProblem& p : problems)
    all += Describe(p) + "\n";
  return all;
}

class InstallationCheckTest : public ::testing::Test {
 protected:
  InstallationCheckTest() {
    fs::copy(VELORA_CONTENT_DIR, dir.File("content"), fs::copy_options::recursive);
    Tuserdata admin;
    admin.Name = "ADMIN";
    admin.Password = "pw";
    admin.IsAdmin = true;
    admin.Messages.resize(2);
    Tuserdata gast;
    gast.Name = "GAST";
    WriteFileBytes(dir.File("users.txt"), FormatUsersFile({admin, gast}, 10));
    WriteFileBytes(dir.File("resfdbck.txt"), "anna\r\ngut\r\nt\r\n");
  }
  InstallationReport Check() {
    return CheckInstallation(backend, nullptr, dir.path(), "velorad.settings");
  }

  testing::TempDir dir;
  MemorySettingsBackend backend;
};

TEST_F(InstallationCheckTest, TheDefaultInstallationPassesAndIsCounted) {
  const InstallationReport report = Check();
  EXPECT_TRUE(report.problems.empty()) << Listing(report.problems);
  EXPECT_TRUE(report.notes.empty());
  EXPECT_TRUE(report.usersFound);
  EXPECT_EQ(report.accounts, 2u);
  EXPECT_EQ(report.administrators, 1u);
  EXPECT_EQ(report.storedMessages, 2u);
  EXPECT_EQ(report.feedback, 1u);
  EXPECT_GT(report.pages, 20u);
  EXPECT_EQ(report.contentFolder, "./content/");
}

// The service keeps the folder locked while it runs; the check reads beside it and writes nothing.
TEST_F(InstallationCheckTest, RunsBesideARunningServerAndWritesNothing) {
  FolderLock lock;
  std::string error;
  ASSERT_TRUE(lock.Acquire(dir.path(), error)) << error;
  const auto listing = [&] {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      if (entry.is_regular_file()) {
        files.emplace_back(entry.path().filename(), ReadFileBytes(entry.path()));
      }
    }
    std::sort(files.begin(), files.end());
    return files;
  };
  const auto before = listing();
  EXPECT_TRUE(Check().problems.empty());
  EXPECT_EQ(listing(), before);
  EXPECT_TRUE(backend.WriteLog().empty()) << "nor the settings";
}

TEST_F(InstallationCheckTest, WithoutUsersFileAStartGoesAheadWithoutAccounts) {
  fs::remove(dir.File("users.txt"));
  const InstallationReport report = Check();
  EXPECT_TRUE(report.problems.empty()) << Listing(report.problems);
  EXPECT_FALSE(report.usersFound);
  EXPECT_THAT(report.notes, ::testing::ElementsAre(HasSubstr("users.txt not found")));
}

struct Fault {
  const char* what;
  std::function<void(testing::TempDir&, MemorySettingsBackend&)> make;
  std::string described;
};

void PrintTo(const Fault& fault, std::ostream* out) {
  *out << fault.what;
}

class InstallationFaultTest : public InstallationCheckTest,
                              public ::testing::WithParamInterface<Fault> {};

TEST_P(InstallationFaultTest, IsNamedWithFileAndLine) {
  GetParam().make(dir, backend);
  const InstallationReport report = Check();
  EXPECT_THAT(Listing(report.problems), HasSubstr(GetParam().described));
}

void Replace(const std::string& path, const std::string& from, const std::string& to) {
  std::string bytes = ReadFileBytes(path);
  bytes.replace(bytes.find(from), from.size(), to);
  WriteFileBytes(path, bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, InstallationFaultTest,
    ::testing::Values(
        // GAST's message count, after eleven empty fields.
        Fault{"users.txt with a word for a count",
              [](auto& dir, auto&) { Replace(dir.File("users.txt"), "\r\n0\r\n", "\r\nx\r\n"); },
              "users.txt:35: the number of messages of account 2 expected, a whole number"},
        Fault{"unreadable users.txt",
              [](auto& dir, auto&) {
                fs::remove(dir.File("users.txt"));
                fs::create_directory(dir.File("users.txt"));
              },
              "users.txt: " + std::string(std::strerror(EISDIR))},
        Fault{"a page links to nothing",
              [](auto& dir, auto&) {
                Replace(dir.File("content/menumain.txt"), "hilfe\r\n", "hilfe2\r\n");
              },
              "./content/menumain.txt:17: no page hilfe2.txt for the action hilfe2"},
        Fault{"no content folder", [](auto& dir, auto&) { fs::remove_all(dir.File("content")); },
              "./content/ does not exist"},
        Fault{"content folder without its separator",
              [](auto&, auto& backend) {
                backend.PutString(SettingsKeyPath, "EditCSContent", "./content");
              },
              "velorad.settings: the content folder ./content must end in /"},
        Fault{"a setting of the wrong kind",
              [](auto&, auto& backend) { backend.PutInteger(SettingsKeyPath, "EditCSContent", 5); },
              "velorad.settings: "}),
    [](const ::testing::TestParamInfo<Fault>& info) {
      std::string name;
      for (char c : std::string(info.param.what))
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

}  // namespace
}  // namespace velora
