#include "common/records.h"

#include <gtest/gtest.h>

namespace velora {
namespace {

TEST(UserTableTest, NamesFoldOnlyAsciiLetters) {
  UserTable users(3);
  users[0].Name = "GAST";
  users[1].Name = "M\xD6WE";  // MÖWE
  users[2].Name = "";
  EXPECT_EQ(FindUser(users, "gast"), 0);
  EXPECT_EQ(FindUser(users, "GaSt"), 0);
  EXPECT_TRUE(UserExists(users, "m\xD6we"));
  EXPECT_FALSE(UserExists(users, "m\xF6we")) << "the lower-case umlaut is not folded";
  EXPECT_EQ(FindUser(users, ""), 2) << "an empty name matches an account with an empty name";
  EXPECT_EQ(FindUser(users, "nobody"), -1);
}

TEST(UserTableTest, FirstMatchWins) {
  UserTable users(2);
  users[0].Name = "ANNA";
  users[1].Name = "ANNA";
  EXPECT_EQ(FindUser(users, "anna"), 0);
}

}  // namespace
}  // namespace velora
