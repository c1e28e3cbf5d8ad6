#include "store/whole_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "support/recording_ui.h"

namespace velora {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WholeFileTest, ReplacingLeavesNoTemporaryFilesAndNothingOfTheOldContent) {
  TempDir dir;
  WriteFileBytes(dir.File("users.txt"), std::string(5000, 'x'));
  ReplaceFileContents(dir.File("users.txt"), "neu\r\n", true);
  EXPECT_EQ(ReadWholeFile(dir.File("users.txt")), "neu\r\n");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"users.txt"});
}

TEST(WholeFileTest, AFileThatIsALinkStaysALink) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("daten"));
  WriteFileBytes(dir.File("daten/users.txt"), "alt");
  std::filesystem::create_symlink("zwischen", dir.File("users.txt"));
  std::filesystem::create_symlink("daten/users.txt", dir.File("zwischen"));
  std::filesystem::create_symlink("daten/neu.txt", dir.File("resfdbck.txt"));  // not there yet
  ReplaceFileContents(dir.File("users.txt"), "Username=GAST\r\n", true);
  ReplaceFileContents(dir.File("resfdbck.txt"), "anna\r\ngut\r\nt\r\n", false);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("users.txt")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("zwischen")));
  EXPECT_EQ(ReadFileBytes(dir.File("daten/users.txt")), "Username=GAST\r\n");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("resfdbck.txt")));
  EXPECT_EQ(ReadFileBytes(dir.File("daten/neu.txt")), "anna\r\ngut\r\nt\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("daten/users.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(Names(dir.File("daten")), (std::vector<std::string>{"neu.txt", "users.txt"}))
      << "no temporary files";
}

}  // namespace
}  // namespace velora
