// The figures against a radio where one calculator's acknowledgements never arrive and another
// falls silent: their counters move, the others' stay at nothing.
#include <gtest/gtest.h>

#include "bus/figures.h"
#include "link/frame.h"
#include "network_harness.h"

namespace velora {
namespace {

using testing::Network;

const StationRow& RowOf(const std::vector<StationRow>& rows, const std::string& name) {
  for (const StationRow& row : rows) {
    if (row.name == name) return row;
  }
  static const StationRow none;
  ADD_FAILURE() << "no station " << name;
  return none;
}

TEST(FiguresTest, TheStationsWithABadLinkStandOutAndLeaveTheirFiguresInTheLog) {
  Network net;
  const std::vector<std::string> names = {"anna", "bert", "carl", "dora"};
  std::vector<CalculatorStation*> calcs;
  for (const std::string& name : names) {
    net.AddUser(name, "pw");
    calcs.push_back(&net.AddCalculator(name));
  }
  CalculatorStation& deaf = *calcs[1];    // bert: his acknowledgements never reach the server
  CalculatorStation& silent = *calcs[3];  // dora: switched off
  std::size_t cyclesBefore = 0;
  std::vector<StationRow> rows;
  NetworkFigures figures;
  const auto allOnTheLoginPage = [&] {
    for (CalculatorStation* c : calcs) {
      if (!c->engine().Registered()) c->engine().Connect();
      if (c->engine().SimExpectedReply() != KindInputReply) return false;
      if (c->engine().PendingKind() != KindNothing) return false;  // its acknowledgement to send
    }
    return true;
  };
  const std::size_t done =
      net.Run({{"all on the login page", allOnTheLoginPage,
                [&] {
                  deaf.onFrame = [&deaf] { deaf.SetMuted(deaf.engine().PendingKind() == KindAck); };
                  deaf.engine().SubmitInput(false, "pw");  // the greeting comes, part after part
                  silent.SetMuted(true);
                  cyclesBefore = net.server->Cycle().cycles;
                }},
               {"twenty cycles", [&] { return net.server->Cycle().cycles >= cyclesBefore + 20; },
                [&] {
                  rows = net.server->StationRows();
                  figures = net.server->Figures();
                  // Now the silent one is kicked: its figures follow its event lines in the log.
                  deaf.onFrame = nullptr;
                  deaf.SetMuted(false);
                  net.Configure([](ServerSettings& s) {
                    s.KickSilentStations = true;
                    s.KickAfterNoReplies = 2;
                  });
                }},
               {"dora kicked", [&] { return net.server->Stations().Count() == 3; }}},
              120'000);
  ASSERT_EQ(done, 3u) << net.stuck;

  ASSERT_EQ(rows.size(), 4u);
  for (const char* name : {"anna", "carl"}) {
    SCOPED_TRACE(name);
    const StationFigures& f = RowOf(rows, name).figures;
    EXPECT_GT(f.framesSent, 20u);
    EXPECT_GT(f.framesReceived, 20u);
    EXPECT_EQ(f.resends, 0u);
    EXPECT_EQ(f.silentTurns, 0u);
    EXPECT_TRUE(f.heard);
  }
  const StationFigures& bert = RowOf(rows, "bert").figures;
  EXPECT_GE(bert.resends, 15u) << "the greeting's first packet, again and again";
  EXPECT_EQ(bert.longestResendRun, bert.resends) << "never acknowledged in between";
  EXPECT_GT(bert.silentTurns, 0u) << "its acknowledgements are the turns it lets pass";
  const StationFigures& dora = RowOf(rows, "dora").figures;
  EXPECT_EQ(dora.resends, 0u);
  EXPECT_GE(dora.silentRun, 19u) << "each sweep since, the last one still to come";
  EXPECT_EQ(dora.silentTurns, dora.silentRun);
  EXPECT_GE(net.server->NowTickMs() - dora.lastHeardTick, 2000u) << "a cycle pauses 100 ms";
  EXPECT_EQ(RowOf(rows, "anna").account, "") << "not logged in yet";

  EXPECT_EQ(figures.registrations, 4u);
  for (std::size_t r = 0; r < DropReasonCount; ++r)
    EXPECT_EQ(figures.dropped[r], 0u) << DropReasonName(static_cast<DropReason>(r));
  EXPECT_EQ(figures.cycleTimes.Count(), cyclesBefore + 19) << "every cycle but the first timed";

  figures = net.server->Figures();
  EXPECT_EQ(figures.Removals(RemovalCause::Silence), 1u);
  EXPECT_EQ(figures.Removals(RemovalCause::Logout), 0u);
  const std::string log = testing::ReadFileBytes(net.server->LogPath());
  const std::size_t gone = log.find("TI Nr. 4 abgemeldet, Name:dora");
  ASSERT_NE(gone, std::string::npos);
  const std::size_t stat = log.find("STAT : TI Nr. 4 (dora, address 7): registered ", gone);
  ASSERT_NE(stat, std::string::npos);
  EXPECT_EQ(log.find('\n', gone) + 1, log.find_last_of('\n', stat) + 1) << "the very next line";
  EXPECT_NE(log.find(", received ", stat), std::string::npos);
}

}  // namespace
}  // namespace velora
