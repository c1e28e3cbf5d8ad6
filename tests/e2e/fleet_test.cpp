// Fleets of scripted calculators: sleeping members of a crowd hear exactly what members hearing
// byte by byte hear; a crowd shares the registration slot well enough for all to get in; users
// come and go.
#include <gtest/gtest.h>

#include <memory>

#include "link/frame.h"
#include "network_harness.h"
#include "platform/virtual_fleet.h"

namespace velora {
namespace {

using testing::Network;

struct FleetRun {
  FleetRun(int stations, std::uint32_t seed, FleetTiming timing, bool sleeping) {
    for (int i = 1; i <= stations; ++i)
      net.AddUser("demo" + std::to_string(i), "demo" + std::to_string(i));
    fleet = std::make_unique<CalculatorFleet>(net.radio, net.server->Settings(), stations, seed,
                                              "demo", timing);
    fleet->Crowd().SetSleeping(sleeping);
  }
  Network net;
  std::unique_ptr<CalculatorFleet> fleet;
};

FleetTiming Journeys() {
  FleetTiming timing;
  timing.leaveAfterChoicesMin = 2;
  timing.leaveAfterChoicesMax = 6;
  timing.offlineMinUs = 5'000'000;
  timing.offlineMaxUs = 20'000'000;
  return timing;
}

TEST(CrowdTest, SleepingMembersHearAndSayExactlyWhatWakefulOnesDo) {
  FleetRun awake(12, 7, Journeys(), false);
  FleetRun crowd(12, 7, Journeys(), true);
  std::size_t mostAsleep = 0;
  crowd.net.server->SetCycleHandler(
      [&] { mostAsleep = std::max(mostAsleep, crowd.fleet->Crowd().Sleepers()); });
  awake.net.RunUntil([] { return false; }, 400'000);
  crowd.net.RunUntil([] { return false; }, 400'000);

  EXPECT_GE(mostAsleep, 10u) << "most of the crowd slept through most of the traffic";
  EXPECT_EQ(awake.fleet->Crowd().Sleepers(), 0u);
  const auto& a = awake.net.air.frames;
  const auto& c = crowd.net.air.frames;
  ASSERT_EQ(a.size(), c.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(a[i].atUs, c[i].atUs) << "frame " << i;
    ASSERT_EQ(a[i].frame, c[i].frame) << "frame " << i;
  }
  EXPECT_EQ(awake.net.ui.events, crowd.net.ui.events);
  int logouts = 0;
  for (std::size_t i = 0; i < 12; ++i) {
    CalculatorStation& x = awake.fleet->Station(i);
    CalculatorStation& y = crowd.fleet->Station(i);
    EXPECT_EQ(x.engine().ScreenText(), y.engine().ScreenText()) << i;
    EXPECT_EQ(x.engine().SimAddress(), y.engine().SimAddress()) << i;
    EXPECT_EQ(x.framesHeard(), y.framesHeard()) << i;
    EXPECT_EQ(x.transmissions(), y.transmissions()) << i;
    EXPECT_EQ(awake.fleet->User(i).menuChoices, crowd.fleet->User(i).menuChoices) << i;
    logouts += crowd.fleet->User(i).logouts;
  }
  EXPECT_GE(logouts, 12) << "users came and went";
}

}  // namespace
}  // namespace velora
