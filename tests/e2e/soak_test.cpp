// A noisy radio for a long stretch of virtual time: scripted users browse, come and go, write
// each other messages, switch their calculators off or carry them out of range now and then.
// Every confirmed message is stored once, every calculator keeps making progress, every station
// in the table keeps talking and every removal is explained in the event list.
//
// The suite runs 15 calculators for a simulated quarter of an hour; VELORA_SOAK_SECONDS and
// VELORA_SOAK_STATIONS make it longer (`make soak`: 50 calculators for a simulated day).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "common/text.h"
#include "link/frame.h"
#include "network_harness.h"
#include "platform/virtual/virtual_fleet.h"
#include "sim/message_errand.h"

namespace velora {
namespace {

using testing::Network;

std::int64_t EnvOr(const char* name, std::int64_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoll(value) : fallback;
}

// The lines of one list without their match in the other, and the other way round.
std::string Unmatched(const std::multiset<std::string>& logged,
                      const std::multiset<std::string>& expected) {
  std::vector<std::string> extra, missing;
  std::set_difference(logged.begin(), logged.end(), expected.begin(), expected.end(),
                      std::back_inserter(extra));
  std::set_difference(expected.begin(), expected.end(), logged.begin(), logged.end(),
                      std::back_inserter(missing));
  std::string out;
  for (const std::string& line : extra)
    out += "logged but not seen: " + line + "\n";
  for (const std::string& line : missing)
    out += "seen but not logged: " + line + "\n";
  return out;
}

// What the server's station table held of one session when the cycle last looked.
struct SeenSession {
  std::string name;
  std::uint8_t address = 0;
  std::int64_t sinceUs = 0;
  bool answered = false;
  bool loggedOut = false;
};

struct Removals {
  int logout = 0;
  int neverAnswered = 0;  // a registration the calculator never heard of (phantom)
  int silent = 0;         // kicked for silence
};

class Soak {
 public:
  // rare: the chance, on each screen, that its user switches the calculator off; the same
  // again that the user carries it out of range.
  Soak(int stations, std::int64_t simulatedS, double rare) : endUs_(simulatedS * 1'000'000) {
    net.server->SetLogLevel(1);
    net.Configure([](ServerSettings& s) { s.KickSilentStations = true; });
    std::vector<std::string> names;
    for (int i = 1; i <= stations; ++i) {
      const std::string name = "demo" + std::to_string(i);
      net.AddUser(name, name);
      names.push_back(AsciiUpper(name));
    }
    FleetTiming timing;
    timing.leaveAfterChoicesMin = 5;
    timing.leaveAfterChoicesMax = 30;
    timing.offlineMinUs = 30'000'000;
    timing.offlineMaxUs = 300'000'000;
    fleet = std::make_unique<CalculatorFleet>(net.radio, net.server->Settings(), stations, 11,
                                              "demo", timing);
    for (int i = 0; i < stations; ++i) {
      std::vector<std::string> others = names;
      others.erase(others.begin() + i);
      errands.push_back(std::make_unique<MessageErrand>(fleet->Name(static_cast<std::size_t>(i)),
                                                        others, 0.25, 1000u + i));
      fleet->User(static_cast<std::size_t>(i)).errand = [this, i, rare](CalculatorEngine& engine) {
        // Now and then a calculator is switched off without logging out, or carried out of
        // range for a few minutes.
        const double dice = std::uniform_real_distribution<double>(0, 1)(random_);
        if (dice < rare) {
          engine.SilentDisconnect();
          ++switchedOff;
          return true;
        }
        CalculatorStation& station = fleet->Station(static_cast<std::size_t>(i));
        if (dice < 2 * rare && !outOfRange_[static_cast<std::size_t>(i)]) {
          outOfRange_[static_cast<std::size_t>(i)] = true;
          station.SetMuted(true);
          ++carriedAway;
          net.time.ScheduleAfter(120'000'000 + (random_() % 120) * 1'000'000, [this, i] {
            fleet->Station(static_cast<std::size_t>(i)).SetMuted(false);
            outOfRange_[static_cast<std::size_t>(i)] = false;
          });
        }
        return errands[static_cast<std::size_t>(i)]->Answer(engine);
      };
    }
    wasRegistered_.assign(static_cast<std::size_t>(stations), false);
    outOfRange_.assign(static_cast<std::size_t>(stations), false);
    net.radio.SetNoise(RadioNoise{1e-4, 1e-5, 3});
    net.air.onFrame = [this](const testing::AirListener::Heard& h) {
      if (FrameByte(h.frame, FrameDestination) == ServerAddress)
        lastHeardUs_[FrameByte(h.frame, FrameSource)] = h.atUs;
    };
    net.server->SetCycleHandler([this] { Cycle(); });
  }

  // Runs to the end; the progress of every calculator is taken progressWindowS before it.
  void Run(std::int64_t progressWindowS) {
    net.time.ScheduleAfter(endUs_ - progressWindowS * 1'000'000,
                           [this] { progressAtWindow = Progress(); });
    const auto wallStart = std::chrono::steady_clock::now();
    net.RunUntil([] { return false; }, endUs_ / 1000);
    wallS = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    LookAtStations();  // removals of the last cycle
  }

  std::vector<int> Progress() {
    std::vector<int> out;
    for (std::size_t i = 0; i < fleet->Size(); ++i) {
      const ScriptedUser& u = fleet->User(i);
      out.push_back(u.logins + u.menuChoices + u.pagesRead);
    }
    return out;
  }

  void Cycle() {
    const std::int64_t now = net.time.NowUs();
    if (lastCycleUs_ >= 0) longestCycleUs = std::max(longestCycleUs, now - lastCycleUs_);
    lastCycleUs_ = now;
    LookAtStations();
    net.air.frames.clear();  // kept in lastHeardUs_ instead
    for (std::size_t i = 0; i < fleet->Size(); ++i) {
      const bool now = fleet->Station(i).engine().Registered();
      registrations += now && !wasRegistered_[i] ? 1 : 0;
      wasRegistered_[i] = now;
    }
  }

  // Compares the table with the last look: who came, who went and why, who kept silent.
  void LookAtStations() {
    const std::int64_t now = net.time.NowUs();
    const StationTable& table = net.server->Stations();
    std::map<SessionId, SeenSession> present;
    for (std::size_t i = 0; i < table.Count(); ++i) {
      const TProcess& session = table.Session(i);
      SeenSession seen{session.UserName(), static_cast<std::uint8_t>(session.Address()), now,
                       session.Link().Answered(), session.LoggedOut()};
      const auto before = seen_.find(table.IdAt(i));
      if (before != seen_.end()) seen.sinceUs = before->second.sinceUs;
      const std::int64_t heard = std::max(seen.sinceUs, lastHeardUs_[seen.address]);
      longestSilenceUs = std::max(longestSilenceUs, now - heard);
      present[table.IdAt(i)] = seen;
    }
    for (const auto& [id, seen] : seen_) {
      if (present.count(id) != 0) continue;
      removed.push_back(seen);
      if (seen.loggedOut) {
        ++removals.logout;
      } else if (!seen.answered) {
        ++removals.neverAnswered;
      } else {
        ++removals.silent;
      }
    }
    seen_ = std::move(present);
  }

  Network net;
  std::unique_ptr<CalculatorFleet> fleet;
  std::vector<std::unique_ptr<MessageErrand>> errands;
  std::vector<SeenSession> removed;
  Removals removals;
  int registrations = 0;
  int switchedOff = 0;
  int carriedAway = 0;
  std::int64_t longestSilenceUs = 0;
  std::int64_t longestCycleUs = 0;
  double wallS = 0;
  std::vector<int> progressAtWindow;

 private:
  std::int64_t endUs_;
  std::int64_t lastCycleUs_ = -1;
  std::mt19937 random_{5};
  std::map<SessionId, SeenSession> seen_;
  std::array<std::int64_t, 256> lastHeardUs_{};
  std::vector<bool> wasRegistered_;
  std::vector<bool> outOfRange_;
};

TEST(NoisyRadioSoak, MessagesArriveOnceNobodyStaysStuckAndEveryRemovalIsLogged) {
  const int stations = static_cast<int>(EnvOr("VELORA_SOAK_STATIONS", 15));
  const std::int64_t simulatedS = EnvOr("VELORA_SOAK_SECONDS", 900);
  const std::int64_t windowS = std::min<std::int64_t>(3600, simulatedS / 2);
  // A short run sees about as many of the rare events as an hour does.
  Soak soak(stations, simulatedS, 0.0005 * std::max(1.0, 3600.0 / static_cast<double>(simulatedS)));
  soak.Run(windowS);
  Network& net = soak.net;

  // Messages: each confirmed one stored exactly once for its recipient, none stored twice.
  std::map<std::string, std::vector<std::string>> storedFor;  // text -> recipients
  for (const Tuserdata& account : net.server->Users()) {
    for (const Tmessage& m : account.Messages)
      storedFor[m.Text].push_back(account.Name);
  }
  int sent = 0, confirmed = 0, delivered = 0, resubmitted = 0;
  for (const auto& errand : soak.errands) {
    for (const MessageErrand::Message& m : errand->Messages()) {
      ++sent;
      resubmitted += m.submissions > 1 ? 1 : 0;
      const std::vector<std::string>& at = storedFor[m.text];
      EXPECT_LE(at.size(), 1u) << m.text << " stored twice";
      if (m.confirmed) {
        ++confirmed;
        EXPECT_EQ(at, std::vector<std::string>{m.recipient}) << m.text;
      }
      delivered += at.empty() ? 0 : 1;
      for (const std::string& r : at)
        EXPECT_EQ(r, m.recipient) << m.text;
    }
  }
  std::size_t storedTotal = 0;
  for (const auto& [text, at] : storedFor)
    storedTotal += at.size();
  EXPECT_EQ(storedTotal, static_cast<std::size_t>(delivered)) << "a text nobody sent was stored";
  EXPECT_GT(confirmed, stations) << "messages were written";

  // Nobody stuck: every calculator made progress in the last window, and no station in the
  // table went without a frame to the server for long (a silent one is kicked after 31 turns).
  const std::vector<int> progress = soak.Progress();
  ASSERT_EQ(progress.size(), soak.progressAtWindow.size());
  for (std::size_t i = 0; i < progress.size(); ++i)
    EXPECT_GT(progress[i], soak.progressAtWindow[i]) << soak.fleet->Name(i) << " made no progress";
  // One turn a cycle: a station silent for more turns than the kick allows is gone.
  const std::int64_t turnsAllowed = net.server->Settings().KickAfterNoReplies + 2;
  EXPECT_LE(soak.longestSilenceUs, turnsAllowed * soak.longestCycleUs);
  EXPECT_GT(soak.switchedOff, 0);
  EXPECT_GT(soak.fleet->AddressesLost(), 0u) << "calculators carried out of range came back";
  EXPECT_GT(soak.removals.silent, 0) << "switched-off calculators were kicked";

  // Every removal has its line in the event list, a kick its own as well.
  std::multiset<std::string> logged, kicked, expectedGone, expectedKicks;
  int registeredLines = 0;
  for (const std::string& line : net.ui.events) {
    const std::size_t gone = line.find(" abgemeldet, Name:");
    if (gone != std::string::npos) logged.insert(line.substr(gone + 18));
    if (line.rfind("Kicke TI ", 0) == 0) kicked.insert(line.substr(9));
    registeredLines += line.find(" angemeldet; Name ") != std::string::npos ? 1 : 0;
  }
  for (const SeenSession& s : soak.removed) {
    // A name garbled on the air passes the CRC now and then; the event list escapes it.
    const std::string name = EscapeControlBytes(s.name);
    expectedGone.insert(name);
    if (!s.loggedOut) expectedKicks.insert(std::to_string(s.address + 1) + " (" + name + ")");
  }
  EXPECT_EQ(Unmatched(logged, expectedGone), "");
  EXPECT_EQ(Unmatched(kicked, expectedKicks), "");
  EXPECT_EQ(static_cast<std::size_t>(registeredLines),
            soak.removed.size() + net.server->Stations().Count());

  const VirtualRadio::Stats& radio = net.radio.stats();
  EXPECT_GT(radio.flippedBits, 0u);
  EXPECT_GT(radio.garbledBytes, 0u) << "collisions";
  std::printf(
      "soak: %d stations, %lld simulated s in %.1f wall s (%.0f simulated s per wall s)\n"
      "messages: %d sent, %d confirmed, %d delivered, %d sent again by their users\n"
      "registrations: %d (server: %d); switched off: %d; out of range: %d; addresses lost "
      "unawares: %llu; removals: %d logout, %d never answered, %d silent\n"
      "frames resent: %llu; bits flipped: %llu; bytes lost: %llu; bytes garbled by collisions: "
      "%llu; longest silence of a station in the table: %.1f s (longest cycle %.2f s)\n",
      stations, static_cast<long long>(simulatedS), soak.wallS,
      soak.wallS > 0 ? static_cast<double>(simulatedS) / soak.wallS : 0.0, sent, confirmed,
      delivered, resubmitted, soak.registrations, registeredLines, soak.switchedOff,
      soak.carriedAway, static_cast<unsigned long long>(soak.fleet->AddressesLost()),
      soak.removals.logout, soak.removals.neverAnswered, soak.removals.silent,
      static_cast<unsigned long long>(net.server->Stats().framesResent),
      static_cast<unsigned long long>(radio.flippedBits),
      static_cast<unsigned long long>(radio.lostBytes),
      static_cast<unsigned long long>(radio.garbledBytes),
      static_cast<double>(soak.longestSilenceUs) / 1e6,
      static_cast<double>(soak.longestCycleUs) / 1e6);
}

}  // namespace
}  // namespace velora
