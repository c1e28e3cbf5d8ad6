// TForm1: the main window, the owner of the program's start and end. It shows the number of
// registered calculators, the running time, the cycle-time and resend graphs and the event list,
// opens the station list, sets the log level, and starts and stops the server: the polling cycle
// runs inside the Start handler and keeps the window alive by handing it its events in every
// wait.
#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "bus/lifecycle.h"
#include "bus/server.h"
#include "gui/status_graphs.h"
#include "gui/window_ui.h"
#include "platform/qt/qt_simulator_port.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSlider;
class QTimer;

namespace velora {

class GraphView;
class TForm2;
class TFormStations;
class TFormTiSim;
class UpDown;

// The version box: program, path and modification time of the program file, version label.
std::string VersionBoxText(const QString& programPath, const QDateTime& modified);

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int ClientWidth = 325;
  static constexpr int ClientHeight = 266;

  // A ready server whose operator port is `ui` (the window attaches it to itself) and whose
  // port has the simulator's calculator beside it. backend: the settings store; listPorts: the
  // serial ports the dialog offers; workDir: where users.txt, resfdbck.txt and the logs lie.
  TForm1(Server& server, WindowUi& ui, QtSimulatorPort& simulator, SettingsBackend& backend,
         SettingsStore::PortLister listPorts, std::string workDir = ".", QWidget* parent = nullptr);
  ~TForm1() override;

  // Program start once the window exists: the user and feedback files, then the simulator
  // window, then the configuration dialog, which loads and applies the settings. False when the
  // program must end at once.
  bool FormCreate(std::uint32_t seed);

  // The handlers of the menu, the timer and the controls.
  void StartStopClick();
  void MenuExitClick();
  void MMConfigClick();
  void MMStationsClick();
  void MMShowClick();
  void MMHideClick();
  void MMServerVersionClick();
  void TimerUptimeTimer();
  void TrackChange(int position);
  void UpDownStatusClick(int position);
  // An error no handler caught: the exception box, and the program goes on.
  void AppEventsException(std::string_view message);
  // What the polling cycle reports once per cycle: the cycle time and the first station's
  // resend counters. The resend graph shows those of the station selected in the station list
  // instead, as of its last refresh.
  void ShowCycle(const CycleStats& stats);

  const Server& Core() const { return server_; }
  bool Running() const { return server_.Running(); }
  TFormTiSim* Simulator() const { return sim_.get(); }
  TForm2* Configuration() const { return config_.get(); }
  TFormStations* StationList() const { return stationList_.get(); }
  const StatusGraphs& Graphs() const { return graphs_; }
  QAction* StartStopAction() const { return startStop_; }
  QMenu* TiSimMenu() const { return menuTiSim_; }
  OperatorUi& Ui() { return ui_; }
  // True once both files have been written at the end; the window has then closed.
  bool Finished() const { return finished_; }
  // 0, or 1 when a file could not be written at the end.
  int ExitCode() const { return exitCode_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* BuildControls();
  void BuildMenu();
  void RunServer();
  void ShowIdle();
  void ShowStationCount(std::size_t count);
  // The station list, while it is open.
  void ShowStations();

  QPlainTextEdit* memoMainEventLog_;
  WindowUi& ui_;
  Server& server_;
  QtSimulatorPort& simulator_;
  std::string workDir_;
  Lifecycle lifecycle_;
  StatusGraphs graphs_;
  std::unique_ptr<TFormTiSim> sim_;
  std::unique_ptr<TForm2> config_;
  std::unique_ptr<TFormStations> stationList_;

  QLineEdit* editNumOfTIs_ = nullptr;
  QLineEdit* editUpTime_ = nullptr;
  QLabel* labelImageMax_ = nullptr;
  QLabel* labelStatus_ = nullptr;
  GraphView* imageStatus_ = nullptr;
  GraphView* imageResent_ = nullptr;
  UpDown* upDownStatus_ = nullptr;
  QSlider* track_ = nullptr;
  QTimer* timerUptime_ = nullptr;
  QAction* startStop_ = nullptr;
  QMenu* menuTiSim_ = nullptr;

  bool startRequested_ = false;  // the menu reads "&Stop"
  bool cycleActive_ = false;     // the Start handler is running the polling cycle
  bool closing_ = false;         // the window was asked to close
  bool finished_ = false;
  int exitCode_ = 0;
};

}  // namespace velora
