#include "store/log_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

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
  // The current log as it would be after the next cycle's start.
  std::string Current() {
    log.Flush();
    return ReadFileBytes(dir.File("veloraserverlog.txt"));
  }
  std::string OnDisk() { return ReadFileBytes(dir.File("veloraserverlog.txt")); }

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
  log.Flush();
  EXPECT_EQ(ReadFileBytes(log.CurrentPath()), "0:after\r\n");
  EXPECT_EQ(OnDisk().size(), 2001u * 128);
}

TEST_F(LogFileTest, LinesReachTheDiskAtTheCycleCheckAtCloseOrWhenManyAreBuffered) {
  ASSERT_TRUE(log.Open());
  log.Log("one");
  log.Log("two");
  EXPECT_EQ(OnDisk(), "") << "buffered";
  log.CheckContinuation(2000, false);
  EXPECT_EQ(OnDisk(), "0:one\r\n0:two\r\n");
  log.Log("three");
  log.Close();
  EXPECT_EQ(OnDisk(), "0:one\r\n0:two\r\n0:three\r\n");

  ASSERT_TRUE(log.Open());
  const std::string line(1022, 'x');  // 1 KiB a line
  for (int i = 0; i < 100 && OnDisk().empty(); ++i)
    log.Log(line);
  EXPECT_GT(OnDisk().size(), 0u) << "a large buffer is written without waiting for the cycle";
  EXPECT_LE(OnDisk().size(), 100u * 1024);
}

TEST_F(LogFileTest, TheContinuationCountsBufferedLines) {
  ASSERT_TRUE(log.Open());
  const std::string line(124, 'x');
  for (int i = 0; i < 400; ++i)
    log.Log(line);  // 400 * 128 bytes, partly still buffered
  log.CheckContinuation(399, false);
  EXPECT_NE(log.CurrentPath(), dir.File("veloraserverlog.txt"));
  EXPECT_EQ(OnDisk().size(), 400u * 128) << "the old file got every line";
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

TEST_F(LogFileTest, ContinuationsNeverOverwriteAFile) {
  ASSERT_TRUE(log.Open());
  testing::WriteFileBytes(dir.File("veloraserverlog20261206@090705-2.txt"), "earlier run\r\n");
  clock.now = {2026, 12, 6, 9, 7, 5, 0};
  for (const char c : {'x', 'y'}) {
    for (int i = 0; i < 3000; ++i)
      log.Log(std::string(200, c));
    log.CheckContinuation(2000, false);
  }
  log.Log("last");
  log.Flush();
  EXPECT_EQ(log.CurrentPath(), dir.File("veloraserverlog20261206@090705-3.txt"));
  EXPECT_EQ(ReadFileBytes(log.CurrentPath()), "0:last\r\n");
  EXPECT_EQ(ReadFileBytes(dir.File("veloraserverlog20261206@090705-2.txt")), "earlier run\r\n");
  EXPECT_EQ(ReadFileBytes(dir.File("veloraserverlog20261206@090705.txt")).substr(0, 3), "0:y");
  EXPECT_TRUE(ui.messages.empty());
}

// The disk is full: the first failed line is reported, the following ones are not, until a line
// has been written again.
TEST_F(LogFileTest, AFailedWriteIsReportedOncePerStreak) {
  ASSERT_TRUE(log.Open());
  log.Log("fits");
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  auto limit = [&](rlim_t bytes) {
    struct rlimit lower = old;
    lower.rlim_cur = bytes;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lower), 0);
  };
  const rlim_t size = Current().size();
  limit(size);
  log.Log("lost");
  log.Flush();
  log.Log("lost too");
  log.Flush();
  EXPECT_EQ(ui.messages, (std::vector<std::string>{"Fehler beim Schreiben in Log"}));
  limit(size + 100);
  log.Log("written");
  log.Flush();
  limit(size + 9);
  log.Log("lost again");
  log.Flush();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(ui.messages, (std::vector<std::string>{"Fehler beim Schreiben in Log",
                                                   "Fehler beim Schreiben in Log"}));
  EXPECT_EQ(Current().substr(0, size + 11), "0:fits\r\n0:written\r\n");
}

// Old continuation files are removed, oldest first, once they take more than the limit together:
// at the first check after opening and after each continuation.
TEST_F(LogFileTest, OldContinuationFilesAreRemovedOldestFirstBeyondTheFolderLimit) {
  const std::string mb(1024 * 1024, 'o');
  for (const char* name :
       {"veloraserverlog20261205@120000-2.txt", "veloraserverlog20261204@235959.txt",
        "veloraserverlog20261205@120000.txt"})
    testing::WriteFileBytes(dir.File(name), mb);
  testing::WriteFileBytes(dir.File("notes.txt"), mb + mb);
  ASSERT_TRUE(log.Open());
  log.CheckContinuation(2000, false, 0);
  EXPECT_TRUE(std::filesystem::exists(dir.File("veloraserverlog20261204@235959.txt")))
      << "0: no limit";

  ASSERT_TRUE(log.Open());
  log.CheckContinuation(2000, false, 2);
  EXPECT_FALSE(std::filesystem::exists(dir.File("veloraserverlog20261204@235959.txt")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("veloraserverlog20261205@120000.txt")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("notes.txt")));
  EXPECT_EQ(Current(),
            "0:NOTE : removed old log file veloraserverlog20261204@235959.txt (log files above 2 "
            "MB)\r\n");
  log.CheckContinuation(2000, false, 1);
  EXPECT_TRUE(std::filesystem::exists(dir.File("veloraserverlog20261205@120000.txt")))
      << "checked only after continuations";

  // A continuation checks again: of two files of one second, the one without counter is older.
  for (int i = 0; i < 2001; ++i)
    log.Log(std::string(124, 'x'));
  clock.now = {2026, 12, 6, 9, 7, 5, 0};
  log.CheckContinuation(2000, false, 1);
  log.Flush();
  EXPECT_FALSE(std::filesystem::exists(dir.File("veloraserverlog20261205@120000.txt")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("veloraserverlog20261205@120000-2.txt")));
  EXPECT_EQ(ReadFileBytes(log.CurrentPath()),
            "0:NOTE : removed old log file veloraserverlog20261205@120000.txt (log files above 1 "
            "MB)\r\n");
}

}  // namespace
}  // namespace velora
