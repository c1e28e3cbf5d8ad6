#include "store/users_format.h"

#include <gtest/gtest.h>

#include "support/bytes.h"
#include "users_file_text.h"

namespace velora {
namespace {

using testing::Account;
using testing::CountLine;
using testing::CountText;
using testing::kHeader;

class UsersFormatTest : public ::testing::Test {
 protected:
  void Parse(const std::string& bytes) { ParseUsersFile(bytes, users, uptime); }

  UserTable users;
  std::int32_t uptime = 0;
};

TEST_F(UsersFormatTest, NamesLoadUpperCaseAndPasswordsKeepCaseAndEquals) {
  Parse(kHeader + CountLine(2) + "77\r\n" +
        Account("Username=gast", "Passwort=GeHeim=1=2", "false") +
        Account("anna", "ohneGleich", "false"));
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].Name, "GAST");
  EXPECT_EQ(users[0].Password, "GeHeim=1=2") << "everything after the first = is the password";
  EXPECT_EQ(users[1].Name, "ANNA") << "a line without = is taken whole";
  EXPECT_EQ(users[1].Password, "ohneGleich");
  EXPECT_EQ(uptime, 77);

  const auto lines = testing::SplitCrLf(FormatUsersFile(users, uptime));
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[3], "Username=GAST");
  EXPECT_EQ(lines[4], "Passwort=GeHeim=1=2");
}

TEST_F(UsersFormatTest, AnAccountWithTwoMessagesIsTwentyLines) {
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
  const std::string bytes = FormatUsersFile({user}, 3600);

  const auto lines = testing::SplitCrLf(bytes);
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

  Parse(bytes);
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

TEST_F(UsersFormatTest, OnlyTheExactWordTrueIsTrue) {
  const std::string messages =
      "4\r\nx\r\nt\r\nz\r\nTrue\r\nx\r\nt\r\nz\r\nyes\r\nx\r\nt\r\nz\r\ntrue "
      "\r\nx\r\nt\r\nz\r\ntrue\r\n";
  Parse(kHeader + CountLine(3) + "0\r\n" + Account("Username=A", "Passwort=", "True", messages) +
        Account("Username=B", "Passwort=", "yes") + Account("Username=C", "Passwort=", "true"));
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

TEST_F(UsersFormatTest, LineFeedOnlyFilesLoadLikeCrLf) {
  std::string file =
      kHeader + CountLine(1) + "5\r\n" +
      Account("Username=GAST", "Passwort=x", "true", "1\r\nanna\r\nHallo\r\nzeit\r\ntrue\r\n");
  std::string lfOnly;
  for (char c : file) {
    if (c != '\r') lfOnly += c;
  }
  Parse(lfOnly);
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].Password, "x");
  EXPECT_TRUE(users[0].IsAdmin);
  ASSERT_EQ(users[0].Messages.size(), 1u);
  EXPECT_EQ(users[0].Messages[0].Text, "Hallo");
  EXPECT_TRUE(users[0].Messages[0].Read);
  EXPECT_EQ(FormatUsersFile(users, uptime), file) << "saving writes CR LF again";
}

TEST_F(UsersFormatTest, LineBreaksInsideValuesDoNotShiftTheFile) {
  UserTable written(2);
  written[0].Name = "GAST";
  written[0].Messages = {{"anna", "zwei\r\nZeilen\nund\rmehr", "t", false}};
  written[1].Name = "ANNA";
  Parse(FormatUsersFile(written, 0));
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].Messages[0].Text, "zwei  Zeilen und mehr");
  EXPECT_EQ(users[1].Name, "ANNA");
}

// Malformed user files: each error names the line and what it should have held, and nothing of
// the file reaches the outputs.
TEST_F(UsersFormatTest, MalformedUsersFilesNameTheLine) {
  const std::string twoMessages = "2\r\nanna\r\nHallo\r\nzeit\r\ntrue\r\nbert\r\nText\r\n";
  const std::string accountA = Account("Username=A", "Passwort=", "false");
  struct Case {
    std::string what;
    std::string bytes;
    std::string detail;  // after "line "
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
    users = UserTable(1);
    users[0].Name = "BEFORE";
    uptime = 9;
    try {
      Parse(c.bytes);
      ADD_FAILURE() << "read without an error";
    } catch (const UserFileError& e) {
      EXPECT_EQ(e.what(), "line " + c.detail);
    }
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].Name, "BEFORE");
    EXPECT_EQ(uptime, 9);
  }
}

TEST_F(UsersFormatTest, EmptyLinesAfterTheLastAccountAreTolerated) {
  Parse(kHeader + CountLine(1) + "7\r\n" + Account("Username=A", "Passwort=", "false") +
        "\r\n\r\n");
  EXPECT_EQ(users.size(), 1u);
}

TEST_F(UsersFormatTest, NumbersMayCarryBlanksAndASign) {
  Parse(kHeader + CountText(" 1 ") + "-5\r\n" +
        Account("Username=A", "Passwort=", "false", " 0\r\n"));
  EXPECT_EQ(users.size(), 1u);
  EXPECT_EQ(uptime, -5);
}

}  // namespace
}  // namespace velora
