#include "store/user_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/cp1252.h"
#include "store/feedback_format.h"
#include "store/users_format.h"
#include "support/recording_ui.h"
#include "users_file_text.h"

namespace velora {
namespace {

using testing::Account;
using testing::CountLine;
using testing::kHeader;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

class UserFilesTest : public ::testing::Test {
 protected:
  UserFileReport Load() { return LoadUserData(dir.path(), users, feedback, uptime); }
  UserFileReport Save() { return SaveUserData(dir.path(), users, feedback, uptime); }
  std::string UsersBytes() { return ReadFileBytes(dir.File("users.txt")); }
  std::string FeedbackBytes() { return ReadFileBytes(dir.File("resfdbck.txt")); }
  unsigned Mode(const std::string& name) {
    struct stat st {};
    EXPECT_EQ(::stat(dir.File(name).c_str(), &st), 0);
    return st.st_mode & 07777;
  }

  TempDir dir;
  UserTable users;
  FeedbackList feedback;
  std::int32_t uptime = 0;
};

TEST_F(UserFilesTest, StartWithoutUsersFileThenSaveWritesThreeLines) {
  uptime = 12;
  const UserFileReport report = Load();
  EXPECT_EQ(report.outcome, UserFileOutcome::UsersMissing);
  EXPECT_EQ(report.eventLine, "\"users.txt\" not found.");
  EXPECT_TRUE(report.boxes.empty());
  EXPECT_TRUE(users.empty());

  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  EXPECT_EQ(UsersBytes(), kHeader + CountLine(0) + "12\r\n");
  EXPECT_NE(UsersBytes().find("ver\xE4ndert"), std::string::npos) << "umlauts as Windows-1252";
  EXPECT_EQ(FeedbackBytes(), "");
}

TEST_F(UserFilesTest, FeedbackIsKeptWhenTheUsersFileIsMissing) {
  WriteFileBytes(dir.File("resfdbck.txt"),
                 "anna\r\n" + std::string("Schön!"_cp) + "\r\n06.12.2026 09:07:00\r\n");
  EXPECT_EQ(Load().outcome, UserFileOutcome::UsersMissing);
  ASSERT_EQ(feedback.size(), 1u);
  EXPECT_EQ(feedback[0].Text, "Schön!"_cp);
  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  EXPECT_EQ(FeedbackBytes(), "anna\r\n" + std::string("Schön!"_cp) + "\r\n06.12.2026 09:07:00\r\n")
      << "closing after a start without users.txt must not wipe the feedback";
}

TEST_F(UserFilesTest, OnlyAFeedbackFileThatIsThereReplacesTheList) {
  WriteFileBytes(dir.File("users.txt"), kHeader + CountLine(0) + "0\r\n");
  feedback = {{"a", "b", "c"}};
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  EXPECT_EQ(feedback.size(), 1u) << "no file leaves the list alone";

  WriteFileBytes(dir.File("resfdbck.txt"), "");
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  EXPECT_TRUE(feedback.empty()) << "an empty file gives an empty list";
}

TEST_F(UserFilesTest, FilesThisProgramWroteRoundTripByteForByte) {
  // Umlauts, ß, the euro sign and C1 bytes all survive.
  const std::string highBytes = "\x80\x81\x8D\x9F\xA0\xC4\xD6\xDC\xDF\xE4\xF6\xFC\xFF";
  const std::string usersFile =
      kHeader + CountLine(2) + "123456\r\n" +
      Account("Username=M\xD6WE", "Passwort=p\xE4\xDF=" + highBytes, "true",
              "1\r\nJ\xFCrgen\r\nGr\xFC\xDF"
              "e " +
                  highBytes + "\r\n06.12.2026 09:07:00\r\n" + "false\r\n") +
      "Username=GAST\r\nPasswort=\r\nfalse\r\npop\r\npu\r\npp\r\nsmtp\r\nsu\r\nsp\r\nr@x\r\n"
      "\"G\" <g@x>\r\n0\r\n";
  const std::string feedbackFile =
      "anna\r\n\xC4rger mit \x80 und " + highBytes + "\r\n06.12.2026 09:07:00\r\n\r\n\r\n\r\n";
  WriteFileBytes(dir.File("users.txt"), usersFile);
  WriteFileBytes(dir.File("resfdbck.txt"), feedbackFile);
  users.resize(5);
  users[0].Online = true;
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  ASSERT_EQ(users.size(), 2u) << "loading replaces the table";
  EXPECT_FALSE(users[0].Online);
  EXPECT_FALSE(users[1].Online);
  EXPECT_EQ(users[0].Name, "M\xD6WE");
  EXPECT_EQ(users[0].Messages[0].Text,
            "Gr\xFC\xDF"
            "e " +
                highBytes);
  ASSERT_EQ(feedback.size(), 2u);

  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  EXPECT_EQ(UsersBytes(), usersFile);
  EXPECT_EQ(FeedbackBytes(), feedbackFile);
}

// A malformed user file is the loading error, which names the file, the line and what it should
// have held, and nothing of either file reaches the tables.
TEST_F(UserFilesTest, AMalformedUsersFileIsTheLoadingError) {
  WriteFileBytes(dir.File("users.txt"), kHeader + CountLine(0) + "lange\r\n");
  WriteFileBytes(dir.File("resfdbck.txt"), "anna\r\ngut\r\nt\r\n");
  users = UserTable(1);
  users[0].Name = "BEFORE";
  feedback = {{"before", "x", "y"}};
  uptime = 9;
  const UserFileReport report = Load();
  EXPECT_EQ(report.outcome, UserFileOutcome::Fatal);
  EXPECT_EQ(report.boxes, std::vector<std::string>{"Exception on loading user data (users.txt, "
                                                   "line 3: the total uptime expected, a whole "
                                                   "number)"});
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].Name, "BEFORE");
  ASSERT_EQ(feedback.size(), 1u);
  EXPECT_EQ(feedback[0].Author, "before");
  EXPECT_EQ(uptime, 9);
}

TEST_F(UserFilesTest, UnreadableFilesAreReportedWithTheirMessages) {
  std::filesystem::create_directory(dir.File("users.txt"));
  UserFileReport report = Load();
  EXPECT_EQ(report.outcome, UserFileOutcome::Fatal);
  EXPECT_EQ(report.boxes, std::vector<std::string>{"Exception on loading user data (users.txt: " +
                                                   std::string(std::strerror(EISDIR)) + ")"});
  std::filesystem::remove(dir.File("users.txt"));

  WriteFileBytes(dir.File("users.txt"), kHeader + CountLine(0) + "0\r\n");
  std::filesystem::create_directory(dir.File("resfdbck.txt"));
  feedback = {{"before", "x", "y"}};
  report = Load();
  EXPECT_EQ(report.outcome, UserFileOutcome::Fatal);
  ASSERT_EQ(report.boxes.size(), 1u);
  EXPECT_EQ(report.boxes[0], "Exception on loading feedback" + std::string(std::strerror(EISDIR)));
  EXPECT_EQ(feedback.size(), 1u);
}

TEST_F(UserFilesTest, WriteFailuresNameTheirFile) {
  users.resize(1);
  users[0].Name = "GAST";
  feedback = {{"anna", "gut", "t"}};

  std::filesystem::create_directory(dir.File("users.txt"));
  UserFileReport report = Save();
  const std::string isDir = std::strerror(EISDIR);
  EXPECT_EQ(report.outcome, UserFileOutcome::Warning);
  EXPECT_EQ(report.boxes,
            std::vector<std::string>{"Exception on writing user data (users.txt: " + isDir + ")"});
  EXPECT_EQ(report.failed, std::vector<std::string>{"users.txt: " + isDir});
  EXPECT_EQ(FeedbackBytes(), "anna\r\ngut\r\nt\r\n") << "the feedback is still written";
  std::filesystem::remove(dir.File("users.txt"));

  std::filesystem::remove(dir.File("resfdbck.txt"));
  std::filesystem::create_directory(dir.File("resfdbck.txt"));
  report = Save();
  EXPECT_EQ(report.outcome, UserFileOutcome::Fatal);
  EXPECT_EQ(report.boxes, std::vector<std::string>{"Exception on writing feedback" + isDir});
  EXPECT_EQ(report.failed, std::vector<std::string>{"resfdbck.txt: " + isDir});
  EXPECT_NE(UsersBytes().find("Username=GAST"), std::string::npos);

  report = SaveUserData(dir.File("missing"), users, feedback, uptime);
  EXPECT_EQ(report.outcome, UserFileOutcome::Fatal);
  const std::string missing = std::strerror(ENOENT);
  EXPECT_EQ(report.boxes,
            (std::vector<std::string>{"Exception on writing user data (users.txt: " + missing + ")",
                                      "Exception on writing feedback" + missing}));
  EXPECT_EQ(report.failed,
            (std::vector<std::string>{"users.txt: " + missing, "resfdbck.txt: " + missing}));
}

TEST_F(UserFilesTest, UsersFileIsOwnerOnlyAndFeedbackKeepsItsMode) {
  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  EXPECT_EQ(Mode("users.txt"), 0600u);

  ::chmod(dir.File("users.txt").c_str(), 0644);
  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  EXPECT_EQ(Mode("users.txt"), 0600u) << "a wider mode is narrowed";

  ::chmod(dir.File("users.txt").c_str(), 0400);
  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  EXPECT_EQ(Mode("users.txt"), 0400u) << "a stricter mode is kept";

  ::chmod(dir.File("resfdbck.txt").c_str(), 0640);
  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  EXPECT_EQ(Mode("resfdbck.txt"), 0640u);
}

std::uint64_t Inode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_ino;
}

// Saving during a run: the files as loaded are kept as ".bak" before the first write, and only a
// file whose bytes changed is written.
TEST_F(UserFilesTest, ARunKeepsTheFilesAsLoadedAndRewritesOnlyWhatChanged) {
  const std::string usersFile =
      kHeader + CountLine(1) + "5\r\n" + Account("Username=GAST", "Passwort=x", "false");
  const std::string feedbackFile = "anna\r\ngut\r\nt\r\n";
  WriteFileBytes(dir.File("users.txt"), usersFile);
  WriteFileBytes(dir.File("resfdbck.txt"), feedbackFile);
  UserFiles files(dir.path());
  ASSERT_EQ(files.Load(users, feedback, uptime).outcome, UserFileOutcome::Done);
  const std::uint64_t usersInode = Inode(dir.File("users.txt"));
  const std::uint64_t feedbackInode = Inode(dir.File("resfdbck.txt"));

  EXPECT_EQ(files.Save(users, feedback, uptime).outcome, UserFileOutcome::Done);
  EXPECT_EQ(Inode(dir.File("users.txt")), usersInode) << "nothing changed, nothing written";
  EXPECT_FALSE(std::filesystem::exists(dir.File("users.txt.bak")));

  users[0].Password = "neu";
  EXPECT_EQ(files.Save(users, feedback, uptime).outcome, UserFileOutcome::Done);
  EXPECT_NE(UsersBytes().find("Passwort=neu\r\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(dir.File("users.txt.bak")), usersFile);
  EXPECT_EQ(ReadFileBytes(dir.File("resfdbck.txt.bak")), feedbackFile);
  EXPECT_EQ(Mode("users.txt.bak"), 0600u);
  EXPECT_EQ(Inode(dir.File("resfdbck.txt")), feedbackInode) << "the feedback did not change";

  users[0].Password = "neuer";
  uptime = 77;
  feedback.push_back({"bert", "auch", "t"});
  EXPECT_EQ(files.Save(users, feedback, uptime).outcome, UserFileOutcome::Done);
  EXPECT_EQ(ReadFileBytes(dir.File("users.txt.bak")), usersFile) << "the backup of the start";
  EXPECT_EQ(UsersBytes(), FormatUsersFile(users, 77));
  EXPECT_EQ(FeedbackBytes(), FormatFeedbackFile(feedback));

  // A write that fails is tried again at the next save.
  std::filesystem::remove(dir.File("users.txt"));
  std::filesystem::create_directory(dir.File("users.txt"));
  users[0].Password = "x";
  EXPECT_EQ(files.Save(users, feedback, uptime).failed.size(), 1u);
  std::filesystem::remove(dir.File("users.txt"));
  EXPECT_TRUE(files.Save(users, feedback, uptime).failed.empty());
  EXPECT_EQ(UsersBytes(), FormatUsersFile(users, 77));
}

TEST_F(UserFilesTest, TemporaryFilesOfAKilledSaveAreRemovedAtTheNextStart) {
  std::filesystem::create_directory(dir.File("daten"));
  std::filesystem::create_symlink("daten/users.txt", dir.File("users.txt"));
  const std::vector<std::string> stale = {"daten/users.txt.tmp4711-0", "resfdbck.txt.tmp12-3",
                                          "users.txt.bak.tmp9-0", "resfdbck.txt.bak.tmp1-1"};
  const std::vector<std::string> kept = {"users.txt.tmp",     "users.txt.tmpx-1",
                                         "users.txt.tmp1-2x", "notizen.txt",
                                         "users.txt.tmp5-",   "daten/andere.txt.tmp1-1"};
  for (const std::string& name : stale)
    WriteFileBytes(dir.File(name), "halb");
  for (const std::string& name : kept)
    WriteFileBytes(dir.File(name), "bleibt");
  std::vector<std::string> removed = RemoveStaleTempFiles(dir.path());
  std::sort(removed.begin(), removed.end());
  std::vector<std::string> expected;
  for (const std::string& name : stale)
    expected.push_back(dir.File(name));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(removed, expected);
  for (const std::string& name : stale)
    EXPECT_FALSE(std::filesystem::exists(dir.File(name))) << name;
  for (const std::string& name : kept)
    EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
}

}  // namespace
}  // namespace velora
