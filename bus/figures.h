// What the server counts, per station from its registration to its removal and for the whole
// network since the start: the operator's means of finding the one calculator with a bad link.
// Counting is a few increments in the cycle; the views build their tables from these.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/date_time.h"
#include "session/service.h"

namespace velora {

struct StationFigures {
  DateTime registeredAt;
  std::uint32_t registeredTick = 0;
  std::uint32_t lastHeardTick = 0;
  bool heard = false;  // lastHeardTick is valid
  std::uint64_t framesSent = 0;
  std::uint64_t framesReceived = 0;
  std::uint64_t resends = 0;    // packets sent again, not acknowledged the time before
  std::uint32_t resendRun = 0;  // resends in a row now
  std::uint32_t longestResendRun = 0;
  std::uint64_t silentTurns = 0;  // turns of the sweep without an answer
  std::uint32_t silentRun = 0;    // ... in a row now
  std::uint32_t longestSilentRun = 0;

  void Sent(bool resent);
  void Heard(std::uint32_t tick);
  void Silent();
};

// Why a frame heard by the server was not taken.
enum class DropReason {
  Crc,          // the check failed
  Length,       // a length byte below a frame's size
  Destination,  // for another station
  Overtaken,    // incomplete, given up for an intact frame behind it
  Source,       // from a station other than the one whose turn it was
  StrayPart,    // a part of a multi-part transfer out of order
};
inline constexpr std::size_t DropReasonCount = 6;
// "crc", "length", "destination", "overtaken", "source", "stray_part".
std::string_view DropReasonName(DropReason reason);

// Why a station left the table.
enum class RemovalCause {
  Logout,         // the calculator or its user logged out
  Silence,        // silent longer than the kick setting allows
  NeverAnswered,  // never answered after registering (a phantom)
  Kick,           // an administrator's kick
  Replaced,       // its calculator came back and registered again under its name
};
inline constexpr std::size_t RemovalCauseCount = 5;
// "logout", "silence", "never_answered", "kick", "replaced".
std::string_view RemovalCauseName(RemovalCause cause);

// The cycle times: a histogram for the monitoring, and the last ones for a graph.
class CycleTimes {
 public:
  // Upper bounds of the buckets in milliseconds; one more bucket holds the rest.
  static constexpr std::array<std::uint32_t, 12> BoundsMs{25,  50,   100,  200,  300,  500,
                                                          750, 1000, 1500, 2000, 5000, 10000};
  // How many of the last cycle times are kept for the graph.
  static constexpr std::size_t Kept = 600;

  void Add(std::uint32_t ms);
  // Cycles at or below each bound, cumulative, then all of them.
  std::array<std::uint64_t, BoundsMs.size() + 1> Cumulative() const;
  std::uint64_t Count() const { return count_; }
  std::uint64_t SumMs() const { return sumMs_; }
  // The kept times, oldest first.
  std::vector<std::uint32_t> Recent() const;

 private:
  std::array<std::uint64_t, BoundsMs.size() + 1> buckets_{};
  std::uint64_t count_ = 0;
  std::uint64_t sumMs_ = 0;
  std::vector<std::uint32_t> recent_;  // a ring once full
  std::size_t next_ = 0;
};

struct NetworkFigures {
  std::array<std::uint64_t, DropReasonCount> dropped{};
  std::uint64_t registrations = 0;
  std::array<std::uint64_t, RemovalCauseCount> removals{};
  CycleTimes cycleTimes;
  std::uint64_t savesOk = 0;
  std::uint64_t savesFailed = 0;

  std::uint64_t& Dropped(DropReason reason) { return dropped[static_cast<std::size_t>(reason)]; }
  std::uint64_t Dropped(DropReason reason) const {
    return dropped[static_cast<std::size_t>(reason)];
  }
  std::uint64_t& Removals(RemovalCause cause) { return removals[static_cast<std::size_t>(cause)]; }
  std::uint64_t Removals(RemovalCause cause) const {
    return removals[static_cast<std::size_t>(cause)];
  }
};

// One station as the views show it.
struct StationRow {
  SessionId id = 0;  // the same for as long as the station stays; its place may change
  int tiNumber = 0;  // its place in the table, from 1
  std::uint8_t address = 0;
  std::string name;               // as the calculator sent it
  std::uint8_t model = 0;         // 0 TI 82, 1 TI 86
  std::string account;            // the account it is logged in as; empty when none
  std::int32_t sendCount = 0;     // polls in a row its current packet went out
  std::int32_t sendCountMax = 0;  // the most so far
  StationFigures figures;
};

// The line the detailed log gets about a station that leaves, after its event line.
std::string RemovalFiguresLine(const StationRow& row, std::uint32_t nowTick);

}  // namespace velora
