// velora_screenshots: pictures of the windows for the README (scripts/screenshots.sh runs it
// under Xvfb). It plays a short session in a fresh working folder: Start, the built-in simulator
// logs in as the guest and reaches the main menu, and the main window and the simulator are
// grabbed; then three demo calculators join on the virtual radio, one of them with a bad link,
// and the station list is grabbed; the configuration dialog last.
//   velora_screenshots CONTENT_DIR OUTPUT_DIR
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gui/config_dialog.h"
#include "gui/main_window.h"
#include "gui/operator_program.h"
#include "gui/simulator_window.h"
#include "gui/station_list.h"
#include "gui/station_model.h"
#include "platform/qt/qt_port_list.h"
#include "platform/qt/qt_settings_backend.h"
#include "platform/qt/qt_text.h"
#include "platform/virtual/virtual_fleet.h"
#include "store/users_format.h"

namespace velora {
namespace {

constexpr int DemoCalculators = 3;

struct Step {
  std::function<bool()> ready;
  std::function<void()> act;
};

bool Save(QWidget& widget, const QString& path) {
  const bool saved = widget.grab().save(path);
  std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write",
               path.toLocal8Bit().constData());
  return saved;
}

int Run(const QString& contentDir, const QString& outputDir) {
  QTemporaryDir work;
  if (!work.isValid() || !QDir::setCurrent(work.path()) ||
      !QFile::link(contentDir, work.filePath("content"))) {
    std::fprintf(stderr, "velora_screenshots: cannot prepare a working folder\n");
    return 1;
  }
  UserTable accounts;
  const auto account = [&accounts](std::string name, std::string password) {
    Tuserdata user;
    user.Name = std::move(name);
    user.Password = std::move(password);
    accounts.push_back(std::move(user));
  };
  account("GAST", "gast");
  // The demo calculators log in with their names (demo1 ...) as passwords.
  for (int i = 1; i <= DemoCalculators; ++i)
    account("DEMO" + std::to_string(i), "demo" + std::to_string(i));
  QFile users(work.filePath("users.txt"));
  const std::string bytes = FormatUsersFile(accounts, 3725);
  if (!users.open(QIODevice::WriteOnly) ||
      users.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
          static_cast<qint64>(bytes.size())) {
    return 1;
  }
  users.close();

  QtSettingsBackend settings(work.filePath("settings.conf"));
  OperatorProgram program(settings, SerialPortLabels, ".");
  TForm1& window = program.Window();
  if (!window.FormCreate(1)) return 1;
  window.show();
  window.move(0, 0);

  TFormTiSim& sim = *window.Simulator();
  auto field = [&sim](const char* name) { return sim.findChild<QLineEdit*>(name); };
  auto screen = [&sim] { return sim.findChild<QPlainTextEdit*>("MemoTIScr")->toPlainText(); };
  TFormStations& list = *window.StationList();
  QTableView& table = *list.Table();
  std::unique_ptr<CalculatorFleet> fleet;
  // The last demo calculator is at the edge of the range: out of it now and then.
  QTimer badLink;
  std::mt19937 fading(1);
  QObject::connect(&badLink, &QTimer::timeout, [&] {
    fleet->Station(DemoCalculators - 1).SetMuted(std::bernoulli_distribution(0.4)(fading));
  });
  const auto allLoggedIn = [&window] {
    const std::vector<StationRow> rows = window.Core().StationRows();
    return rows.size() == DemoCalculators + 1 &&
           std::all_of(rows.begin(), rows.end(),
                       [](const StationRow& row) { return !row.account.empty(); });
  };
  bool ok = true;
  std::uint64_t menuCycle = 0;
  const std::vector<Step> steps{
      {[&] { return window.Running() && sim.isVisible(); },
       [&] {
         sim.move(window.width() + 20, 0);
         sim.Engine().SetUserName("gast");
         sim.Refresh();
         sim.CmdConnectClick();
       }},
      {[&] { return field("EditEditField")->isEnabled(); },
       [&] { sim.Engine().SubmitInput(false, "gast"); }},
      {[&] { return screen().contains("gast!"); },
       [&] { sim.Engine().KeyPress(CalculatorEngine::KeyEnter); }},
      {[&] { return screen().startsWith(ToQString("Hauptmenü"_cp)); },
       [&] { menuCycle = window.Core().Cycle().cycles; }},
      // Some cycles more, so that the graphs show a stretch of traffic.
      {[&] { return window.Core().Cycle().cycles >= menuCycle + 25; },
       [&] {
         ok = Save(window, outputDir + "/main-window.png") && ok;
         ok = Save(sim, outputDir + "/simulator.png") && ok;
         fleet = std::make_unique<CalculatorFleet>(program.Port().Radio(), window.Core().Settings(),
                                                   DemoCalculators, 1);
         window.MMStationsClick();
         list.move(0, window.height() + 40);
       }},
      {allLoggedIn,
       [&] {
         badLink.start(300);
         menuCycle = window.Core().Cycle().cycles;
       }},
      // A while of traffic, so that the figures tell the bad link from the good ones.
      {[&] { return window.Core().Cycle().cycles >= menuCycle + 60; },
       [&] {
         // As the operator looks for it: most resends on top, and the graph follows it.
         table.sortByColumn(StationModel::ColResends, Qt::DescendingOrder);
         table.selectRow(0);
         table.resizeColumnsToContents();
         list.resize(table.horizontalHeader()->length() + 2 * table.frameWidth() + 8,
                     table.horizontalHeader()->height() +
                         (DemoCalculators + 1) * table.rowHeight(0) + 2 * table.frameWidth() + 8);
         QApplication::processEvents();
         ok = Save(list, outputDir + "/station-list.png") && ok;
         badLink.stop();
         window.StartStopClick();
       }},
  };
  std::size_t next = 0;
  QElapsedTimer clock;
  clock.start();
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (next < steps.size() && steps[next].ready()) {
      steps[next++].act();
      clock.restart();
    } else if (next < steps.size() && clock.elapsed() > 60'000) {
      std::fprintf(stderr, "velora_screenshots: step %zu did not come due\n", next + 1);
      next = steps.size();
      ok = false;
      window.StartStopClick();
    }
  });
  ticker.start(20);
  window.StartStopClick();  // runs the polling cycle until the last step stops it
  ticker.stop();

  TForm2& config = *window.Configuration();
  config.show();
  config.move(0, window.height() + 40);
  QApplication::processEvents();
  ok = Save(config, outputDir + "/configuration.png") && ok;
  config.hide();
  window.close();
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace velora

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: velora_screenshots CONTENT_DIR OUTPUT_DIR\n");
    return 2;
  }
  return velora::Run(QDir(argv[1]).absolutePath(), QDir(argv[2]).absolutePath());
}
