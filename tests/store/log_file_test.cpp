#include "store/log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/cp1252.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

using testing::ManualClock;
using testing::ReadFileBytes;
using testing::RecordingUi;
using testing::TempDir;

class LogFileTest : public ::testing::Test {
 protected:
  std::string Current() { return ReadFileBytes(dir.File("veloraserverlog.txt")); }

  TempDir dir;
  ManualClock clock;
  RecordingUi ui;
  LogFile log{clock, ui, dir.path()};
};

TEST_F(LogFileTest, LinesCarryTheTickCountAndEndInCrLf) {
  ASSERT_TRUE(log.Open());
  clock.tick = 250;
  log.Log("TXEN send");
  log.LogE(std::string("\x00\x06\x06\x01\x01\x42", 6));
  EXPECT_EQ(Current(), "250:TXEN send\r\n250:<0><6><6><1><1>B\r\n");
}

TEST_F(LogFileTest, HeaderHasTitleDateAndAbbreviationBlock) {
  ASSERT_TRUE(log.Open());
  clock.tick = 7;
  clock.now = {2026, 12, 6, 9, 7, 0, 0};
  log.WriteHeader();
  EXPECT_EQ(Current(),
            "7:VELORA SERVER LOGFILE\r\n"
            "7:Sonntag, 06. Dezember 2026 @ 09:07\r\n"
            "7:Abbreviations:\r\n"
            "SEND: this data is passed to comm\r\n"
            "SENT: this data was sent to comm\r\n"
            "DROP: this data was received and dropped\r\n"
            "RCVD: this is a correct packet\r\n"
            "TIMER: timer event\r\n"
            "(receive-)wait: waiting (for data)\r\n");
}

TEST_F(LogFileTest, LevelDecidesWhatLogAtWrites) {
  ASSERT_TRUE(log.Open());
  log.level = 0;
  log.LogAt(1,
            "Port ge\xF6"
            "ffnet");
  log.Log("always");
  log.level = 4;
  log.LogAt(4, "TIMER");
  EXPECT_EQ(Current(), "0:always\r\n0:TIMER\r\n");
}

TEST_F(LogFileTest, OpeningTruncatesAndTheFileIsOwnerOnly) {
  testing::WriteFileBytes(dir.File("veloraserverlog.txt"), "old run\r\n");
  ::chmod(dir.File("veloraserverlog.txt").c_str(), 0644);
  ASSERT_TRUE(log.Open());
  EXPECT_EQ(Current(), "");
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("veloraserverlog.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LogFileTest, OpenFailsInAMissingDirectory) {
  LogFile elsewhere(clock, ui, dir.File("missing"));
  EXPECT_FALSE(elsewhere.Open());
  elsewhere.Log("dropped while closed");
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(LogFileTest, MainLogGoesToTheEventListAndOptionallyTheFile) {
  ASSERT_TRUE(log.Open());
  log.MainLog("Kicke TI 5 (gast)", false);
  log.MainLog("Neue niedrigste Adresse:255", true);
  EXPECT_EQ(ui.events,
            (std::vector<std::string>{"Kicke TI 5 (gast)", "Neue niedrigste Adresse:255"}));
  EXPECT_EQ(Current(), "0:Neue niedrigste Adresse:255\r\n");
}

TEST_F(LogFileTest, EventLinesShowControlBytesTheFileKeepsThem) {
  ASSERT_TRUE(log.Open());
  log.MainLog("TI Nr. 1 abgemeldet, Name:a\x1B]0;x\x07\r\n", true);
  EXPECT_EQ(ui.events,
            (std::vector<std::string>{"TI Nr. 1 abgemeldet, Name:a\\x1B]0;x\\x07\\x0D\\x0A"}));
  EXPECT_EQ(Current(), "0:TI Nr. 1 abgemeldet, Name:a\x1B]0;x\x07\r\n\r\n");
}

TEST_F(LogFileTest, ContinuesInATimeStampedFileWithoutHeader) {
  ASSERT_TRUE(log.Open());
  const std::string line(124, 'x');  // 128 bytes with "0:" and CR LF
  for (int i = 0; i < 2000; ++i)
    log.Log(line);
  log.CheckContinuation(2000, false);  // exactly 2000 * 128 bytes: not above the limit
  EXPECT_EQ(log.CurrentPath(), dir.File("veloraserverlog.txt"));
  log.Log(std::string(124, 'y'));  // 2001 * 128 bytes: one line more than allowed
  clock.now = {2026, 12, 6, 9, 7, 5, 0};
  log.CheckContinuation(2000, false);
  EXPECT_EQ(log.CurrentPath(), dir.File("veloraserverlog20261206@090705.txt"));
  log.Log("after");
  EXPECT_EQ(ReadFileBytes(log.CurrentPath()), "0:after\r\n");
  EXPECT_EQ(Current().size(), 2001u * 128);
}

TEST_F(LogFileTest, SameLogFileTruncatesTheCurrentLog) {
  ASSERT_TRUE(log.Open());
  for (int i = 0; i < 3000; ++i)
    log.Log(std::string(200, 'x'));
  log.CheckContinuation(2000, true);
  log.Log("fresh");
  EXPECT_EQ(log.CurrentPath(), dir.File("veloraserverlog.txt"));
  EXPECT_EQ(Current(), "0:fresh\r\n");
}

TEST_F(LogFileTest, TwoContinuationsInOneSecondShareTheName) {
  ASSERT_TRUE(log.Open());
  for (int i = 0; i < 3000; ++i)
    log.Log(std::string(200, 'x'));
  log.CheckContinuation(2000, false);
  for (int i = 0; i < 3000; ++i)
    log.Log(std::string(200, 'y'));
  log.CheckContinuation(2000, false);
  log.Log("second");
  EXPECT_EQ(ReadFileBytes(log.CurrentPath()), "0:second\r\n");
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
    ++files;
  EXPECT_EQ(files, 2);
}

TEST_F(LogFileTest, AFailedWriteShowsTheMessageAndCarriesOn) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::filesystem::create_symlink("/dev/full", dir.File("veloraserverlog.txt"));
  ASSERT_TRUE(log.Open());
  log.Log("lost");
  log.Log("lost too");
  EXPECT_EQ(ui.messages, (std::vector<std::string>{"Fehler beim Schreiben in Log",
                                                   "Fehler beim Schreiben in Log"}));
}

}  // namespace
}  // namespace velora
