// The status line on a small network: its figures against what went over the air.
#include "bus/status_line.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>

#include "bus/lifecycle.h"
#include "link/frame.h"
#include "network_harness.h"
#include "support/memory_settings_backend.h"

namespace velora {
namespace {

using testing::Network;
using testing::User;

struct Parsed {
  std::uint64_t stations = 0, cycles = 0, timed = 0, resent = 0, messages = 0, mails = 0;
  double meanMs = 0;
  std::string lastSave;
};

// The numbers in their order, the words around them checked; singular and plural alike.
Parsed Parse(const std::string& line) {
  const std::size_t tail = line.find(" handled, ");
  if (tail == std::string::npos) {
    ADD_FAILURE() << "not a status line: " << line;
    return {};
  }
  std::vector<double> numbers;
  std::string words;
  for (std::size_t i = 0; i < tail;) {
    if (std::isdigit(static_cast<unsigned char>(line[i]))) {
      std::size_t used = 0;
      numbers.push_back(std::stod(line.substr(i), &used));
      words += '#';
      i += used;
      continue;
    }
    // "stations" reads as "station", and so on ("ms" as "m").
    if (line[i] == 's' && (i + 1 == tail || line[i + 1] == ' ' || line[i + 1] == ',')) {
      ++i;
      continue;
    }
    words += line[i++];
  }
  EXPECT_EQ(words,
            "status: # station online, # cycle (mean # m over the last #), # frame resent, # "
            "message and # mail")
      << line;
  if (numbers.size() != 7) return {};
  const auto n = [&](int k) { return static_cast<std::uint64_t>(numbers[k]); };
  return {n(0), n(1), n(3), n(4), n(5), n(6), numbers[2], line.substr(tail + 10)};
}

// Packets the server sent again: a frame to a station the same as the one it sent that station
// before (acknowledgements, polls and idle frames aside).
std::uint64_t ResentOnTheAir(const Network& net) {
  std::map<int, std::string> last;
  std::uint64_t resent = 0;
  for (const auto& heard : net.air.frames) {
    const std::string& frame = heard.frame;
    if (FrameByte(frame, FrameSource) != ServerAddress) continue;
    const int kind = FrameByte(frame, FrameKind) & ~ContinuationBit;
    if (kind == KindAck || kind == KindPoll || kind == KindNothing || kind == KindInvite) continue;
    std::string& previous = last[FrameByte(frame, FrameDestination)];
    resent += frame == previous;
    previous = frame;
  }
  return resent;
}

TEST(StatusLineNetworkTest, FiguresMatchTheAir) {
  Network net;
  MemorySettingsBackend backend;
  Lifecycle life(*net.server, net.ui, backend, nullptr, net.dir.path());
  ASSERT_TRUE(life.Load(1));
  net.Configure([](ServerSettings& s) { s.ContentDir = std::string(VELORA_CONTENT_DIR) + "/"; });
  net.AddUser("anna", "pa");
  net.AddUser("bert", "pb");
  User anna{net.AddCalculator("anna", 0).engine()};
  CalculatorStation& bertStation = net.AddCalculator("bert", 1);
  User bert{bertStation.engine()};
  StatusReporter reporter(*net.server, life);

  // Lines are taken right after a cycle's registration slot, when its invitation is on the air.
  struct Taken {
    std::string line;
    std::size_t invitations = 0;
    std::int64_t lastInvitationUs = 0;
    std::uint64_t resent = 0;
  };
  std::vector<Taken> taken;
  bool take = false;
  net.server->SetCycleHandler([&] {
    if (!take) return;
    take = false;
    const auto invitations = net.FramesOf(KindInvite);
    taken.push_back(
        {reporter.Line(), invitations.size(), invitations.back().atUs, ResentOnTheAir(net)});
  });
  const auto menu = [](User& u) { return u.Fresh(KindMenuReply); };
  const auto input = [](User& u) { return u.Fresh(KindInputReply); };
  DateTime savedAt;
  const std::size_t done = net.Run(
      {{"start", [] { return true; }, [&] { anna.e.Connect(); }},
       {"anna registered", [&] { return anna.e.Registered(); }, [&] { bert.e.Connect(); }},
       {"anna login", [&] { return input(anna); }, [&] { anna.e.SubmitInput(false, "pa"); }},
       {"bert login", [&] { return input(bert); }, [&] { bert.e.SubmitInput(false, "pb"); }},
       {"anna greeting", [&] { return anna.Fresh(KindTextReply); }, [&] { anna.Continue(); }},
       {"bert greeting", [&] { return bert.Fresh(KindTextReply); }, [&] { bert.Continue(); }},
       {"anna main menu", [&] { return menu(anna); }, [&] { take = true; }},
       {"first line", [&] { return taken.size() == 1; }, [&] { anna.Choose("Nachrichten"); }},
       // Out of range from now on: whatever the server sends bert, it sends again.
       {"bert main menu", [&] { return menu(bert); }, [&] { bertStation.SetMuted(true); }},
       {"anna message menu", [&] { return menu(anna); }, [&] { anna.Choose("Schreiben"); }},
       {"anna recipient", [&] { return input(anna); }, [&] { anna.e.SubmitInput(false, "bert"); }},
       {"anna text", [&] { return input(anna); }, [&] { anna.e.SubmitInput(false, "Hallo"); }},
       {"saved",
        [&] {
          return testing::ReadFileBytes(net.dir.File("users.txt")).find("Hallo") !=
                 std::string::npos;
        },
        [&] { savedAt = net.clock.LocalNow(); }},
       {"anna confirmation", [&] { return anna.FreshText("an BERT versendet."); }},
       {"the notice to bert resent", [&] { return net.server->Stats().framesResent >= 5; },
        [&] { take = true; }},
       {"second line", [&] { return taken.size() == 2; }}},
      120'000);
  ASSERT_EQ(done, 16u) << net.stuck;

  const Parsed first = Parse(taken[0].line);
  const Parsed second = Parse(taken[1].line);
  EXPECT_EQ(first.stations, 2u);
  EXPECT_EQ(first.cycles, taken[0].invitations);
  EXPECT_EQ(first.timed, taken[0].invitations - 1) << "the first cycle has no duration yet";
  EXPECT_EQ(first.resent, taken[0].resent);
  EXPECT_EQ(first.messages, 0u);
  EXPECT_EQ(first.lastSave, "no save yet");

  EXPECT_EQ(second.stations, 2u) << "bert is out of range, not gone";
  EXPECT_EQ(second.cycles, taken[1].invitations);
  EXPECT_EQ(second.timed, taken[1].invitations - taken[0].invitations)
      << "the mean covers the cycles since the line before";
  // Each cycle starts with its invitation, so their distance is the cycle time (whole ms).
  const double meanMs = static_cast<double>(taken[1].lastInvitationUs - taken[0].lastInvitationUs) /
                        1000.0 / static_cast<double>(second.timed);
  EXPECT_NEAR(second.meanMs, meanMs, 0.05 + 1.0 / static_cast<double>(second.timed));
  EXPECT_GT(second.meanMs, 100.0) << "a cycle waits at least the content pause";
  EXPECT_EQ(second.resent, taken[1].resent);
  EXPECT_GE(second.resent, 5u);
  EXPECT_EQ(second.messages, 1u);
  EXPECT_EQ(second.mails, 0u);
  EXPECT_EQ(second.lastSave, "last save " + FormatDateTimeC(savedAt));
}

TEST(StatusLineTest, SingularsAndTheFirstLine) {
  StatusFigures now;
  now.stations = 1;
  now.stats = {.cycles = 1, .framesResent = 1, .messagesHandled = 1, .mailsHandled = 1};
  EXPECT_EQ(FormatStatusLine(now, {}),
            "status: 1 station online, 1 cycle (no cycle timed since the last line), 1 frame "
            "resent, 1 message and 1 mail handled, no save yet");
  now.stats = {.cycles = 3, .timedCycles = 2, .cycleMsSum = 301};
  now.lastSave = DateTime{2026, 12, 6, 9, 7, 5};
  EXPECT_EQ(FormatStatusLine(now, {}),
            "status: 1 station online, 3 cycles (mean 150.5 ms over the last 2), 0 frames "
            "resent, 0 messages and 0 mails handled, last save 06.12.2026 09:07:05");
}

// After a stop and a start the server counts from nothing; the line before counts for nothing.
TEST(StatusLineTest, AServerStartedAgainIsMeasuredFromItsStart) {
  StatusFigures now;
  now.stats = {.cycles = 5, .timedCycles = 4, .cycleMsSum = 400};
  const ServerStats before{.cycles = 50, .timedCycles = 49, .cycleMsSum = 9000};
  EXPECT_NE(FormatStatusLine(now, before).find("(mean 100.0 ms over the last 4)"),
            std::string::npos);
}

}  // namespace
}  // namespace velora
