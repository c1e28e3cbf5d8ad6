#include "store/user_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include "support/bytes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/cp1252.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

const std::string kHeader =
    std::string("Die Zeilenanzahl und -struktur in dieser Datei darf nicht verändert werden!"_cp) +
    "\r\n";

// The count line with any text after its "=".
std::string CountText(std::string_view count) {
  return std::string("Anzahl der Einträge="_cp) + std::string(count) + "\r\n";
}
std::string CountLine(int n) {
  return CountText(std::to_string(n));
}

// One account without mail settings, in file form.
std::string Account(std::string_view nameLine, std::string_view passwordLine,
                    std::string_view adminLine, std::string_view messages = "0\r\n") {
  std::string out;
  out += nameLine;
  out += "\r\n";
  out += passwordLine;
  out += "\r\n";
  out += adminLine;
  out += "\r\n";
  for (int i = 0; i < 8; ++i)
    out += "\r\n";
  out += messages;
  return out;
}

class UserFileTest : public ::testing::Test {
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

TEST_F(UserFileTest, NamesLoadUpperCaseAndPasswordsKeepCaseAndEquals) {
  WriteFileBytes(dir.File("users.txt"),
                 kHeader + CountLine(2) + "77\r\n" +
                     Account("Username=gast", "Passwort=GeHeim=1=2", "false") +
                     Account("anna", "ohneGleich", "false"));
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].Name, "GAST");
  EXPECT_EQ(users[0].Password, "GeHeim=1=2") << "everything after the first = is the password";
  EXPECT_EQ(users[1].Name, "ANNA") << "a line without = is taken whole";
  EXPECT_EQ(users[1].Password, "ohneGleich");
  EXPECT_EQ(uptime, 77);

  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  const auto lines = testing::SplitCrLf(UsersBytes());
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[3], "Username=GAST");
  EXPECT_EQ(lines[4], "Passwort=GeHeim=1=2");
}

TEST_F(UserFileTest, AnAccountWithTwoMessagesIsTwentyLines) {
  Tuserdata user;
  user.Name = "GAST";
  user.Password = "gast";
  user.IsAdmin = true;
  user.Pop3Host = "pop.example.org";
  user.Pop3User = "p-user";
  user.Pop3Password = "p-pass";
  user.SmtpHost = "smtp.example.org";
  user.SmtpUser = "s-user";
  user.SmtpPassword = "s-pass";
  user.ReplyTo = "gast@example.org";
  user.FromHeader = "Gast <gast@example.org>";
  user.Messages = {{"anna", "Hallo", "06.12.2026 09:07:00", true},
                   {"Bert", std::string("Tschüß"_cp), "06.12.2026 09:08:00", false}};
  users = {user};
  uptime = 3600;
  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);

  const auto lines = testing::SplitCrLf(UsersBytes());
  ASSERT_EQ(lines.size(), 3u + 20u);
  EXPECT_EQ(lines[1] + "\r\n", CountLine(1));
  EXPECT_EQ(lines[2], "3600");
  // The mail settings stand in the file in their own order, not in the record's.
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.begin() + 15),
            (std::vector<std::string>{"Username=GAST", "Passwort=gast", "true", "pop.example.org",
                                      "p-user", "p-pass", "smtp.example.org", "s-user", "s-pass",
                                      "gast@example.org", "Gast <gast@example.org>", "2"}));
  EXPECT_EQ(lines[15], "anna");
  EXPECT_EQ(lines[18], "true");
  EXPECT_EQ(lines[20], std::string("Tschüß"_cp));
  EXPECT_EQ(lines[22], "false");

  users.clear();
  uptime = 0;
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].Pop3Host, "pop.example.org");
  EXPECT_EQ(users[0].Pop3User, "p-user");
  EXPECT_EQ(users[0].SmtpHost, "smtp.example.org");
  EXPECT_EQ(users[0].ReplyTo, "gast@example.org");
  EXPECT_EQ(users[0].FromHeader, "Gast <gast@example.org>");
  ASSERT_EQ(users[0].Messages.size(), 2u);
  EXPECT_TRUE(users[0].Messages[0].Read);
  EXPECT_FALSE(users[0].Messages[1].Read);
  EXPECT_EQ(users[0].Messages[1].Sender, "Bert");
  EXPECT_EQ(uptime, 3600);
}

TEST_F(UserFileTest, OnlyTheExactWordTrueIsTrue) {
  const std::string messages =
      "4\r\nx\r\nt\r\nz\r\nTrue\r\nx\r\nt\r\nz\r\nyes\r\nx\r\nt\r\nz\r\ntrue "
      "\r\nx\r\nt\r\nz\r\ntrue\r\n";
  WriteFileBytes(dir.File("users.txt"), kHeader + CountLine(3) + "0\r\n" +
                                            Account("Username=A", "Passwort=", "True", messages) +
                                            Account("Username=B", "Passwort=", "yes") +
                                            Account("Username=C", "Passwort=", "true"));
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  ASSERT_EQ(users.size(), 3u);
  EXPECT_FALSE(users[0].IsAdmin);
  EXPECT_FALSE(users[1].IsAdmin);
  EXPECT_TRUE(users[2].IsAdmin);
  ASSERT_EQ(users[0].Messages.size(), 4u);
  EXPECT_FALSE(users[0].Messages[0].Read);
  EXPECT_FALSE(users[0].Messages[1].Read);
  EXPECT_FALSE(users[0].Messages[2].Read);
  EXPECT_TRUE(users[0].Messages[3].Read);
}

TEST_F(UserFileTest, BooleanLinesReadAndWriteTheTwoWords) {
  TextLineWriter out;
  WriteLnBoolean(out, true);
  WriteLnBoolean(out, false);
  EXPECT_EQ(out.Bytes(), "true\r\nfalse\r\n");
  TextLineReader in(out.Bytes() + "TRUE\n");
  EXPECT_TRUE(ReadLnBoolean(in));
  EXPECT_FALSE(ReadLnBoolean(in));
  EXPECT_FALSE(ReadLnBoolean(in));
  EXPECT_THROW(ReadLnBoolean(in), UserFileError) << "past the end there is no line to read";
}

TEST_F(UserFileTest, StartWithoutUsersFileThenSaveWritesThreeLines) {
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

TEST_F(UserFileTest, FeedbackIsKeptWhenTheUsersFileIsMissing) {
  WriteFileBytes(dir.File("resfdbck.txt"),
                 "anna\r\n" + std::string("Schön!"_cp) + "\r\n06.12.2026 09:07:00\r\n");
  EXPECT_EQ(Load().outcome, UserFileOutcome::UsersMissing);
  ASSERT_EQ(feedback.size(), 1u);
  EXPECT_EQ(feedback[0].Text, "Schön!"_cp);
  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  EXPECT_EQ(FeedbackBytes(), "anna\r\n" + std::string("Schön!"_cp) + "\r\n06.12.2026 09:07:00\r\n")
      << "closing after a start without users.txt must not wipe the feedback";
}

TEST_F(UserFileTest, FeedbackFileEdges) {
  WriteFileBytes(dir.File("users.txt"), kHeader + CountLine(0) + "0\r\n");
  WriteFileBytes(dir.File("resfdbck.txt"), "");
  feedback = {{"old", "entry", "time"}};
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  EXPECT_TRUE(feedback.empty()) << "an empty file gives an empty list";

  WriteFileBytes(dir.File("resfdbck.txt"), "a\r\nb\r\nc\r\nd\r\ne");
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  ASSERT_EQ(feedback.size(), 2u);
  EXPECT_EQ(feedback[0].Author, "a");
  EXPECT_EQ(feedback[0].Time, "c");
  EXPECT_EQ(feedback[1].Author, "d");
  EXPECT_EQ(feedback[1].Text, "e");
  EXPECT_EQ(feedback[1].Time, "") << "a last entry cut short reads its missing lines as empty";
}

TEST_F(UserFileTest, MissingFeedbackFileLeavesTheListAlone) {
  WriteFileBytes(dir.File("users.txt"), kHeader + CountLine(0) + "0\r\n");
  feedback = {{"a", "b", "c"}};
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  EXPECT_EQ(feedback.size(), 1u);
}

TEST_F(UserFileTest, FilesThisProgramWroteRoundTripByteForByte) {
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

TEST_F(UserFileTest, LineFeedOnlyFilesLoadLikeCrLf) {
  std::string file =
      kHeader + CountLine(1) + "5\r\n" +
      Account("Username=GAST", "Passwort=x", "true", "1\r\nanna\r\nHallo\r\nzeit\r\ntrue\r\n");
  std::string lfOnly;
  for (char c : file) {
    if (c != '\r') lfOnly += c;
  }
  WriteFileBytes(dir.File("users.txt"), lfOnly);
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].Password, "x");
  EXPECT_TRUE(users[0].IsAdmin);
  ASSERT_EQ(users[0].Messages.size(), 1u);
  EXPECT_EQ(users[0].Messages[0].Text, "Hallo");
  EXPECT_TRUE(users[0].Messages[0].Read);
  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  EXPECT_EQ(UsersBytes(), file) << "saving writes CR LF again";
}

TEST_F(UserFileTest, LineBreaksInsideValuesDoNotShiftTheFile) {
  users.resize(2);
  users[0].Name = "GAST";
  users[0].Messages = {{"anna", "zwei\r\nZeilen\nund\rmehr", "t", false}};
  users[1].Name = "ANNA";
  feedback = {{"anna", "Zeile 1\nZeile 2", "t"}, {"bert", "x", "t"}};
  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  users.clear();
  feedback.clear();
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].Messages[0].Text, "zwei  Zeilen und mehr");
  EXPECT_EQ(users[1].Name, "ANNA");
  ASSERT_EQ(feedback.size(), 2u);
  EXPECT_EQ(feedback[0].Text, "Zeile 1 Zeile 2");
  EXPECT_EQ(feedback[1].Author, "bert");
}

// Malformed user files: each is the loading error, which names the file, the line and what it
// should have held, and nothing of it reaches the tables.
TEST_F(UserFileTest, MalformedUsersFilesAreTheLoadingError) {
  const std::string twoMessages = "2\r\nanna\r\nHallo\r\nzeit\r\ntrue\r\nbert\r\nText\r\n";
  const std::string accountA = Account("Username=A", "Passwort=", "false");
  struct Case {
    std::string what;
    std::string bytes;
    std::string detail;  // after "users.txt, line "
  };
  const std::vector<Case> cases = {
      {"empty file", "", "1: the warning line expected, the file ends before"},
      {"count not a number", kHeader + CountText("zwei") + "0\r\n",
       "2: the number of accounts expected, a whole number"},
      {"count with trailing junk", kHeader + CountLine(0).insert(21, "x") + "0\r\n",
       "2: the number of accounts expected, a whole number"},
      {"count missing", kHeader, "2: the number of accounts expected, the file ends before"},
      {"uptime not a number", kHeader + CountLine(0) + "lange\r\n",
       "3: the total uptime expected, a whole number"},
      {"uptime missing", kHeader + CountLine(0),
       "3: the total uptime expected, the file ends before"},
      {"negative count", kHeader + CountLine(-1) + "0\r\n",
       "2: the number of accounts expected, not negative"},
      {"count beyond 32 bits", kHeader + CountText("99999999999") + "0\r\n",
       "2: the number of accounts expected, a whole number"},
      {"huge count, file runs out", kHeader + CountText("2147483647") + "0\r\n" + accountA,
       "16: the user name of account 2 expected, the file ends before"},
      {"account cut short", kHeader + CountLine(1) + "0\r\nUsername=A\r\nPasswort=\r\nfalse\r\n",
       "7: the POP3 host of account 1 expected, the file ends before"},
      {"second account missing", kHeader + CountLine(2) + "0\r\n" + accountA,
       "16: the user name of account 2 expected, the file ends before"},
      {"message count not a number",
       kHeader + CountLine(1) + "0\r\n" + Account("Username=A", "Passwort=", "false", "x\r\n"),
       "15: the number of messages of account 1 expected, a whole number"},
      {"negative message count",
       kHeader + CountLine(1) + "0\r\n" + Account("Username=A", "Passwort=", "false", "-2\r\n"),
       "15: the number of messages of account 1 expected, not negative"},
      {"message cut short",
       kHeader + CountLine(1) + "0\r\n" + Account("Username=A", "Passwort=", "false", twoMessages),
       "22: the time of message 2 of account 1 expected, the file ends before"},
      {"more accounts than counted",
       kHeader + CountLine(1) + "0\r\n" + accountA + Account("Username=B", "Passwort=", "false"),
       "16: the end of the file expected (line 2 counts 1)"},
      {"an account after empty lines", kHeader + CountLine(0) + "0\r\n\r\n\r\n" + accountA,
       "6: the end of the file expected (line 2 counts 0)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(dir.File("users.txt"), c.bytes);
    users = UserTable(1);
    users[0].Name = "BEFORE";
    feedback = {{"before", "x", "y"}};
    uptime = 9;
    const UserFileReport report = Load();
    EXPECT_EQ(report.outcome, UserFileOutcome::Fatal);
    EXPECT_EQ(report.boxes,
              std::vector<std::string>{"Exception on loading user data (users.txt, line " +
                                       c.detail + ")"});
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].Name, "BEFORE");
    EXPECT_EQ(feedback.size(), 1u);
    EXPECT_EQ(uptime, 9);
  }
}

TEST_F(UserFileTest, EmptyLinesAfterTheLastAccountAreTolerated) {
  WriteFileBytes(
      dir.File("users.txt"),
      kHeader + CountLine(1) + "7\r\n" + Account("Username=A", "Passwort=", "false") + "\r\n\r\n");
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  EXPECT_EQ(users.size(), 1u);
}

TEST_F(UserFileTest, NumbersMayCarryBlanksAndASign) {
  WriteFileBytes(dir.File("users.txt"), kHeader + CountText(" 1 ") + "-5\r\n" +
                                            Account("Username=A", "Passwort=", "false", " 0\r\n"));
  ASSERT_EQ(Load().outcome, UserFileOutcome::Done);
  EXPECT_EQ(users.size(), 1u);
  EXPECT_EQ(uptime, -5);
}

TEST_F(UserFileTest, UnreadableFilesAreReportedWithTheirMessages) {
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

TEST_F(UserFileTest, WriteFailuresNameTheirFile) {
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

TEST_F(UserFileTest, UsersFileIsOwnerOnlyAndFeedbackKeepsItsMode) {
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

TEST_F(UserFileTest, SavingLeavesNoTemporaryFilesAndReplacesOldContent) {
  WriteFileBytes(dir.File("users.txt"), std::string(5000, 'x'));
  WriteFileBytes(dir.File("resfdbck.txt"), std::string(5000, 'y'));
  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  EXPECT_EQ(UsersBytes(), kHeader + CountLine(0) + "0\r\n");
  EXPECT_EQ(FeedbackBytes(), "");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"resfdbck.txt", "users.txt"}));
}

std::uint64_t Inode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_ino;
}

// Saving during a run: the files as loaded are kept as ".bak" before the first write, and only a
// file whose bytes changed is written.
TEST_F(UserFileTest, ARunKeepsTheFilesAsLoadedAndRewritesOnlyWhatChanged) {
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

TEST_F(UserFileTest, AUsersFileThatIsALinkStaysALink) {
  std::filesystem::create_directory(dir.File("daten"));
  WriteFileBytes(dir.File("daten/users.txt"), "alt");
  std::filesystem::create_symlink("zwischen", dir.File("users.txt"));
  std::filesystem::create_symlink("daten/users.txt", dir.File("zwischen"));
  std::filesystem::create_symlink("daten/neu.txt", dir.File("resfdbck.txt"));  // not there yet
  users.resize(1);
  users[0].Name = "GAST";
  feedback = {{"anna", "gut", "t"}};
  ASSERT_EQ(Save().outcome, UserFileOutcome::Done);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("users.txt")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("zwischen")));
  EXPECT_EQ(ReadFileBytes(dir.File("daten/users.txt")), FormatUsersFile(users, uptime));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("resfdbck.txt")));
  EXPECT_EQ(ReadFileBytes(dir.File("daten/neu.txt")), "anna\r\ngut\r\nt\r\n");
  EXPECT_EQ(Mode("daten/users.txt"), 0600u);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("daten")))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"neu.txt", "users.txt"})) << "no temporary files";
}

TEST_F(UserFileTest, TemporaryFilesOfAKilledSaveAreRemovedAtTheNextStart) {
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
