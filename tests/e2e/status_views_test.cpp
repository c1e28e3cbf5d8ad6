// The metrics, the status page and the terminal's table of a small network: one station logged in
// under a name that is markup, one whose name needs escaping in label values that then falls out
// of range.
#include "bus/status_views.h"

#include <gtest/gtest.h>

#include "network_harness.h"

namespace velora {
namespace {

using testing::Network;
using testing::User;

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + "\n";
  return text;
}

TEST(StatusViewsTest, ShowTheNetworkWithTheRadiosNamesEscaped) {
  Network net;
  net.Configure([](ServerSettings& s) { s.ContentDir = std::string(VELORA_CONTENT_DIR) + "/"; });
  net.AddUser("<b>x</b>", "Kennwort7");
  User markup{net.AddCalculator("<b>x</b>", 0).engine()};
  CalculatorStation& quoteStation = net.AddCalculator("a\"b\\", 1);
  const auto silentRun = [&] {
    const auto rows = net.server->StationRows();
    return rows.size() == 2 ? rows[1].figures.silentRun : 0u;
  };
  const std::size_t done = net.Run({{"start", [] { return true; }, [&] { markup.e.Connect(); }},
                                    {"registered", [&] { return markup.e.Registered(); },
                                     [&] { quoteStation.engine().Connect(); }},
                                    {"password", [&] { return markup.Fresh(KindInputReply); },
                                     [&] { markup.e.SubmitInput(false, "Kennwort7"); }},
                                    {"greeting", [&] { return markup.Fresh(KindTextReply); },
                                     [&] { quoteStation.SetMuted(true); }},
                                    {"silent", [&] { return silentRun() >= 3; }}},
                                   60'000);
  ASSERT_EQ(done, 5u) << net.stuck;

  const StatusSnapshot s = TakeSnapshot(*net.server);
  ASSERT_EQ(s.stations.size(), 2u);
  const StationRow& x = s.stations[0];
  const StationRow& q = s.stations[1];
  ASSERT_GT(q.figures.silentRun, 0u);
  const std::string metrics = FormatMetrics(s);
  const std::string page = FormatStatusPage(s, 7);
  const std::string table = Joined(FormatStationTable(s));
  const std::string xLabels = "{address=\"" + std::to_string(x.address) + "\",name=\"<b>x</b>\"}";
  const std::string qLabels = "{address=\"" + std::to_string(q.address) + "\",name=\"a\\\"b\\\\\"}";
  const auto count = std::to_string(s.network.cycleTimes.Count());

  struct Case {
    const std::string& view;
    std::string present;
    std::string absent = {};
  };
  const Case cases[] = {
      {metrics, "# TYPE velora_cycle_duration_seconds histogram\n"},
      {metrics, "velora_cycle_duration_seconds_bucket{le=\"+Inf\"} " + count + "\n"},
      {metrics, "velora_cycle_duration_seconds_count " + count + "\n"},
      {metrics, "velora_stations 2\n"},
      {metrics, "velora_registrations_total 2\n"},
      {metrics, "velora_frames_dropped_total{reason=\"stray_part\"} 0\n"},
      {metrics, "velora_mails_total{kind=\"fetched\",result=\"failed\"} 0\n"},
      {metrics, "velora_station_frames_sent_total" + xLabels + " " +
                    std::to_string(x.figures.framesSent) + "\n"},
      {metrics, "velora_station_silent_turns_total" + qLabels + " " +
                    std::to_string(q.figures.silentTurns) + "\n"},
      {metrics, "velora_station_last_heard_seconds" + qLabels + " ", "Kennwort7"},
      {page, "<meta http-equiv=\"refresh\" content=\"7\">", "<b>x</b>"},
      {page,
       "<td class=\"name\">&lt;b&gt;x&lt;/b&gt;</td><td>TI82</td>"
       "<td class=\"name\">&lt;B&gt;X&lt;/B&gt;</td>",
       "Kennwort7"},
      {page, "<td class=\"name\">a&quot;b\\</td><td>TI86</td><td class=\"name\"></td>"},
      {page, "<tr><th>Angemeldete TIs:</th><td>2</td></tr>"},
      {page,
       "<td>" + std::to_string(q.figures.silentTurns) + " (" + std::to_string(q.figures.silentRun) +
           ")</td></tr>",
       "src="},
      {page, "<polyline", "<script"},
      {page, "</svg>", "href="},
      {table, " <b>x</b> TI82  <B>X</B>", "Kennwort7"},
      {table, " a\"b\\     TI86           "},
  };
  for (const Case& c : cases) {
    const char* which = &c.view == &metrics ? "metrics" : &c.view == &page ? "page" : "table";
    EXPECT_NE(c.view.find(c.present), std::string::npos) << which << " lacks " << c.present;
    if (!c.absent.empty()) {
      EXPECT_EQ(c.view.find(c.absent), std::string::npos) << which << " shows " << c.absent;
    }
  }
  EXPECT_EQ(FormatStationTable(s).size(), 3u) << "a heading and a line per station";
}

}  // namespace
}  // namespace velora
