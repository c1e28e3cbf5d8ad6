// The station list: three calculators on the main window's virtual radio (in real time), one of
// them out of range once it has registered. The list shows them, sorts by a column and keeps its
// selection and order across the refresh of every cycle; the resend graph follows the selected
// station and goes back to the first when that one is dropped for silence.
#include "gui/station_list.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QTableView>
#include <QTest>
#include <map>
#include <memory>
#include <optional>

#include "gui/graph_view.h"
#include "platform/virtual/virtual_calculator_station.h"
#include "window_test_support.h"

namespace velora {
namespace {

class StationListTest : public ::testing::Test {
 protected:
  std::optional<StationRow> Station(const std::string& name) const {
    for (StationRow& row : window->Core().StationRows())
      if (row.name == name) return row;
    return std::nullopt;
  }
  CalculatorStation& Calculator(const std::string& name, int model) {
    Calc& calc = calculators[name];
    calc.station = std::make_unique<CalculatorStation>(program->Port().Radio(),
                                                       window->Core().Settings(), name);
    calc.station->engine().SetUserName(name);
    calc.station->engine().SetModel(model);
    return *calc.station;
  }
  // Whether the server lists the calculator. A calculator asks for a slot once per Connect, and
  // on a busy machine the real-time radio may lose the request: it asks again a few cycles on.
  bool Joined(const std::string& name) {
    if (Station(name)) return true;
    Calc& calc = calculators.at(name);
    CalculatorEngine& engine = calc.station->engine();
    const std::uint64_t cycles = window->Core().Cycle().cycles;
    if (!engine.Registered() && !engine.ConnectRequested() && cycles >= calc.askedAt + 3) {
      engine.Connect();
      calc.askedAt = cycles;
    }
    return false;
  }
  QTableView& Table() { return *window->StationList()->Table(); }
  // A column's texts from top to bottom, as shown.
  QStringList Shown(StationModel::Column column) {
    QStringList texts;
    for (int r = 0; r < Table().model()->rowCount(); ++r)
      texts << Table().model()->index(r, column).data().toString();
    return texts;
  }
  std::string SelectedName() const {
    const StationRow* selected = window->StationList()->Selected();
    return selected != nullptr ? selected->name : "(none)";
  }
  // The first station had nothing to send again at the start of the last cycle.
  bool FirstIdle() const { return window->Core().Cycle().sendCount == 0; }
  // Whether the newest column of the resend graph rises above the lowest 6 pixels: the station
  // it shows has sent its current packet at least once.
  bool ResendColumnRaised() {
    const QImage image = window->findChild<GraphView*>("ImageResent")->Render();
    const int y = StatusGraphs::ResendHeight - 1 - StatusGraphs::ResendPixelsPerSend;
    return (image.pixel(window->Graphs().ResendX(), y) & 0xFFFFFF) == StatusGraphs::Black;
  }

  testing::WindowFolder folder;
  std::unique_ptr<OperatorProgram> program;
  TForm1* window = nullptr;
  struct Calc {
    std::unique_ptr<CalculatorStation> station;
    std::uint64_t askedAt = 0;  // the cycle of the last Connect
  };
  std::map<std::string, Calc> calculators;
};

TEST_F(StationListTest, ListsSortsAndLetsTheResendGraphFollowTheSelectedStation) {
  folder.Configure([](SettingsForm& form) {
    form.SetChecked(SettingId::CheckCSKickNotReplyingTIs, true);
    form.SetText(SettingId::EditCSKickAfterNumOfNoReplies, "10");
  });
  folder.WriteUsers({testing::Account("GAST", "gast")}, 0);
  program = folder.MakeProgram();
  window = &program->Window();
  ASSERT_TRUE(window->FormCreate(1));
  window->show();
  TForm1& w = *window;
  w.findChild<QAction*>("MMStations")->trigger();  // Server, Stationsliste
  Calculator("alpha", 0);
  Calculator("beta", 1);
  // Out of range once its first screen has reached it: it never acknowledges that.
  CalculatorStation& gamma = Calculator("gamma", 0);
  gamma.onFrame = [&gamma] {
    if (gamma.engine().SimExpectedReply() != -1) gamma.SetMuted(true);
  };
  using M = StationModel;

  std::uint64_t mark = 0;
  testing::OperatorSteps steps;
  // One after the other, so that their TI numbers are known.
  steps
      .Then(
          "alpha, then beta registered", [&] { return Joined("alpha") && Joined("beta"); }, [] {})
      .Then(
          "the list shows gamma with the most resends, the first station idle",
          [&] {
            const QStringList resends = Shown(M::ColResends);
            const auto count = [&resends](int row) {
              return resends[row].section(' ', 0, 0).toInt();
            };
            return Joined("gamma") && Shown(M::ColName).size() == 3 && count(2) > count(0) &&
                   count(2) > count(1) && FirstIdle();
          },
          [&] {
            EXPECT_EQ(Shown(M::ColTiNumber), QStringList({"1", "2", "3"}));
            EXPECT_EQ(Shown(M::ColName), QStringList({"alpha", "beta", "gamma"}));
            EXPECT_EQ(Shown(M::ColModel), QStringList({"TI82", "TI86", "TI82"}));
            EXPECT_EQ(Shown(M::ColAddress)[1], QString::number(Station("beta")->address));
            EXPECT_FALSE(ResendColumnRaised()) << "nothing selected: the first station, idle";
            // The operator looking for the bad link: most resends on top.
            Table().sortByColumn(M::ColResends, Qt::DescendingOrder);
            ASSERT_EQ(Shown(M::ColName).front(), "gamma");
            QTest::mouseClick(Table().viewport(), Qt::LeftButton, {},
                              Table().visualRect(Table().model()->index(0, 0)).center());
            EXPECT_EQ(SelectedName(), "gamma");
            mark = w.Core().Cycle().cycles;
          })
      .Then(
          "two more cycles", [&] { return w.Core().Cycle().cycles >= mark + 2 && FirstIdle(); },
          [&] {
            ASSERT_TRUE(Station("gamma").has_value()) << "gamma left too early for the test";
            EXPECT_EQ(SelectedName(), "gamma") << "the refresh kept the selection";
            EXPECT_EQ(Shown(M::ColName).front(), "gamma") << "and the order";
            EXPECT_TRUE(ResendColumnRaised()) << "the graph follows gamma";
          })
      .Then(
          "gamma dropped for silence, and the list refreshed since",
          [&] { return !Station("gamma") && Shown(M::ColName).size() == 2 && FirstIdle(); },
          [&] {
            EXPECT_EQ(SelectedName(), "(none)");
            EXPECT_FALSE(ResendColumnRaised()) << "back to the first station";
            w.StartStopClick();
          });
  EXPECT_TRUE(steps.Run(w, [&] { w.StartStopClick(); }));
}

}  // namespace
}  // namespace velora
