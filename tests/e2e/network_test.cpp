#include <gtest/gtest.h>

#include <array>

#include "common/cp1252.h"
#include "link/frame.h"
#include "network_harness.h"
#include "platform/virtual/virtual_fleet.h"

namespace velora {
namespace {

using testing::Network;
using Step = Network::Step;

bool Registered(CalculatorStation& s) {
  return s.engine().Registered();
}

// The frames on the air between the n-th invitation and the next one.
std::vector<std::string> CycleFrames(const Network& net, std::size_t n) {
  std::vector<std::string> out;
  std::size_t invitations = 0;
  for (const auto& h : net.air.frames) {
    if (FrameByte(h.frame, FrameKind) == KindInvite) ++invitations;
    if (invitations == n + 1) out.push_back(h.frame);
    if (invitations > n + 1) break;
  }
  return out;
}

std::size_t InvitationsSoFar(const Network& net) {
  return net.FramesOf(KindInvite).size();
}

// "P4" poll of 4, "A4" a frame from station 4 to the server, "I" the invitation, "S5" anything
// else from the server to 5, "B" a broadcast.
std::string Describe(const std::vector<std::string>& frames) {
  std::string out;
  for (const auto& f : frames) {
    const int dest = FrameByte(f, FrameDestination);
    const int kind = FrameByte(f, FrameKind);
    if (!out.empty()) out += ' ';
    if (kind == KindInvite) {
      out += "I";
    } else if (dest == ServerAddress) {
      out += "A" + std::to_string(FrameByte(f, FrameSource));
    } else if (kind == KindPoll) {
      out += "P" + std::to_string(dest);
    } else if (dest == BroadcastAddress) {
      out += "B";
    } else {
      out += "S" + std::to_string(dest);
    }
  }
  return out;
}

TEST(RegistrationTest, AnsweredInTheSameCycleAndRepeatedUntilTheCalculatorIsIdle) {
  Network net;
  net.AddUser("anna", "pw");
  CalculatorStation& anna = net.AddCalculator("anna");
  std::size_t requestCycle = 0;
  std::size_t confirmationsWhileMuted = 0;
  const std::size_t done =
      net.Run({{"connect", [] { return true; }, [&] { anna.engine().Connect(); }},
               {"request", [&] { return !net.FramesOf(KindRegisterRequest).empty(); },
                [&] { requestCycle = InvitationsSoFar(net); }},
               {"confirmed", [&] { return Registered(anna); }, [&] { anna.SetMuted(true); }},
               {"three more cycles", [&] { return InvitationsSoFar(net) >= requestCycle + 4; },
                [&] {
                  confirmationsWhileMuted = net.FramesOf(KindRegistered).size();
                  anna.SetMuted(false);
                }},
               {"idle", [&] { return net.FramesOf(KindNothing, ServerAddress).size() >= 1; }},
               {"three cycles later", [&] { return InvitationsSoFar(net) >= requestCycle + 8; }}},
              20'000);
  ASSERT_EQ(done, 6u) << net.stuck;

  const std::vector<std::string> cycle = CycleFrames(net, requestCycle - 1);
  ASSERT_GE(cycle.size(), 3u);
  EXPECT_EQ(FrameByte(cycle[1], FrameKind), KindRegisterRequest);
  EXPECT_EQ(FrameByte(cycle[2], FrameKind), KindRegistered) << "confirmed in the same cycle";
  EXPECT_EQ(FrameByte(cycle[2], FrameDestination), BroadcastAddress);
  EXPECT_EQ(FramePayload(cycle[2]), std::string("anna\0\0\0\0\x04", 9));
  EXPECT_GE(confirmationsWhileMuted, 4u) << "repeated every cycle while the calculator is silent";
  const std::size_t total = net.FramesOf(KindRegistered).size();
  const auto idle = net.FramesOf(KindNothing, ServerAddress).front().atUs;
  for (const auto& h : net.FramesOf(KindRegistered))
    EXPECT_LT(h.atUs, idle);
  EXPECT_LE(total, confirmationsWhileMuted + 1);
  EXPECT_EQ(net.ui.events[1], "TI Nr. 1 angemeldet; Name \"anna\"; Typ: TI82");
}

TEST(RegistrationTest, AddressesLowestFirstReusedAndDuplicateNamesIgnored) {
  Network net;
  CalculatorStation& a = net.AddCalculator("a");
  CalculatorStation& b = net.AddCalculator("b");
  CalculatorStation& c = net.AddCalculator("c", 1);
  CalculatorStation& twin = net.AddCalculator("B");
  const std::size_t done =
      net.Run({{"start", [] { return true; }, [&] { a.engine().Connect(); }},
               {"a", [&] { return Registered(a); }, [&] { b.engine().Connect(); }},
               {"b", [&] { return Registered(b); }, [&] { twin.engine().Connect(); }},
               {"twin asked", [&] { return net.FramesOf(KindRegisterRequest).size() == 3; },
                [&] { a.engine().Connect(); }},  // registered: Connect logs out
               {"a gone", [&] { return !Registered(a) && net.server->Stations().Count() == 1; },
                [&] { c.engine().Connect(); }},
               {"c", [&] { return Registered(c); }}},
              30'000);
  ASSERT_EQ(done, 6u) << net.stuck;
  EXPECT_EQ(b.engine().SimAddress(), 5);
  EXPECT_EQ(c.engine().SimAddress(), 4) << "the freed lowest address is handed out again";
  EXPECT_FALSE(Registered(twin)) << "a name that differs only in case is ignored";
  for (const auto& h : net.FramesOf(KindRegistered)) {
    EXPECT_NE(FramePayload(h.frame).substr(0, 1), "B");
  }
  EXPECT_EQ(net.server->Stations().SessionAt(4)->UserName(), "c");
  int registrations = 0;
  for (const auto& e : net.ui.events)
    registrations += e.find("angemeldet;") != std::string::npos;
  EXPECT_EQ(registrations, 3);
}

// Switched off while registered, the calculator registers again under its name: its old station
// has fallen silent and gives way, so its user is not locked out (the kick is off by default).
TEST(RegistrationTest, ACalculatorBackFromAResetTakesOverItsSilentStation) {
  Network net;
  net.AddUser("anna", "pw");
  CalculatorStation& anna = net.AddCalculator("anna");
  std::int64_t offUs = 0;
  const std::size_t done = net.Run(
      {{"start", [] { return true; }, [&] { anna.engine().Connect(); }},
       {"login page", [&] { return anna.engine().SimExpectedReply() == KindInputReply; },
        [&] {
          anna.engine().SilentDisconnect();
          anna.engine().Connect();
          offUs = net.time.NowUs();
        }},
       {"back in",  // asking at every invitation, as its user would
        [&] {
          if (!Registered(anna)) anna.engine().Connect();
          return Registered(anna);
        }},
       {"login page again", [&] { return anna.engine().SimExpectedReply() == KindInputReply; }}},
      30'000);
  ASSERT_EQ(done, 4u) << net.stuck;
  EXPECT_FALSE(net.server->Settings().KickSilentStations);
  std::int64_t backUs = 0;
  for (const auto& h : net.FramesOf(KindRegistered))
    backUs = h.atUs > offUs && backUs == 0 ? h.atUs : backUs;
  int silentPolls = 0;
  for (const auto& h : net.FramesOf(KindPoll, 4))
    silentPolls += h.atUs > offUs && h.atUs < backUs;
  EXPECT_EQ(silentPolls, 5) << "five silent turns";
  EXPECT_EQ(net.server->Figures().Removals(RemovalCause::Replaced), 1u);
  EXPECT_EQ(net.server->Stations().Count(), 1u);
  const std::vector<std::string> expected{"Kicke TI 5 (anna)", "TI Nr. 1 abgemeldet, Name:anna",
                                          "Neue niedrigste Adresse:255",
                                          "TI Nr. 1 angemeldet; Name \"anna\"; Typ: TI82"};
  ASSERT_GE(net.ui.events.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(net.ui.events.end() - 4, net.ui.events.end()), expected);
}

TEST(LogoutTest, AcknowledgedRepeatedlyAndTheNextSessionStillServed) {
  for (int acks : {10, 3}) {
    Network net;
    net.Configure([acks](ServerSettings& settings) { settings.LogoutAckCount = acks; });
    CalculatorStation& a = net.AddCalculator("a");
    CalculatorStation& b = net.AddCalculator("b");
    std::size_t logoutCycle = 0;
    const std::size_t done =
        net.Run({{"start", [] { return true; }, [&] { a.engine().Connect(); }},
                 {"a", [&] { return Registered(a); }, [&] { b.engine().Connect(); }},
                 {"b idle", [&] { return Registered(b) && b.engine().ScreenSerial() > 0; },
                  [&] { a.engine().Connect(); }},
                 {"logout sent", [&] { return !net.FramesOf(KindLogout, ServerAddress).empty(); },
                  [&] { logoutCycle = InvitationsSoFar(net); }},
                 {"a gone", [&] { return !Registered(a) && net.server->Stations().Count() == 1; }},
                 {"next cycle", [&] { return InvitationsSoFar(net) >= logoutCycle + 2; }}},
                30'000);
    ASSERT_EQ(done, 6u) << net.stuck;
    const std::string pass = Describe(CycleFrames(net, logoutCycle));
    std::string expected = "I";
    for (int i = 0; i < acks; ++i)
      expected += " S4";
    expected += " S5 P5 A5";
    EXPECT_EQ(pass, expected) << "acks " << acks;
    EXPECT_EQ(net.FramesOf(KindLogoutAck, 4).size(), static_cast<std::size_t>(acks));
    const std::vector<std::string>& ev = net.ui.events;
    EXPECT_EQ(ev[ev.size() - 2], "TI Nr. 1 abgemeldet, Name:a");
    EXPECT_EQ(ev[ev.size() - 1], "Neue niedrigste Adresse:5") << "4 was the lowest";
  }
}

TEST(SweepTest, TokenPassingAndExplicitPollAfterAGap) {
  Network net;
  std::vector<CalculatorStation*> s;
  for (const char* name : {"s4", "s5", "s6", "s7"})
    s.push_back(&net.AddCalculator(name));
  std::size_t cycle4and5 = 0, cycleSilent5 = 0, cycle4and7 = 0;
  const std::size_t done = net.Run(
      {{"start", [] { return true; }, [&] { s[0]->engine().Connect(); }},
       {"4", [&] { return Registered(*s[0]); }, [&] { s[1]->engine().Connect(); }},
       {"5", [&] { return Registered(*s[1]); }},
       {"both idle",
        [&] { return s[0]->engine().ScreenSerial() > 0 && s[1]->engine().ScreenSerial() > 0; },
        [&] { cycle4and5 = InvitationsSoFar(net); }},
       {"a quiet cycle", [&] { return InvitationsSoFar(net) > cycle4and5 + 1; },
        [&] {
          // The sweep of the cycle that has just begun is the silent one.
          s[1]->SetMuted(true);
          net.Configure([](ServerSettings& settings) { settings.KickSilentStations = true; });
          cycleSilent5 = InvitationsSoFar(net) - 1;
        }},
       {"one silent cycle", [&] { return InvitationsSoFar(net) > cycleSilent5 + 1; },
        [&] {
          EXPECT_EQ(net.server->Stations().SessionAt(5)->Link().NoReplyCount(), 1);
          net.Configure([](ServerSettings& settings) { settings.KickSilentStations = false; });
          s[1]->SetMuted(false);
          s[2]->engine().Connect();
        }},
       {"6", [&] { return Registered(*s[2]); }, [&] { s[3]->engine().Connect(); }},
       {"7", [&] { return Registered(*s[3]); },
        [&] {
          s[1]->engine().Connect();  // 5 and 6 log out
          s[2]->engine().Connect();
        }},
       {"4 and 7 left",
        [&] { return net.server->Stations().Count() == 2 && s[3]->engine().ScreenSerial() > 0; },
        [&] { cycle4and7 = InvitationsSoFar(net); }},
       {"one more cycle", [&] { return InvitationsSoFar(net) > cycle4and7 + 1; }}},
      60'000);
  ASSERT_EQ(done, 10u) << net.stuck;
  const std::string quiet = Describe(CycleFrames(net, cycle4and5));
  EXPECT_EQ(quiet.substr(quiet.find("P4")), "P4 A4 A5") << quiet;
  const std::string silent = Describe(CycleFrames(net, cycleSilent5));
  EXPECT_EQ(silent.substr(silent.find("P4")), "P4 A4")
      << "5 is listened for, not polled: " << silent;
  const std::string gap = Describe(CycleFrames(net, cycle4and7));
  EXPECT_EQ(gap.substr(gap.find("P4")), "P4 A4 P7 A7") << gap;
}

TEST(KickTest, SilentStationRemovedAtItsThirtyFirstSilentTurn) {
  Network net;
  net.Configure([](ServerSettings& settings) { settings.KickSilentStations = true; });
  net.Configure([](ServerSettings& settings) { settings.KickAfterNoReplies = 30; });
  net.AddUser("gast", "pw");
  CalculatorStation& a = net.AddCalculator("gast");
  std::size_t pollsBefore = 0;
  const std::size_t done =
      net.Run({{"start", [] { return true; }, [&] { a.engine().Connect(); }},
               {"registered", [&] { return Registered(a) && a.engine().ScreenSerial() > 0; },
                [&] {
                  a.SetMuted(true);
                  pollsBefore = net.FramesOf(KindPoll, 4).size();
                }},
               {"kicked", [&] { return net.server->Stations().Count() == 0; }}},
              60'000);
  ASSERT_EQ(done, 3u) << net.stuck;
  EXPECT_EQ(net.FramesOf(KindPoll, 4).size() - pollsBefore, 31u);
  const std::vector<std::string>& ev = net.ui.events;
  ASSERT_GE(ev.size(), 3u);
  EXPECT_EQ(ev[ev.size() - 3], "Kicke TI 5 (gast)");
  EXPECT_EQ(ev[ev.size() - 2], "TI Nr. 1 abgemeldet, Name:gast");
  EXPECT_EQ(ev[ev.size() - 1], "Neue niedrigste Adresse:255") << "the only station";
  EXPECT_FALSE(net.server->Users()[0].Online);
}

TEST(KickTest, NeverKickedWithALimitOf255) {
  Network net;
  net.Configure([](ServerSettings& settings) { settings.KickSilentStations = true; });
  net.Configure([](ServerSettings& settings) { settings.KickAfterNoReplies = 255; });
  CalculatorStation& a = net.AddCalculator("a");
  std::size_t pollsBefore = 0;
  const std::size_t done = net.Run(
      {{"start", [] { return true; }, [&] { a.engine().Connect(); }},
       {"registered", [&] { return Registered(a) && a.engine().ScreenSerial() > 0; },
        [&] {
          a.SetMuted(true);
          pollsBefore = net.FramesOf(KindPoll, 4).size();
          // Quick turns from now on; too quick for an answer, but the station has answered.
          net.Configure([](ServerSettings& settings) { settings.ContentPacketPause = 1; });
          net.Configure([](ServerSettings& settings) { settings.ReceiveWait = 5; });
        }},
       {"600 silent turns", [&] { return net.FramesOf(KindPoll, 4).size() >= pollsBefore + 600; }}},
      120'000);
  ASSERT_EQ(done, 3u) << net.stuck;
  EXPECT_EQ(net.server->Stations().Count(), 1u) << "the count wraps at 256 and never passes 255";
}

TEST(WalkTest, LoginMainMenuAContentPageAndBackOnBothModels) {
  for (int model : {0, 1}) {
    Network net;
    net.AddUser("gast", "geheim");
    CalculatorStation& calc = net.AddCalculator("gast", model);
    CalculatorEngine& e = calc.engine();
    std::vector<std::string> seen;
    std::uint32_t answered = 0;
    // Acts once per new screen, after its acknowledgement has gone out.
    auto fresh = [&] {
      if (e.ScreenSerial() == answered || e.PendingKind() != KindNothing) return false;
      answered = e.ScreenSerial();
      seen.push_back(testing::ScreenWords(e));
      return true;
    };
    auto itemNumber = [&](std::string_view caption) {
      for (int row = 1; row < 8; ++row) {
        if (e.ScreenRow(row).find(caption) != std::string::npos) return '0' + row;
      }
      return int{'0'};
    };
    const std::size_t done =
        net.Run({{"start", [] { return true; }, [&] { e.Connect(); }},
                 {"login page", [&] { return fresh() && e.SimExpectedReply() == KindInputReply; },
                  [&] { e.SubmitInput(false, "geheim"); }},
                 {"greeting", [&] { return fresh() && e.SimExpectedReply() == KindTextReply; },
                  [&] { e.KeyPress('5'); }},
                 {"main menu", [&] { return fresh() && e.SimExpectedReply() == KindMenuReply; },
                  [&] { e.KeyPress(static_cast<char>(itemNumber("Hilfe"))); }},
                 {"help page", [&] { return fresh() && e.SimExpectedReply() == KindTextReply; },
                  [&] { e.KeyPress('5'); }},
                 {"back", [&] { return fresh() && e.SimExpectedReply() == KindMenuReply; }}},
                60'000);
    ASSERT_EQ(done, 6u) << net.stuck << " model " << model;
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_NE(seen[0].find("wort"), std::string::npos) << seen[0];
    EXPECT_NE(seen[1].find("gast!"), std::string::npos) << seen[1];
    EXPECT_NE(seen[2].find("Hauptmen"), std::string::npos) << seen[2];
    EXPECT_NE(seen[2].find("Hilfe"), std::string::npos) << seen[2];
    EXPECT_EQ(seen[4], seen[2]) << "back on the main menu";
    EXPECT_TRUE(net.server->Users()[0].Online);
  }
}

TEST(RemovalTest, TheHighestStationLeaving) {
  Network net;
  CalculatorStation& a = net.AddCalculator("a");
  CalculatorStation& b = net.AddCalculator("b");
  const std::size_t done =
      net.Run({{"start", [] { return true; }, [&] { a.engine().Connect(); }},
               {"a", [&] { return Registered(a); }, [&] { b.engine().Connect(); }},
               {"b", [&] { return Registered(b) && b.engine().ScreenSerial() > 0; },
                [&] { b.engine().Connect(); }},
               {"b gone", [&] { return net.server->Stations().Count() == 1; }}},
              30'000);
  ASSERT_EQ(done, 4u) << net.stuck;
  const std::vector<std::string>& ev = net.ui.events;
  EXPECT_EQ(ev[ev.size() - 2], "TI Nr. 2 abgemeldet, Name:b");
  EXPECT_EQ(ev[ev.size() - 1], "Neue höchste Adresse:4"_cp);
  EXPECT_EQ(net.server->Stations().LowestAddress(), 4);
}

TEST(StopTest, StoppingInTheMiddleOfASweepCompletesItAndCountsTheUptime) {
  Network net;
  std::vector<CalculatorStation*> s;
  for (const char* name : {"a", "b", "c"})
    s.push_back(&net.AddCalculator(name));
  std::size_t pollsBefore = 0;
  std::function<void()> tick = [&] {
    net.server->TickSecond();
    net.time.ScheduleAfter(1'000'000, tick);
  };
  net.time.ScheduleAfter(1'000'000, tick);
  const std::size_t done = net.Run(
      {{"start", [] { return true; }, [&] { s[0]->engine().Connect(); }},
       {"a", [&] { return Registered(*s[0]); }, [&] { s[1]->engine().Connect(); }},
       {"b", [&] { return Registered(*s[1]); }, [&] { s[2]->engine().Connect(); }},
       {"c idle", [&] { return Registered(*s[2]) && s[2]->engine().ScreenSerial() > 0; },
        [&] { pollsBefore = net.FramesOf(KindPoll, 4).size(); }},
       {"the next sweep begins", [&] { return net.FramesOf(KindPoll, 4).size() > pollsBefore; }}},
      30'000);
  ASSERT_EQ(done, 5u) << net.stuck;
  const std::string last = Describe(CycleFrames(net, InvitationsSoFar(net) - 1));
  EXPECT_EQ(last.substr(last.find("P4")), "P4 A4 A5 A6") << last;
  EXPECT_EQ(net.FramesOf(KindPoll, 4).size(), pollsBefore + 1) << "no further cycle";
  const std::string log = testing::ReadFileBytes(net.dir.File("veloraserverlog.txt"));
  EXPECT_EQ(log.substr(log.rfind(':') + 1), "Port geschlossen\r\n");
  EXPECT_EQ(net.server->RunSeconds(), static_cast<std::int32_t>(net.NowMs() / 1000));
  net.server->TickSecond();
  EXPECT_EQ(net.server->RunSeconds(), static_cast<std::int32_t>(net.NowMs() / 1000)) << "stopped";
}

TEST(CycleTest, AnEmptyNetworkOnlyInvitesAndPauses) {
  Network net;
  std::vector<std::uint32_t> durations;
  net.server->SetCycleHandler([&] {
    durations.push_back(net.server->Cycle().lastCycleMs);
    EXPECT_FALSE(net.server->Cycle().hasStations) << "no resend graph without stations";
  });
  ASSERT_TRUE(net.RunUntil([&] { return durations.size() >= 6; }, 10'000));
  for (const auto& h : net.air.frames)
    EXPECT_EQ(FrameByte(h.frame, FrameKind), KindInvite);
  // TXEN send 3 ms, the invitation with its 0xFF (8 bytes, 5 ms), the registration wait 15 ms,
  // TXEN send 3 ms, the 100 ms pause.
  for (std::size_t i = 2; i < durations.size(); ++i)
    EXPECT_EQ(durations[i], 126u) << i;
}

// Answers every invitation with a registration request under the next of its names, up to
// `names`. When `answersPolls`, it also plays the stations it registered: the polled one answers,
// and each answer is followed by the next address's, as if that station had heard the previous
// one; the first answer is idle, which confirms the registration, the later ones acknowledge the
// screen that followed it.
class RegistrationFlood : public RadioStation {
 public:
  RegistrationFlood(VirtualRadio& radio, int names, bool answersPolls)
      : names(names), answersPolls_(answersPolls), modem_(radio.Attach(*this, "flood")) {}
  void ByteHeard(std::uint8_t byte) override {
    recent_ += static_cast<char>(byte);
    if (recent_.size() > 16) recent_.erase(0, recent_.size() - 16);
    const std::string_view air(recent_);
    if (air.ends_with("U" + BuildFrame(NoAddress, KindInvite, ServerAddress, 1, ""))) {
      if (sent >= names) return;
      std::string field = "st" + std::to_string(sent++);
      field.resize(8, '\0');
      Transmit(BuildFrame(ServerAddress, KindRegisterRequest, 255, 1,
                          field + "\x82" + std::string(4, '\0')));
      return;
    }
    if (air.size() == 16 && air.substr(6, 2) == "st" &&
        air == "U" + BuildFrame(BroadcastAddress, KindRegistered, ServerAddress, 1,
                                air.substr(6, 9))) {
      owned_[FrameByte(air, 14)] = true;
      return;
    }
    const auto polled = static_cast<std::uint8_t>(air.size() >= 7 ? air[air.size() - 6] : 0);
    if (owned_[polled] && air.ends_with("U" + BuildFrame(polled, KindPoll, ServerAddress, 1, ""))) {
      AnswerAs(polled);
    }
  }
  void TransmitEmpty() override {
    modem_->SetTransmitter(false);
    if (answered_ != 0 && answered_ < 253 && owned_[answered_ + 1])
      AnswerAs(answered_ + 1);
    else
      answered_ = 0;
  }
  int names;
  int sent = 0;

 private:
  void AnswerAs(int address) {
    if (!answersPolls_) return;
    answered_ = address;
    Transmit(BuildFrame(ServerAddress, confirmed_[address] ? KindAck : KindNothing,
                        static_cast<std::uint8_t>(address), 1, ""));
    confirmed_[address] = true;
  }
  void Transmit(const std::string& frame) {
    modem_->scheduler().ScheduleAfter(2000, [this, bytes = "U" + frame] {
      modem_->SetTransmitter(true);
      modem_->Queue(bytes);
    });
  }

  bool answersPolls_;
  std::unique_ptr<RadioModem> modem_;
  std::string recent_;
  std::array<bool, 256> owned_{};
  std::array<bool, 256> confirmed_{};
  int answered_ = 0;
};

TEST(AddressSpaceTest, WithEveryAddressTakenARegistrationIsRefusedAndNothingGoesToAddressZero) {
  Network net;
  // Long enough for an answer 2 ms after the poll or the previous station.
  net.Configure([](ServerSettings& settings) { settings.ReceiveWait = 10; });
  net.Configure([](ServerSettings& settings) { settings.ContentPacketPause = 1; });
  RegistrationFlood flood(net.radio, 252, true);
  std::size_t lastRequest = 0;
  ASSERT_TRUE(net.RunUntil(
      [&] {
        if (flood.sent < 252) return false;
        if (lastRequest == 0) lastRequest = InvitationsSoFar(net);
        return InvitationsSoFar(net) > lastRequest + 2;
      },
      3'000'000))
      << net.server->Stations().Count();
  EXPECT_EQ(net.server->Stations().Count(), 250u) << "every station confirmed and stays";
  EXPECT_EQ(net.ui.messages,
            (std::vector<std::string>{std::string(
                "Kritischer Fehler: keine freie Adresse für neuen TI, 0 vergeben!"_cp)}))
      << "told once for the two refused";
  EXPECT_EQ(net.ui.events.back(), "TI Nr. 250 angemeldet; Name \"st249\"; Typ: TI82");
  for (const auto& h : net.FramesOf(KindRegistered)) {
    EXPECT_NE(FramePayload(h.frame).substr(0, 5), "st250");
    EXPECT_NE(FramePayload(h.frame).substr(0, 5), "st251");
  }
  for (const auto& h : net.air.frames) {
    EXPECT_TRUE(FrameByte(h.frame, FrameDestination) != NoAddress ||
                FrameByte(h.frame, FrameKind) == KindInvite)
        << "only the invitation goes to address 0";
  }
  EXPECT_EQ(net.server->Stations().HighestAddress(), 253);
}

// A registration heard from a station that then never answers: gone after five turns of the
// sweep, with the kick for silence switched off. One that has answered stays, however quiet.
TEST(PhantomTest, AStationThatNeverAnswersLeavesAfterFiveTurns) {
  Network net;
  net.AddUser("echt", "pw");
  RegistrationFlood phantom(net.radio, 0, false);
  CalculatorStation& real = net.AddCalculator("echt");
  std::size_t quietFrom = 0;
  const std::size_t done =
      net.Run({{"start", [] { return true; }, [&] { real.engine().Connect(); }},
               {"real one idle", [&] { return real.engine().ScreenSerial() > 0; },
                [&] {
                  real.SetMuted(true);
                  phantom.names = 1;
                }},
               {"phantom registered", [&] { return net.server->Stations().Count() == 2; }},
               {"phantom gone", [&] { return net.server->Stations().Count() == 1; },
                [&] { quietFrom = InvitationsSoFar(net); }},
               {"fifty more cycles", [&] { return InvitationsSoFar(net) > quietFrom + 50; }}},
              120'000);
  ASSERT_EQ(done, 5u) << net.stuck;
  EXPECT_FALSE(net.server->Settings().KickSilentStations);
  EXPECT_EQ(net.FramesOf(KindPoll, 5).size(), 5u);
  EXPECT_EQ(net.server->Stations().Count(), 1u);
  EXPECT_EQ(net.server->Stations().SessionAt(4)->UserName(), "echt");
  EXPECT_EQ(net.server->Figures().Removals(RemovalCause::NeverAnswered), 1u);
  const std::vector<std::string> expected{"Kicke TI 6 (st0)", "TI Nr. 2 abgemeldet, Name:st0",
                                          std::string("Neue höchste Adresse:4"_cp)};
  ASSERT_GE(net.ui.events.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(net.ui.events.end() - 3, net.ui.events.end()), expected);
}

TEST(FleetTest, ScriptedCalculatorsRegisterLogInAndBrowse) {
  Network net;
  for (int i = 1; i <= 3; ++i)
    net.AddUser("demo" + std::to_string(i), "demo" + std::to_string(i));
  CalculatorFleet fleet(net.radio, net.server->Settings(), 3, 42);
  const bool browsing = net.RunUntil(
      [&] {
        for (std::size_t i = 0; i < fleet.Size(); ++i) {
          if (fleet.User(i).menuChoices < 3) return false;
        }
        return true;
      },
      120'000);
  EXPECT_TRUE(browsing) << "after " << net.NowMs() << " ms";
  for (std::size_t i = 0; i < fleet.Size(); ++i) {
    EXPECT_EQ(fleet.User(i).logins, 1) << fleet.Name(i);
  }
}

}  // namespace
}  // namespace velora

namespace velora {
namespace {

TEST(FleetTest, BrowsingGoesOnOverANoisyRadio) {
  Network net;
  RadioNoise noise;
  noise.bitErrorRate = 2e-4;
  noise.lostByteRate = 2e-3;
  noise.seed = 11;
  net.radio.SetNoise(noise);
  net.Configure([](ServerSettings& settings) {
    settings.MaxLogLines = 10000000;
  });  // one log file to look into
  for (int i = 1; i <= 4; ++i)
    net.AddUser("demo" + std::to_string(i), "demo" + std::to_string(i));
  CalculatorFleet fleet(net.radio, net.server->Settings(), 4, 5);
  const bool browsing = net.RunUntil(
      [&] {
        for (std::size_t i = 0; i < fleet.Size(); ++i) {
          if (fleet.User(i).menuChoices < 5) return false;
        }
        return true;
      },
      600'000);
  EXPECT_TRUE(browsing) << "after " << net.NowMs() << " ms";
  EXPECT_GT(net.radio.stats().flippedBits + net.radio.stats().lostBytes, 0u);
  EXPECT_TRUE(testing::ReadFileBytes(net.dir.File("veloraserverlog.txt")).find("DROP : ") !=
              std::string::npos)
      << "damaged frames reached the server and were dropped";
}

}  // namespace
}  // namespace velora
