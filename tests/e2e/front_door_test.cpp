// Commands from outside the cycle (windows, signals, mail replies) arrive inside its waits; they
// are applied between its steps, and a command for a session that has gone never reaches it.
#include <gtest/gtest.h>

#include "link/frame.h"
#include "network_harness.h"

namespace velora {
namespace {

using testing::Network;

TEST(FrontDoorTest, CommandsPostedInsideAWaitApplyBetweenStepsAndSkipGoneSessions) {
  Network net;
  net.AddUser("a", "pw");
  const int accountB = net.AddUser("b", "pw");
  CalculatorStation& a = net.AddCalculator("a");
  CalculatorStation& b = net.AddCalculator("b");
  SessionId idA = 0;
  int touched = 0;
  bool posted = false;
  // During the output pass's send to station 4, while the server waits for the frame to leave.
  net.air.onFrame = [&](const testing::AirListener::Heard& heard) {
    if (posted || idA == 0 || FrameByte(heard.frame, FrameDestination) != 4 ||
        FrameByte(heard.frame, FrameKind) == KindPoll) {
      return;
    }
    posted = true;
    net.server->Post(idA, [&](TProcess& session) {
      ++touched;
      session.Logout();
    });
    net.server->Post(idA, [&](TProcess&) { ++touched; });
    net.server->KickUser(accountB);
    EXPECT_EQ(touched, 0) << "not inside the wait";
  };
  const std::size_t done = net.Run(
      {{"start", [] { return true; }, [&] { a.engine().Connect(); }},
       {"a", [&] { return a.engine().Registered(); }, [&] { b.engine().Connect(); }},
       {"both idle", [&] { return a.engine().ScreenSerial() > 0 && b.engine().ScreenSerial() > 0; },
        [&] { idA = net.server->Stations().IdAt(0); }},
       {"a gone", [&] { return net.server->Stations().Count() == 1; },
        [&] { net.server->Post(idA, [&](TProcess&) { ++touched; }); }},
       {"b kicked",
        [&] {
          return testing::ScreenWords(b.engine()).find("Administrator") != std::string::npos;
        }}},
      30'000);
  ASSERT_EQ(done, 5u) << net.stuck;
  EXPECT_EQ(touched, 2) << "the command for the gone session was dropped";
  EXPECT_FALSE(a.engine().Registered()) << "a heard its logout confirmation";
  EXPECT_EQ(net.FramesOf(KindLogoutAck, 4).size(), 10u);
  EXPECT_EQ(net.server->Stations().Session(0).UserName(), "b");
}

}  // namespace
}  // namespace velora
