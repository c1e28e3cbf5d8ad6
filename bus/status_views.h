// The figures as they are seen from outside the windows: the metrics a monitoring system scrapes,
// the status page a browser shows and the station table of the headless server's terminal.
// Station names come from the radio, so anyone in range chooses them; every view escapes them
// for its format. Passwords and the texts of messages and mails are never part of a view.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bus/figures.h"
#include "bus/server.h"
#include "common/date_time.h"
#include "session/context.h"

namespace velora {

// One moment of a server, as every view reads it.
struct StatusSnapshot {
  bool running = false;
  DateTime now;
  std::uint32_t nowTick = 0;  // the server's millisecond tick, that of the figures
  std::int32_t runSeconds = 0;
  std::uint64_t cycles = 0;
  std::uint32_t lastCycleMs = 0;
  NetworkFigures network;
  ServiceCounts counts;
  std::vector<StationRow> stations;
};

StatusSnapshot TakeSnapshot(const Server& server);

inline constexpr std::string_view MetricsContentType = "text/plain; version=0.0.4; charset=utf-8";
inline constexpr std::string_view StatusPageContentType = "text/html; charset=utf-8";

// The Prometheus text exposition format, version 0.0.4, in UTF-8.
std::string FormatMetrics(const StatusSnapshot& snapshot);

// The status page, a whole HTML document in UTF-8 that needs nothing from elsewhere and loads
// itself again every refreshSeconds.
std::string FormatStatusPage(const StatusSnapshot& snapshot, int refreshSeconds = 5);

// The station table for a terminal: a heading and one line per station, in 8-bit text with the
// names' control bytes escaped.
std::vector<std::string> FormatStationTable(const StatusSnapshot& snapshot);

}  // namespace velora
