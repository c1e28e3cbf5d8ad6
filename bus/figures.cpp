// The server's figures.
#include "bus/figures.h"

#include <algorithm>

namespace velora {

void StationFigures::Sent(bool resent) {
  ++framesSent;
  if (!resent) {
    resendRun = 0;
    return;
  }
  ++resends;
  ++resendRun;
  longestResendRun = std::max(longestResendRun, resendRun);
}

void StationFigures::Heard(std::uint32_t tick) {
  ++framesReceived;
  lastHeardTick = tick;
  heard = true;
  silentRun = 0;
}

void StationFigures::Silent() {
  ++silentTurns;
  ++silentRun;
  longestSilentRun = std::max(longestSilentRun, silentRun);
}

std::string_view DropReasonName(DropReason reason) {
  switch (reason) {
    case DropReason::Crc:
      return "crc";
    case DropReason::Length:
      return "length";
    case DropReason::Destination:
      return "destination";
    case DropReason::Overtaken:
      return "overtaken";
    case DropReason::Source:
      return "source";
    case DropReason::StrayPart:
      return "stray_part";
  }
  return "unknown";
}

std::string_view RemovalCauseName(RemovalCause cause) {
  switch (cause) {
    case RemovalCause::Logout:
      return "logout";
    case RemovalCause::Silence:
      return "silence";
    case RemovalCause::NeverAnswered:
      return "never_answered";
    case RemovalCause::Kick:
      return "kick";
    case RemovalCause::Replaced:
      return "replaced";
  }
  return "unknown";
}

void CycleTimes::Add(std::uint32_t ms) {
  const auto bound = std::lower_bound(BoundsMs.begin(), BoundsMs.end(), ms);
  ++buckets_[static_cast<std::size_t>(bound - BoundsMs.begin())];
  ++count_;
  sumMs_ += ms;
  if (recent_.size() < Kept) {
    recent_.push_back(ms);
    return;
  }
  recent_[next_] = ms;
  next_ = (next_ + 1) % Kept;
}

std::array<std::uint64_t, CycleTimes::BoundsMs.size() + 1> CycleTimes::Cumulative() const {
  std::array<std::uint64_t, BoundsMs.size() + 1> out{};
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < buckets_.size(); ++i) {
    sum += buckets_[i];
    out[i] = sum;
  }
  return out;
}

std::vector<std::uint32_t> CycleTimes::Recent() const {
  std::vector<std::uint32_t> out(recent_.begin() + static_cast<std::ptrdiff_t>(next_),
                                 recent_.end());
  out.insert(out.end(), recent_.begin(), recent_.begin() + static_cast<std::ptrdiff_t>(next_));
  return out;
}

std::string RemovalFiguresLine(const StationRow& row, std::uint32_t nowTick) {
  const StationFigures& f = row.figures;
  std::string line =
      "STAT : TI Nr. " + std::to_string(row.tiNumber) + " (" + row.name + ", address " +
      std::to_string(row.address) + "): registered " + FormatDateTimeC(f.registeredAt) + " for " +
      std::to_string((nowTick - f.registeredTick) / 1000) + " s, frames sent " +
      std::to_string(f.framesSent) + ", received " + std::to_string(f.framesReceived) +
      ", resent " + std::to_string(f.resends) + " (longest run " +
      std::to_string(f.longestResendRun) + "), silent turns " + std::to_string(f.silentTurns) +
      " (longest run " + std::to_string(f.longestSilentRun) + "), last heard ";
  line += f.heard ? std::to_string((nowTick - f.lastHeardTick) / 1000) + " s before" : "never";
  return line;
}

}  // namespace velora
