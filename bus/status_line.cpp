// The status line.
#include "bus/status_line.h"

#include <cstdio>

namespace velora {

namespace {

std::string Count(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string FormatStatusLine(const StatusFigures& now, const ServerStats& previous) {
  const ServerStats& s = now.stats;
  // A server started again counts from nothing.
  const bool restarted = s.timedCycles < previous.timedCycles;
  const std::uint64_t timed = s.timedCycles - (restarted ? 0 : previous.timedCycles);
  const std::uint64_t ms = s.cycleMsSum - (restarted ? 0 : previous.cycleMsSum);
  std::string mean = "no cycle timed since the last line";
  if (timed > 0) {
    char text[96];
    std::snprintf(text, sizeof text, "mean %.1f ms over the last %llu",
                  static_cast<double>(ms) / static_cast<double>(timed),
                  static_cast<unsigned long long>(timed));
    mean = text;
  }
  std::string line = "status: " + Count(now.stations, "station", "stations") + " online, " +
                     Count(s.cycles, "cycle", "cycles") + " (" + mean + "), " +
                     Count(s.framesResent, "frame", "frames") + " resent, " +
                     Count(s.messagesHandled, "message", "messages") + " and " +
                     Count(s.mailsHandled, "mail", "mails") + " handled, ";
  line += now.lastSave ? "last save " + FormatDateTimeC(*now.lastSave) : "no save yet";
  return line;
}

std::string StatusReporter::Line() {
  const StatusFigures now{server_.Stations().Count(), server_.Stats(), lifecycle_.LastSave()};
  std::string line = FormatStatusLine(now, previous_);
  previous_ = now.stats;
  return line;
}

}  // namespace velora
