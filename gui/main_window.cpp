// The main window: controls, menu, program start and end, and the Start/Stop of the server.
#include "gui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include "common/constants.h"
#include "gui/config_dialog.h"
#include "gui/graph_view.h"
#include "gui/message_boxes.h"
#include "gui/simulator_window.h"
#include "gui/station_list.h"
#include "gui/up_down.h"
#include "platform/qt/qt_server_port.h"
#include "platform/qt/qt_text.h"

namespace velora {

namespace {

constexpr char EventListHeading[] = "WICHTIGE EREIGNISSE:";
constexpr int TrackMinimum = 1;
constexpr int TrackMaximum = 5;
constexpr int TrackInitial = InitialLogLevel + 1;

QLabel* NamedLabel(const char* name, const QString& text) {
  auto* label = new QLabel(text);
  label->setObjectName(name);
  return label;
}

QLineEdit* NamedField(const char* name, int width) {
  auto* field = new QLineEdit;
  field->setObjectName(name);
  field->setReadOnly(true);
  field->setFixedWidth(width);
  return field;
}

}  // namespace

std::string VersionBoxText(const QString& programPath, const QDateTime& modified) {
  return "Velora Server v3\r\n\r\nExename: " + FromQString(programPath) +
         "\r\nVersion: " + std::string(VersionLabel) +
         "\r\ncompiliert am: " + FromQString(modified.toString("yyyy.MM.dd 'um' hh:mm"));
}

TForm1::TForm1(Server& server, WindowUi& ui, QtSimulatorPort& simulator, SettingsBackend& backend,
               SettingsStore::PortLister listPorts, std::string workDir, QWidget* parent)
    : QMainWindow(parent),
      memoMainEventLog_(new QPlainTextEdit),
      ui_(ui),
      server_(server),
      simulator_(simulator),
      workDir_(workDir),
      lifecycle_(server_, ui_, backend, std::move(listPorts), workDir) {
  ui_.Attach(this, memoMainEventLog_);
  setWindowTitle("Velora Server v3");
  setObjectName("Form1");
  server_.SetLogLevel(InitialLogLevel);
  server_.SetCycleHandler([this] {
    ShowStations();
    ShowCycle(server_.Cycle());
  });
  server_.SetStationCountHandler([this](std::size_t count) { ShowStationCount(count); });

  setCentralWidget(BuildControls());
  BuildMenu();
  stationList_ = std::make_unique<TFormStations>(this);
  stationList_->setObjectName("FormStations");
  // Fixed size: no resizing, no maximise button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  centralWidget()->setFixedSize(ClientWidth, ClientHeight);
  setFixedSize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());

  timerUptime_ = new QTimer(this);
  timerUptime_->setObjectName("TimerUptime");
  timerUptime_->setInterval(1000);
  connect(timerUptime_, &QTimer::timeout, this, [this] { TimerUptimeTimer(); });
}

TForm1::~TForm1() {
  simulator_.SetChangeHandler({});
  server_.SetCycleHandler({});
  server_.SetStationCountHandler({});
  ui_.Attach(nullptr, nullptr);
}

QWidget* TForm1::BuildControls() {
  auto* client = new QWidget;

  editNumOfTIs_ = NamedField("EditNumOfTIs", 40);
  editNumOfTIs_->setText("0");
  editUpTime_ = NamedField("EditUpTime", 56);
  auto* counters = new QGridLayout;
  counters->setVerticalSpacing(2);
  counters->addWidget(NamedLabel("Label1", "Angemeldete TIs:"), 0, 0);
  counters->addWidget(editNumOfTIs_, 0, 1, Qt::AlignLeft);
  counters->addWidget(NamedLabel("Label4", "Laufzeit des Servers:"), 1, 0);
  counters->addWidget(editUpTime_, 1, 1, Qt::AlignLeft);
  counters->setColumnStretch(2, 1);

  imageStatus_ = new GraphView(graphs_, GraphView::Which::CycleTime);
  imageStatus_->setObjectName("ImageStatus");
  imageResent_ = new GraphView(graphs_, GraphView::Which::Resend);
  imageResent_->setObjectName("ImageResent");
  imageResent_->setFixedSize(StatusGraphs::ResendWidth, StatusGraphs::ResendHeight);
  upDownStatus_ =
      new UpDown(StatusGraphs::MinMsPerPixel, StatusGraphs::MaxMsPerPixel, graphs_.MsPerPixel());
  upDownStatus_->setObjectName("UpDownStatus");
  upDownStatus_->setFixedHeight(StatusGraphs::CycleHeight);
  labelImageMax_ = NamedLabel("LabelImageMax", QString::fromStdString(graphs_.ScaleLabel()));
  labelStatus_ = NamedLabel("LabelStatus", QString::fromStdString(graphs_.LastCycleText()));
  labelStatus_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  auto* graph = new QGridLayout;
  graph->setHorizontalSpacing(3);
  graph->setVerticalSpacing(0);
  graph->addWidget(NamedLabel("Label3", "Status:"), 0, 0, 1, 2);
  graph->addWidget(labelStatus_, 0, 1);
  graph->addWidget(labelImageMax_, 1, 0, Qt::AlignTop | Qt::AlignRight);
  graph->addWidget(imageStatus_, 1, 1);
  graph->addWidget(upDownStatus_, 1, 2);
  graph->addWidget(imageResent_, 1, 3);
  graph->addWidget(NamedLabel("Label7", "0"), 2, 1, Qt::AlignLeft | Qt::AlignTop);
  graph->addWidget(NamedLabel("LabelImageWidth", "100"), 2, 1, Qt::AlignRight | Qt::AlignTop);
  graph->setColumnStretch(4, 1);

  track_ = new QSlider(Qt::Vertical);
  track_->setObjectName("Track");
  track_->setRange(TrackMinimum, TrackMaximum);
  track_->setValue(TrackInitial);
  track_->setPageStep(1);
  track_->setTickInterval(1);
  track_->setTickPosition(QSlider::TicksBothSides);
  // Position 1 ("no logging") at the top, 5 ("all logging") at the bottom; the arrow keys
  // move the handle the way they point.
  track_->setInvertedAppearance(true);
  track_->setInvertedControls(true);
  auto* slider = new QVBoxLayout;
  slider->setSpacing(0);
  slider->addWidget(NamedLabel("Label5", "no logging"), 0, Qt::AlignHCenter);
  slider->addWidget(track_, 1, Qt::AlignHCenter);
  slider->addWidget(NamedLabel("Label6", "all logging"), 0, Qt::AlignHCenter);

  auto* left = new QVBoxLayout;
  left->setSpacing(4);
  left->addLayout(counters);
  left->addLayout(graph);
  auto* panel = new QHBoxLayout;
  panel->setSpacing(6);
  panel->addLayout(left, 1);
  panel->addLayout(slider);

  memoMainEventLog_->setObjectName("MemoMainEventLog");
  memoMainEventLog_->setReadOnly(true);
  memoMainEventLog_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memoMainEventLog_->setPlainText(EventListHeading);

  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  layout->addLayout(panel);
  layout->addWidget(memoMainEventLog_, 1);

  connect(track_, &QSlider::valueChanged, this, [this](int position) { TrackChange(position); });
  connect(upDownStatus_, &UpDown::PositionChanged, this,
          [this](int position) { UpDownStatusClick(position); });
  return client;
}

void TForm1::BuildMenu() {
  QMenu* file = menuBar()->addMenu("&Datei");
  file->setObjectName("MMFile");
  QAction* exit = file->addAction("&Beenden");
  exit->setObjectName("MenuExit");
  connect(exit, &QAction::triggered, this, [this] { MenuExitClick(); });

  QMenu* server = menuBar()->addMenu("&Server");
  server->setObjectName("MMServer");
  startStop_ = server->addAction("&Start");
  startStop_->setObjectName("StartStop");
  startStop_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  connect(startStop_, &QAction::triggered, this, [this] { StartStopClick(); });
  server->addSeparator();
  QAction* config = server->addAction("&Konfiguration");
  config->setObjectName("MMConfig");
  config->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
  connect(config, &QAction::triggered, this, [this] { MMConfigClick(); });
  QAction* stations = server->addAction("Stations&liste");
  stations->setObjectName("MMStations");
  stations->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  connect(stations, &QAction::triggered, this, [this] { MMStationsClick(); });

  menuTiSim_ = menuBar()->addMenu("&TiSim");
  menuTiSim_->setObjectName("MMTiSim");
  menuTiSim_->menuAction()->setVisible(false);
  QAction* show = menuTiSim_->addAction("&Show");
  show->setObjectName("MMShow");
  connect(show, &QAction::triggered, this, [this] { MMShowClick(); });
  QAction* hide = menuTiSim_->addAction("&Hide");
  hide->setObjectName("MMHide");
  connect(hide, &QAction::triggered, this, [this] { MMHideClick(); });

  QMenu* info = menuBar()->addMenu("&Info");
  info->setObjectName("MMInfo");
  QAction* version = info->addAction("&Serverversion");
  version->setObjectName("MMServerVersion");
  connect(version, &QAction::triggered, this, [this] { MMServerVersionClick(); });
}

bool TForm1::FormCreate(std::uint32_t seed) {
  if (!lifecycle_.LoadFiles(seed)) return false;
  // Without a user file nobody could log in on the simulator.
  menuTiSim_->menuAction()->setVisible(lifecycle_.UsersFileFound());

  sim_ = std::make_unique<TFormTiSim>(simulator_.Engine(), this);
  sim_->setObjectName("FormTiSim");
  simulator_.SetChangeHandler([this] { sim_->Refresh(); });

  config_ = std::make_unique<TForm2>(
      lifecycle_.Form(),
      TForm2::Steps{[this] { return lifecycle_.LoadSettings(); },
                    [this] { return lifecycle_.CloseSettings(); }},
      ui_, [this] { return server_.Running(); }, workDir_, this);
  config_->setObjectName("Form2");
  config_->FormShow();
  return true;
}

void TForm1::StartStopClick() {
  if (startRequested_) {
    ShowIdle();
    server_.RequestStop();
    return;
  }
  startRequested_ = true;
  startStop_->setText("&Stop");
  if (sim_) {
    sim_->setEnabled(true);
    sim_->show();
  }
  timerUptime_->start();
  // A Stop and a Start while the cycle was still finishing: the running handler starts again.
  if (cycleActive_) return;
  RunServer();
}

void TForm1::RunServer() {
  cycleActive_ = true;
  try {
    while (startRequested_ && !closing_) {
      graphs_.Reset();
      imageStatus_->Refresh();
      imageResent_->Refresh();
      ShowStationCount(0);
      // Returns when the server stops, or at once when it could not start.
      if (!lifecycle_.Run()) {
        ShowIdle();
        break;
      }
    }
  } catch (...) {
    cycleActive_ = false;
    server_.RequestStop();
    ShowIdle();
    if (closing_) close();
    throw;
  }
  cycleActive_ = false;
  // The window was closed while the cycle ran; now the files can be written.
  if (closing_) close();
}

void TForm1::ShowIdle() {
  startRequested_ = false;
  startStop_->setText("&Start");
  if (sim_) {
    sim_->setEnabled(false);
    sim_->hide();
  }
  timerUptime_->stop();
}

void TForm1::ShowStationCount(std::size_t count) {
  editNumOfTIs_->setText(QString::number(count));
}

void TForm1::MenuExitClick() {
  close();
}

void TForm1::MMConfigClick() {
  if (config_) config_->exec();
}

void TForm1::MMStationsClick() {
  stationList_->show();
  stationList_->raise();
  stationList_->activateWindow();
  ShowStations();
}

void TForm1::ShowStations() {
  if (stationList_->isVisible()) stationList_->Refresh(server_.StationRows(), server_.NowTickMs());
}

void TForm1::MMShowClick() {
  if (!sim_) return;
  sim_->show();
  sim_->raise();
}

void TForm1::MMHideClick() {
  if (sim_) sim_->hide();
}

void TForm1::MMServerVersionClick() {
  const QString program = QCoreApplication::applicationFilePath();
  ui_.ShowMessage(VersionBoxText(program, QFileInfo(program).lastModified()));
}

void TForm1::TimerUptimeTimer() {
  server_.TickSecond();
  editUpTime_->setText(QString::fromStdString(FormatUptime(server_.RunSeconds())));
}

void TForm1::TrackChange(int position) {
  server_.SetLogLevel(static_cast<LogLevel>(position - TrackMinimum));
}

void TForm1::UpDownStatusClick(int position) {
  graphs_.SetMsPerPixel(position);
  labelImageMax_->setText(QString::fromStdString(graphs_.ScaleLabel()));
  imageStatus_->Refresh();
}

void TForm1::AppEventsException(std::string_view message) {
  ui_.ShowMessage(ExceptionBoxText(message));
}

void TForm1::ShowCycle(const CycleStats& stats) {
  CycleSample sample{stats.lastCycleMs, stats.hasStations, stats.sendCount, stats.sendCountMax};
  if (const StationRow* followed = stationList_->Selected()) {
    sample.sendCount = followed->sendCount;
    sample.sendCountMax = followed->sendCountMax;
  }
  graphs_.AddSample(sample);
  labelStatus_->setText(QString::fromStdString(graphs_.LastCycleText()));
  imageStatus_->Refresh();
  imageResent_->Refresh();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (finished_) {
    event->accept();
    return;
  }
  closing_ = true;
  startRequested_ = false;
  timerUptime_->stop();
  server_.AbortWaits();
  // A modal dialog holds the cycle; closing it saves the settings as always.
  if (config_ && config_->isVisible()) config_->reject();
  if (cycleActive_) {
    // The Start handler is further down the stack; it closes the window again once the cycle
    // has ended, and the files are written then.
    event->ignore();
    return;
  }
  if (sim_) sim_->hide();
  stationList_->hide();
  finished_ = true;
  if (!lifecycle_.Save()) exitCode_ = 1;
  event->accept();
}

}  // namespace velora
