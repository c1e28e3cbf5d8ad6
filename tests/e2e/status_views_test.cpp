// The metrics, the status page and the terminal's table of a small network: one station logged in
// under a name that is markup, one whose name needs escaping in label values that then falls out
// of range.
#include "bus/status_views.h"

#include <gtest/gtest.h>

#include "network_harness.h"

namespace velora {
namespace {

TEST(StatusViewsTest, ShowTheNetworkWithTheRadiosNamesEscaped) {
  testing::Network net;
  net.Configure([](ServerSettings& s) { s.ContentDir = std::string(VELORA_CONTENT_DIR) + "/"; });
  net.AddUser("<b>x</b>", "Kennwort7");
  testing::User x{net.AddCalculator("<b>x</b>", 0).engine()};
  CalculatorStation& quote = net.AddCalculator("a\"b\\", 1);
  const auto quoteSilent = [&] {
    const auto rows = net.server->StationRows();
    return rows.size() == 2 && rows[1].figures.silentRun >= 3;
  };
  const std::size_t done =
      net.Run({{"start", [] { return true; }, [&] { x.e.Connect(); }},
               {"registered", [&] { return x.e.Registered(); }, [&] { quote.engine().Connect(); }},
               {"password", [&] { return x.Fresh(KindInputReply); },
                [&] { x.e.SubmitInput(false, "Kennwort7"); }},
               {"greeting", [&] { return x.Fresh(KindTextReply); }, [&] { quote.SetMuted(true); }},
               {"silent", quoteSilent}},
              60'000);
  ASSERT_EQ(done, 5u) << net.stuck;

  const StatusSnapshot s = TakeSnapshot(*net.server);
  ASSERT_EQ(s.stations.size(), 2u);
  const StationFigures& xf = s.stations[0].figures;
  const StationFigures& qf = s.stations[1].figures;
  std::string table;
  for (const std::string& line : FormatStationTable(s))
    table += line + "\n";
  const std::string views[] = {FormatMetrics(s), FormatStatusPage(s, 7), table};
  const std::string xLabels = "{address=\"4\",name=\"<b>x</b>\"} ";
  const std::string qLabels = "{address=\"5\",name=\"a\\\"b\\\\\"} ";
  const std::string cycles = std::to_string(s.network.cycleTimes.Count()) + "\n";
  const std::string quoteSilence =
      std::to_string(qf.silentTurns) + " (" + std::to_string(qf.silentRun) + ")";
  const struct {
    int view;  // metrics, page, table
    std::string present, absent;
  } cases[] = {
      {0, "velora_cycle_duration_seconds_bucket{le=\"+Inf\"} " + cycles, "Kennwort7"},
      {0, "velora_cycle_duration_seconds_count " + cycles, "\n\n"},
      {0, "velora_station_frames_sent_total" + xLabels + std::to_string(xf.framesSent) + "\n", ""},
      {0, "velora_station_silent_turns_total" + qLabels + std::to_string(qf.silentTurns), ""},
      {0, "velora_station_last_heard_seconds" + qLabels, ""},
      {1, "<meta http-equiv=\"refresh\" content=\"7\">", "<b>x</b>"},
      {1, "<td class=\"name\">&lt;b&gt;x&lt;/b&gt;</td><td>TI82</td><td class=\"name\">&lt;B&gt;X",
       "Kennwort7"},
      {1, "<td class=\"name\">a&quot;b\\</td><td>TI86</td><td class=\"name\"></td>", "src="},
      {1, "<tr><th>Angemeldete TIs:</th><td>2</td></tr>", "href="},
      {1, "<td>" + quoteSilence + "</td></tr>", "<script"},
      {2, " <b>x</b> TI82  <B>X</B> ", "Kennwort7"},
      {2, " a\"b\\     TI86           ", ""},
      {2, quoteSilence + "\n", ""},
  };
  for (const auto& c : cases) {
    EXPECT_NE(views[c.view].find(c.present), std::string::npos) << c.view << " lacks " << c.present;
    if (!c.absent.empty()) {
      EXPECT_EQ(views[c.view].find(c.absent), std::string::npos) << c.view << " has " << c.absent;
    }
  }
}

}  // namespace
}  // namespace velora
