// The station list: three calculators on the main window's virtual radio (in real time), one of
// them out of range once it has registered. The list shows them, sorts by a column and keeps its
// selection and order across the refresh of every cycle; the resend graph follows the selected
// station and goes back to the first when that one is dropped for silence.
#include "gui/station_list.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QHeaderView>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "gui/graph_view.h"
#include "platform/virtual/virtual_calculator_station.h"
#include "window_test_support.h"

namespace velora {
namespace {

using testing::Account;
using testing::OperatorSteps;

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
    calc.station->engine().Connect();
    calc.askedAt = window->Core().Cycle().cycles;
    return *calc.station;
  }
  // Whether the server lists the calculator. A calculator asks for a slot once per Connect, and
  // on a busy machine the real-time radio may lose the request: it asks again a few cycles on.
  bool Joined(const std::string& name) {
    if (Station(name)) return true;
    Calc& calc = calculators.at(name);
    const CalculatorEngine& engine = calc.station->engine();
    const std::uint64_t cycles = window->Core().Cycle().cycles;
    if (!engine.Registered() && !engine.ConnectRequested() && cycles >= calc.askedAt + 3) {
      calc.station->engine().Connect();
      calc.askedAt = cycles;
    }
    return false;
  }
  QTableView& Table() { return *window->StationList()->Table(); }
  static QString Resends() { return ToQString("wiederholt (längste Folge)"_cp); }
  int ColumnNamed(const QString& header) {
    QAbstractItemModel& m = *Table().model();
    for (int c = 0; c < m.columnCount(); ++c)
      if (m.headerData(c, Qt::Horizontal).toString() == header) return c;
    ADD_FAILURE() << "no column " << header.toStdString();
    return 0;
  }
  // A column's texts from top to bottom, as shown.
  QStringList Shown(const QString& header) {
    const int column = ColumnNamed(header);
    QStringList texts;
    for (int r = 0; r < Table().model()->rowCount(); ++r)
      texts << Table().model()->index(r, column).data().toString();
    return texts;
  }
  QStringList SelectedNames() {
    QStringList names;
    for (const QModelIndex& row : Table().selectionModel()->selectedRows(ColumnNamed("Name")))
      names << row.data().toString();
    return names;
  }
  void ClickHeader(const QString& header) {
    QHeaderView* h = Table().horizontalHeader();
    const int c = ColumnNamed(header);
    QTest::mouseClick(
        h->viewport(), Qt::LeftButton, {},
        QPoint(h->sectionViewportPosition(c) + h->sectionSize(c) / 2, h->height() / 2));
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
  folder.WriteUsers({Account("GAST", "gast")}, 0);
  program = folder.MakeProgram();
  window = &program->Window();
  ASSERT_TRUE(window->FormCreate(1));
  window->show();
  TForm1& w = *window;
  w.findChild<QAction*>("MMStations")->trigger();  // Server, Stationsliste
  ASSERT_TRUE(w.StationList()->isVisible());
  EXPECT_EQ(w.StationList()->windowTitle(), "Stationsliste");

  std::uint64_t mark = 0;
  OperatorSteps steps;
  steps
      .Then(
          "the server runs", [&] { return w.Running(); }, [&] { Calculator("alpha", 0); })
      .Then(
          "alpha registered", [&] { return Joined("alpha"); }, [&] { Calculator("beta", 1); })
      .Then(
          "beta registered", [&] { return Joined("beta"); },
          [&] {
            CalculatorStation& gamma = Calculator("gamma", 0);
            // Out of range once its first screen has reached it: it never acknowledges that.
            gamma.onFrame = [&gamma] {
              if (gamma.engine().SimExpectedReply() != -1) gamma.SetMuted(true);
            };
          })
      .Then(
          "the list shows gamma with the most resends, the first station idle",
          [&] {
            const QStringList names = Shown("Name");
            const QStringList resends = Shown(Resends());
            const auto count = [&resends](int row) {
              return resends[row].section(' ', 0, 0).toInt();
            };
            return Joined("gamma") && names.size() == 3 && names[2] == "gamma" &&
                   count(2) > count(0) && count(2) > count(1) && FirstIdle();
          },
          [&] {
            EXPECT_EQ(Shown("TI Nr."), QStringList({"1", "2", "3"}));
            EXPECT_EQ(Shown("Name"), QStringList({"alpha", "beta", "gamma"}));
            EXPECT_EQ(Shown("Typ"), QStringList({"TI82", "TI86", "TI82"}));
            EXPECT_EQ(Shown("Adresse")[1], QString::number(Station("beta")->address));
            EXPECT_EQ(Shown("Angemeldet als"), QStringList({"", "", ""}));
            EXPECT_FALSE(ResendColumnRaised()) << "nothing selected: the first station, idle";
            // The operator looking for the bad link: most resends on top.
            ClickHeader(Resends());
            if (Table().horizontalHeader()->sortIndicatorOrder() == Qt::AscendingOrder)
              ClickHeader(Resends());
            EXPECT_EQ(Table().horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
            ASSERT_EQ(Shown("Name").front(), "gamma");
            QTest::mouseClick(Table().viewport(), Qt::LeftButton, {},
                              Table().visualRect(Table().model()->index(0, 0)).center());
            EXPECT_EQ(SelectedNames(), QStringList({"gamma"}));
            mark = w.Core().Cycle().cycles;
          })
      .Then(
          "two more cycles", [&] { return w.Core().Cycle().cycles >= mark + 2 && FirstIdle(); },
          [&] {
            ASSERT_TRUE(Station("gamma").has_value()) << "gamma left too early for the test";
            EXPECT_EQ(SelectedNames(), QStringList({"gamma"})) << "the refresh kept the selection";
            EXPECT_EQ(Shown("Name").front(), "gamma") << "and the order";
            EXPECT_TRUE(ResendColumnRaised()) << "the graph follows gamma";
          })
      .Then(
          "gamma dropped for silence", [&] { return !Station("gamma"); },
          [&] { mark = w.Core().Cycle().cycles; })
      .Then(
          "the next cycle", [&] { return w.Core().Cycle().cycles > mark && FirstIdle(); },
          [&] {
            EXPECT_EQ(Shown("Name").size(), 2);
            EXPECT_EQ(SelectedNames(), QStringList());
            EXPECT_FALSE(ResendColumnRaised()) << "back to the first station";
            w.StartStopClick();
          });
  EXPECT_TRUE(steps.Run(w, [&] { w.StartStopClick(); }));
}

}  // namespace
}  // namespace velora
