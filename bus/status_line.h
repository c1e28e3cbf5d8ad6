// The headless server's status line: one line a minute, and on request, that tells an operator at
// a glance whether the network is healthy.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "bus/lifecycle.h"
#include "bus/server.h"
#include "common/date_time.h"

namespace velora {

struct StatusFigures {
  std::size_t stations = 0;  // registered calculators
  ServerStats stats;
  std::optional<DateTime> lastSave;
};

// "status: 2 stations online, 431 cycles (mean 212.5 ms over the last 283), 3 frames resent,
// 1 message and 0 mails handled, last save 06.12.2026 09:07:00". Every count is since the server
// started; the mean cycle time is that of the cycles timed since `previous` was taken.
std::string FormatStatusLine(const StatusFigures& now, const ServerStats& previous);

// The figures of a server and its lifecycle, each line's mean taken since the line before.
class StatusReporter {
 public:
  StatusReporter(const Server& server, const Lifecycle& lifecycle)
      : server_(server), lifecycle_(lifecycle) {}
  std::string Line();

 private:
  const Server& server_;
  const Lifecycle& lifecycle_;
  ServerStats previous_;
};

}  // namespace velora
