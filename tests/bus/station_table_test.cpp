#include "bus/station_table.h"

#include <gtest/gtest.h>

#include "common/cp1252.h"
#include "support/session_harness.h"

namespace velora {
namespace {

using testing::Harness;

class StationTableTest : public ::testing::Test {
 protected:
  StationTableTest() {
    h.StandardPages();
    h.Page("kickme.txt", {"", "11", "IDlogout", "Tschuess"});
    table.Reset();
  }
  static std::string Field(std::string name) {
    name.resize(8, '\0');
    return name;
  }
  // Registers like the polling cycle: address first, then the session in the new slot.
  std::uint8_t Join(const std::string& name) {
    const std::uint8_t address = table.GetFreeAddr(table.Count());
    context.emplace_back(std::make_unique<SessionContext>(h.Context()));
    table.Add(std::make_unique<TProcess>(*context.back(), address, 0x82, Field(name)));
    return address;
  }

  Harness h;
  NetworkFigures network;
  StationTable table{h.log, h.ui, h.users, h.clock, network};
  std::vector<std::unique_ptr<SessionContext>> context;
};

TEST_F(StationTableTest, AddressesAreHandedOutLowestFirstAndReused) {
  EXPECT_EQ(Join("a"), 4);
  EXPECT_EQ(Join("b"), 5);
  table.UnregisterMe(0);
  EXPECT_EQ(Join("c"), 4);
  EXPECT_EQ(table.SessionAt(4)->UserName(), "c");
  EXPECT_EQ(table.SessionAt(5)->UserName(), "b");
}

TEST_F(StationTableTest, RemovingAMiddleStationKeepsBoundsAndMapping) {
  Join("a");
  Join("b");
  Join("c");
  h.ui.events.clear();
  table.UnregisterMe(1);
  EXPECT_EQ(table.LowestAddress(), 4);
  EXPECT_EQ(table.HighestAddress(), 6);
  EXPECT_EQ(h.ui.events, (std::vector<std::string>{"TI Nr. 2 abgemeldet, Name:b"}));
  EXPECT_EQ(table.SessionOfAddress(6), 1) << "station 6 is now number 2";
  EXPECT_EQ(table.SessionAt(6)->UserName(), "c");
  EXPECT_EQ(table.SessionAt(5), nullptr);
  EXPECT_TRUE(h.Logged("TI Nr. 2 abgemeldet, Name:b")) << "goes to the file too";
}

TEST_F(StationTableTest, NewBoundsAreLogged) {
  Join("a");
  Join("b");
  Join("c");
  table.UnregisterMe(0);
  EXPECT_EQ(h.ui.events.back(), "Neue niedrigste Adresse:5");
  table.UnregisterMe(1);  // station 6, the highest
  EXPECT_EQ(h.ui.events.back(), "Neue höchste Adresse:5"_cp);
  table.UnregisterMe(0);
  EXPECT_EQ(h.ui.events.back(), "Neue niedrigste Adresse:255");
  EXPECT_EQ(table.Count(), 0u);
}

TEST_F(StationTableTest, AnIndexBeyondTheListIsReported) {
  Join("a");
  table.UnregisterMe(3);
  EXPECT_EQ(h.ui.events.back(), "3 kann nicht mehr abgemeldet werden.");
  EXPECT_EQ(table.Count(), 1u);
}

TEST_F(StationTableTest, DuplicateNamesAreRecognisedWithoutRegardToCase) {
  Join("TiSim");
  EXPECT_TRUE(table.AlreadyRegistered(Field("tisim")));
  EXPECT_TRUE(table.AlreadyRegistered("TISIM\0\0\0"));
  EXPECT_FALSE(table.AlreadyRegistered(Field("TiSim2")));
}

TEST_F(StationTableTest, OnlineMarksFollowTheSessionsThatSetThem) {
  const int gast = h.AddUser("GAST");
  Join("gast");
  EXPECT_TRUE(h.users[gast].Online);
  Join("nobody");  // unknown name: holds no mark
  Join("GAST2");
  table.UnregisterMe(1);
  EXPECT_TRUE(h.users[gast].Online);
  table.UnregisterMe(0);
  EXPECT_FALSE(h.users[gast].Online);
  h.users[gast].Online = true;
  table.Reset();
  EXPECT_FALSE(h.users[gast].Online) << "starting the server clears every mark";
}

TEST_F(StationTableTest, KickShowsTheKickPageOnTheAccountsSession) {
  const int gast = h.AddUser("GAST");
  Join("other");
  Join("gast");
  TProcess& target = *table.SessionAt(5);
  EXPECT_EQ(target.CurrentPageId(), "login.txt");
  table.KickUser(gast);
  EXPECT_EQ(target.CurrentPageId(), "kickme");
  EXPECT_EQ(table.SessionAt(4)->CurrentPageId(), "") << "the unknown user's session is untouched";
}

TEST_F(StationTableTest, WithEveryAddressTakenTheCriticalMessageComesOncePerShortage) {
  for (int i = 0; i < 250; ++i)
    Join("s" + std::to_string(i));
  EXPECT_EQ(table.HighestAddress(), 253);
  EXPECT_TRUE(h.ui.messages.empty());
  const std::vector<std::string> critical{
      std::string("Kritischer Fehler: keine freie Adresse für neuen TI, 0 vergeben!"_cp)};
  EXPECT_EQ(table.GetFreeAddr(250), 0);
  EXPECT_EQ(table.GetFreeAddr(250), 0) << "the calculator asks again at the next invitation";
  EXPECT_EQ(h.ui.messages, critical);
  EXPECT_EQ(table.Count(), 250u);
  table.UnregisterMe(0);
  EXPECT_EQ(Join("late"), 4);
  EXPECT_EQ(table.GetFreeAddr(250), 0);
  EXPECT_EQ(h.ui.messages.size(), 2u) << "a new shortage is told again";
  table.Reset();
  EXPECT_EQ(Join("fresh"), 4);
}

}  // namespace
}  // namespace velora
