// Matching and deleting the old log files.
#include "store/old_logs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/cp1252.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

using testing::TempDir;
using testing::WriteFileBytes;

TEST(OldLogsTest, MatchesOnlyTheDatedNames) {
  struct Case {
    std::string_view name;
    bool dated;
  };
  for (const Case& c : {
           Case{"veloraserverlog20261206@090705.txt", true},
           Case{"veloraserverlogabcdefgh@ijklmn.txt", true},  // any characters in the slots
           Case{"veloraserverlog.txt", false},
           Case{"veloraserverlog2026120@090705.txt", false},
           Case{"veloraserverlog20261206@0907055.txt", false},
           Case{"veloraserverlog20261206-090705.txt", false},
           Case{"veloraserverlog20261206@090705.log", false},
           Case{"Veloraserverlog20261206@090705.txt", false},
           Case{"xveloraserverlog20261206@09070.txt", false},
           Case{"veloraserverlog20261206@090705-2.txt", true},  // a second one in that second
           Case{"veloraserverlog20261206@090705-17.txt", true},
           Case{"veloraserverlog20261206@090705-.txt", false},
           Case{"veloraserverlog20261206@090705-2a.txt", false},
           Case{"veloraserverlog20261206@090705 2.txt", false},
       }) {
    EXPECT_EQ(IsDatedLogFileName(c.name), c.dated) << c.name;
  }
}

TEST(OldLogsTest, DeletesDatedAndCurrentLogsAndCountsThem) {
  TempDir dir;
  EXPECT_EQ(DeleteOldLogs(dir.path()), 0);
  EXPECT_EQ(DeletedLogsMessage(0), "0 Logdateien gelöscht."_cp);

  WriteFileBytes(dir.File("veloraserverlog.txt"), "current");
  EXPECT_EQ(DeleteOldLogs(dir.path()), 1);
  EXPECT_EQ(DeletedLogsMessage(1), "Eine Logdatei gelöscht."_cp);
  EXPECT_FALSE(std::filesystem::exists(dir.File("veloraserverlog.txt")));

  WriteFileBytes(dir.File("veloraserverlog20261206@090705.txt"), "a");
  WriteFileBytes(dir.File("veloraserverlog20261207@101010.txt"), "b");
  WriteFileBytes(dir.File("veloraserverlog.txt"), "current");
  WriteFileBytes(dir.File("users.txt"), "keep");
  std::filesystem::create_directory(dir.File("veloraserverlog20261208@000000.txt"));
  EXPECT_EQ(DeleteOldLogs(dir.path()), 3);
  EXPECT_EQ(DeletedLogsMessage(3), "3 Logdateien gelöscht."_cp);
  EXPECT_TRUE(std::filesystem::exists(dir.File("users.txt")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("veloraserverlog20261208@000000.txt")))
      << "a directory of that name is no log file";
  EXPECT_FALSE(std::filesystem::exists(dir.File("veloraserverlog20261206@090705.txt")));
}

TEST(OldLogsTest, RemovesTheOldestDatedLogsDownToTheLimitButNeverTheOneKept) {
  TempDir dir;
  // Oldest first by time stamp, then counter; the one kept is older still (the clock went back).
  const std::vector<std::string> dated{
      "veloraserverlog20250101@000000.txt", "veloraserverlog20261205@120000.txt",
      "veloraserverlog20261205@120000-2.txt", "veloraserverlog20261205@120000-10.txt",
      "veloraserverlog20261206@080000.txt"};
  for (const std::string& name : dated)
    WriteFileBytes(dir.File(name), std::string(100, 'x'));
  WriteFileBytes(dir.File("veloraserverlog.txt"), std::string(1000, 'c'));
  WriteFileBytes(dir.File("other.txt"), std::string(1000, 'o'));

  EXPECT_TRUE(RemoveOldestDatedLogs(dir.path(), 500, dated[0]).empty()) << "500 bytes in all";
  EXPECT_EQ(RemoveOldestDatedLogs(dir.path(), 250, dated[0]),
            (std::vector<std::string>{dated[1], dated[2], dated[3]}));
  for (std::size_t i = 0; i < dated.size(); ++i)
    EXPECT_EQ(std::filesystem::exists(dir.File(dated[i])), i == 0 || i == 4) << dated[i];
  EXPECT_EQ(RemoveOldestDatedLogs(dir.path(), 0, dated[0]), (std::vector<std::string>{dated[4]}));
  EXPECT_TRUE(std::filesystem::exists(dir.File(dated[0])));
  EXPECT_TRUE(std::filesystem::exists(dir.File("veloraserverlog.txt")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("other.txt")));
  EXPECT_TRUE(RemoveOldestDatedLogs(dir.File("missing"), 0, "").empty());
}

}  // namespace
}  // namespace velora
