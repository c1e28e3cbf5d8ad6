// Fleets of scripted calculators: sleeping members of a crowd hear exactly what members hearing
// byte by byte hear; a crowd shares the registration slot well enough for all to get in; users
// come and go.
#include <gtest/gtest.h>

#include <memory>

#include "link/frame.h"
#include "network_harness.h"
#include "platform/virtual/virtual_fleet.h"

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
  // A stretch of noise: everybody hears its own disturbances, so nobody may sleep through it.
  void NoiseBetween(std::int64_t fromUs, std::int64_t toUs) {
    net.time.ScheduleAfter(fromUs, [this] { net.radio.SetNoise(RadioNoise{2e-4, 2e-3, 5}); });
    net.time.ScheduleAfter(toUs, [this] { net.radio.SetNoise(RadioNoise{}); });
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
  awake.NoiseBetween(150'000'000, 250'000'000);
  crowd.NoiseBetween(150'000'000, 250'000'000);
  std::size_t mostAsleep = 0;
  bool sleptInNoise = false;
  crowd.net.server->SetCycleHandler([&] {
    mostAsleep = std::max(mostAsleep, crowd.fleet->Crowd().Sleepers());
    sleptInNoise |= crowd.net.radio.Noisy() && crowd.fleet->Crowd().Sleepers() > 0;
  });
  awake.net.RunUntil([] { return false; }, 400'000);
  crowd.net.RunUntil([] { return false; }, 400'000);

  EXPECT_GE(mostAsleep, 10u) << "most of the crowd slept through most of the traffic";
  EXPECT_FALSE(sleptInNoise);
  EXPECT_GT(crowd.net.radio.stats().lostBytes, 0u);
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
  int logins = 0;
  for (std::size_t i = 0; i < 12; ++i) {
    CalculatorStation& x = awake.fleet->Station(i);
    CalculatorStation& y = crowd.fleet->Station(i);
    EXPECT_EQ(x.engine().ScreenText(), y.engine().ScreenText()) << i;
    EXPECT_EQ(x.engine().SimAddress(), y.engine().SimAddress()) << i;
    EXPECT_EQ(x.framesHeard(), y.framesHeard()) << i;
    EXPECT_EQ(x.transmissions(), y.transmissions()) << i;
    EXPECT_EQ(awake.fleet->User(i).menuChoices, crowd.fleet->User(i).menuChoices) << i;
    const ScriptedUser& user = crowd.fleet->User(i);
    logouts += user.logouts;
    logins += user.logins;
    // One login a visit: the first password prompt; later ones (changing it) are left alone.
    EXPECT_TRUE(user.logins == user.logouts || user.logins == user.logouts + 1)
        << i << ": " << user.logins << " logins, " << user.logouts << " logouts";
  }
  EXPECT_GE(logouts, 12) << "users came and went";
  EXPECT_GT(logins, 12) << "and came back";
}

std::size_t Invitations(const Network& net) {
  return net.FramesOf(KindInvite).size();
}

// One invitation per cycle lets at most one newcomer in per cycle. A crowd that all asks at once
// and backs off by its estimate of the backlog gets in at about one in e invitations.
TEST(RegistrationLoadTest, FiftyCalculatorsAskingAtOnceAllGetIn) {
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    FleetRun run(50, seed, FleetTiming(), true);
    CalculatorFleet& fleet = *run.fleet;
    const bool all = run.net.RunUntil([&] { return fleet.RegisteredCount() == 50; }, 600'000);
    ASSERT_TRUE(all) << "seed " << seed << ": " << fleet.RegisteredCount() << " after "
                     << Invitations(run.net) << " invitations";
    const std::size_t invitations = Invitations(run.net);
    EXPECT_GE(invitations, 50u);
    EXPECT_LE(invitations, 4u * 50u) << "seed " << seed;
    const RegistrationSlots& slots = fleet.Slots();
    EXPECT_EQ(slots.success, 50u) << "every success was a newcomer";
    EXPECT_GT(slots.collisions, 0u);
    EXPECT_LE(slots.idle + slots.success + slots.collisions, invitations);
    EXPECT_EQ(run.net.server->Stations().Count(), 50u);
  }
}

// A member out of range long enough to be let go still believes in its address: it must find
// out by itself and register again, whether the address stays free or goes to a newcomer.
TEST(LostAddressTest, AMemberLetGoUnawaresRegistersAgainWhenBackInRange) {
  struct Case {
    const char* what;
    std::int64_t lostAfterUs;
    bool newcomer;
  };
  for (const Case& c : {Case{"nothing heard for a while", 20'000'000, false},
                        Case{"its address given to a newcomer", 0, true}}) {
    FleetTiming timing;
    timing.lostAfterUs = c.lostAfterUs;
    FleetRun run(2, 3, timing, true);
    Network& net = run.net;
    CalculatorFleet& fleet = *run.fleet;
    net.Configure([](ServerSettings& s) {
      s.KickSilentStations = true;
      s.KickAfterNoReplies = 3;
    });
    net.AddUser("newbie", "newbie");
    CalculatorStation& newbie = net.AddCalculator("newbie");
    std::size_t away = 0;
    const std::size_t done = net.Run(
        {{"both logged in", [&] { return fleet.User(0).logins == 1 && fleet.User(1).logins == 1; },
          [&] {
            // The lower address, which a newcomer gets next once it is free.
            away = fleet.Station(0).engine().SimAddress() < fleet.Station(1).engine().SimAddress()
                       ? 0
                       : 1;
            fleet.Station(away).SetMuted(true);
          }},
         {"let go", [&] { return net.server->Stations().Count() == 1; },
          [&] {
            if (c.newcomer) newbie.engine().Connect();
          }},
         {"newcomer in", [&] { return !c.newcomer || newbie.engine().Registered(); },
          [&] { fleet.Station(away).SetMuted(false); }},
         {"back and logged in again", [&] { return fleet.User(away).logins == 2; }}},
        300'000);
    ASSERT_EQ(done, 4u) << c.what << ": " << net.stuck;
    EXPECT_EQ(fleet.AddressesLost(), 1u) << c.what;
    EXPECT_EQ(net.server->Stations().Count(), c.newcomer ? 3u : 2u) << c.what;
    if (c.newcomer) {
      EXPECT_TRUE(newbie.engine().Registered()) << c.what;
      EXPECT_NE(newbie.engine().SimAddress(), fleet.Station(away).engine().SimAddress());
    }
  }
}

}  // namespace
}  // namespace velora
