// The main window: its controls and menus, program start with and without a user file, the
// uptime, the log slider, the graph scale, the graphs, a failed start, and closing while the
// server runs. The server runs in real time on the virtual radio.
#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "gui/config_dialog.h"
#include "gui/graph_view.h"
#include "gui/simulator_window.h"
#include "gui/up_down.h"
#include "window_test_support.h"

namespace velora {
namespace {

using testing::Account;
using testing::BoxAnswerer;
using testing::OperatorSteps;

class MainWindowTest : public ::testing::Test {
 protected:
  // A window after program start, with the account GAST and 100 s of total uptime.
  TForm1& Window(bool withUsers = true) {
    if (withUsers) folder.WriteUsers({Account("GAST", "gast")}, 100);
    program = folder.MakeProgram();
    window = &program->Window();
    EXPECT_TRUE(window->FormCreate(1));
    window->show();
    return *window;
  }
  template <typename T = QLineEdit>
  T* Child(const char* name) {
    T* child = window->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  QString Text(const char* name) { return Child<QLabel>(name)->text(); }
  QString EventList() { return Child<QPlainTextEdit>("MemoMainEventLog")->toPlainText(); }
  // Presses Start and runs the steps inside the cycle; the last one stops or closes.
  void WhileRunning(OperatorSteps& steps) {
    EXPECT_TRUE(steps.Run(*window, [this] { window->StartStopClick(); }));
  }

  testing::WindowFolder folder;
  std::unique_ptr<OperatorProgram> program;
  TForm1* window = nullptr;
};

TEST_F(MainWindowTest, ShowsItsControlsMenusAndTextsInAFixedWindow) {
  TForm1& w = Window();
  EXPECT_EQ(w.windowTitle(), "Velora Server v3");
  EXPECT_EQ(w.centralWidget()->size(), QSize(TForm1::ClientWidth, TForm1::ClientHeight));
  EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "not resizable";
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);

  const std::pair<const char*, const char*> labels[] = {{"Label1", "Angemeldete TIs:"},
                                                        {"Label4", "Laufzeit des Servers:"},
                                                        {"Label3", "Status:"},
                                                        {"LabelImageMax", "520"},
                                                        {"Label7", "0"},
                                                        {"LabelImageWidth", "100"},
                                                        {"LabelStatus", "---"},
                                                        {"Label5", "no logging"},
                                                        {"Label6", "all logging"}};
  const QRect client = w.centralWidget()->rect();
  for (const auto& [name, text] : labels) {
    QLabel* label = Child<QLabel>(name);
    EXPECT_EQ(label->text(), text) << name;
    // Every text fits: nothing is squeezed below its size or pushed out of the client area.
    EXPECT_GE(label->width(), label->minimumSizeHint().width()) << name;
    const QRect shown(label->mapTo(w.centralWidget(), QPoint(0, 0)), label->size());
    EXPECT_TRUE(client.contains(shown)) << name;
  }
  EXPECT_TRUE(Child<QLabel>("LabelStatus")->alignment() & Qt::AlignRight);
  EXPECT_EQ(Child("EditNumOfTIs")->text(), "0");
  EXPECT_TRUE(Child("EditNumOfTIs")->isReadOnly());
  EXPECT_EQ(Child("EditUpTime")->text(), "");
  auto* status = Child<GraphView>("ImageStatus");
  EXPECT_EQ(status->size(), QSize(100, 65));
  EXPECT_EQ(status->toolTip(), "EKG");
  EXPECT_EQ(Child<GraphView>("ImageResent")->size(), QSize(49, 65));
  EXPECT_EQ(Child<UpDown>("UpDownStatus")->Position(), 8);
  auto* track = Child<QSlider>("Track");
  EXPECT_EQ(track->orientation(), Qt::Vertical);
  EXPECT_EQ(track->minimum(), 1);
  EXPECT_EQ(track->maximum(), 5);
  EXPECT_EQ(track->value(), 4);
  EXPECT_EQ(track->tickInterval(), 1);
  auto* events = Child<QPlainTextEdit>("MemoMainEventLog");
  EXPECT_TRUE(events->isReadOnly());
  EXPECT_EQ(events->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(events->toPlainText(), "WICHTIGE EREIGNISSE:");
  EXPECT_FALSE(Child<QTimer>("TimerUptime")->isActive());

  QStringList menus;
  for (QAction* menu : w.menuBar()->actions())
    menus << menu->text();
  EXPECT_EQ(menus, QStringList({"&Datei", "&Server", "&TiSim", "&Info"}));
  EXPECT_TRUE(w.TiSimMenu()->menuAction()->isVisible()) << "users.txt was read";
  const std::tuple<const char*, const char*, QKeySequence> entries[] = {
      {"MenuExit", "&Beenden", {}},
      {"StartStop", "&Start", QKeySequence("Ctrl+R")},
      {"MMConfig", "&Konfiguration", QKeySequence("Ctrl+K")},
      {"MMStations", "Stations&liste", QKeySequence("Ctrl+L")},
      {"MMShow", "&Show", {}},
      {"MMHide", "&Hide", {}},
      {"MMServerVersion", "&Serverversion", {}}};
  for (const auto& [name, text, keys] : entries) {
    auto* action = w.findChild<QAction*>(name);
    ASSERT_NE(action, nullptr) << name;
    EXPECT_EQ(action->text(), text) << name;
    EXPECT_EQ(action->shortcut(), keys) << name;
  }
  ASSERT_NE(w.Simulator(), nullptr);
  EXPECT_FALSE(w.Simulator()->isVisible());
  ASSERT_NE(w.Configuration(), nullptr);
  EXPECT_EQ(w.Configuration()->windowTitle(), "Konfiguration");

  w.MMShowClick();
  EXPECT_TRUE(w.Simulator()->isVisible());
  w.MMHideClick();
  EXPECT_FALSE(w.Simulator()->isVisible());
}

TEST_F(MainWindowTest, WithoutUsersFileTheTiSimMenuStaysHiddenAndClosingWritesAnEmptyFile) {
  TForm1& w = Window(false);
  EXPECT_EQ(EventList(), "WICHTIGE EREIGNISSE:\n\"users.txt\" not found.");
  EXPECT_FALSE(w.TiSimMenu()->menuAction()->isVisible());
  w.MenuExitClick();
  EXPECT_TRUE(w.Finished());
  EXPECT_FALSE(w.isVisible());
  UserTable users{Account("X", "x")};
  std::int32_t uptime = -1;
  ParseUsersFile(testing::ReadFileBytes(folder.dir.File("users.txt")), users, uptime);
  EXPECT_TRUE(users.empty());
  EXPECT_EQ(uptime, 0);
}

TEST_F(MainWindowTest, UptimeCountsWhileRunningAndAcrossStopAndStart) {
  TForm1& w = Window();
  auto* timer = Child<QTimer>("TimerUptime");
  OperatorSteps first;
  first
      .Then(
          "the server runs", [&] { return w.Running(); },
          [&] {
            EXPECT_EQ(w.StartStopAction()->text(), "&Stop");
            EXPECT_TRUE(timer->isActive());
            EXPECT_EQ(timer->interval(), 1000);
            EXPECT_TRUE(w.Simulator()->isVisible());
            EXPECT_TRUE(w.Simulator()->isEnabled());
            for (int i = 0; i < 59; ++i)
              w.TimerUptimeTimer();
            EXPECT_EQ(Child("EditUpTime")->text(), "00:59");
            w.TimerUptimeTimer();
            EXPECT_EQ(Child("EditUpTime")->text(), "01:00");
          })
      .Then(
          "a cycle was shown", [&] { return Text("LabelStatus") != "---"; },
          [&] { w.StartStopClick(); });
  WhileRunning(first);
  EXPECT_EQ(w.StartStopAction()->text(), "&Start");
  EXPECT_FALSE(timer->isActive());
  EXPECT_FALSE(w.Simulator()->isVisible());
  EXPECT_FALSE(w.Simulator()->isEnabled());
  w.TimerUptimeTimer();  // a tick that arrives after the stop does not count
  EXPECT_EQ(Child("EditUpTime")->text(), "01:00");

  OperatorSteps second;
  second.Then(
      "the server runs again", [&] { return w.Running(); },
      [&] {
        w.TimerUptimeTimer();
        EXPECT_EQ(Child("EditUpTime")->text(), "01:01");
        w.StartStopClick();
      });
  WhileRunning(second);
  EXPECT_EQ(w.Core().RunSeconds(), 61);
  EXPECT_EQ(w.Core().TotalUptime(), 161);
}

TEST_F(MainWindowTest, StopAndStartWhileTheCycleEndsRunsTheServerAgain) {
  TForm1& w = Window();
  OperatorSteps steps;
  steps
      .Then(
          "the server runs", [&] { return w.Running() && w.Core().Cycle().cycles >= 1; },
          [&] {
            w.StartStopClick();  // Stop: the cycle finishes the step it is in
            w.StartStopClick();  // Start again before it has
            EXPECT_EQ(w.StartStopAction()->text(), "&Stop");
          })
      .Then(
          "the server runs again", [&] { return w.Running() && w.Core().Cycle().cycles == 1; },
          [&] { w.StartStopClick(); });
  WhileRunning(steps);
  EXPECT_EQ(w.StartStopAction()->text(), "&Start");
  EXPECT_FALSE(w.Running());
}

TEST_F(MainWindowTest, ConfigurationDialogHoldsTheCycleAndItsValuesApplyWhenItCloses) {
  TForm1& w = Window();
  TForm2& dialog = *w.Configuration();
  auto* receiveWait = qobject_cast<QLineEdit*>(dialog.Field(SettingId::EditCSReceiveWait));
  ASSERT_NE(receiveWait, nullptr);
  EXPECT_EQ(receiveWait->text(), "50");
  OperatorSteps steps;
  steps
      .Then(
          "two cycles ran", [&] { return w.Running() && w.Core().Cycle().cycles >= 2; },
          [&] {
            QTimer::singleShot(0, [&] {
              EXPECT_EQ(QApplication::activeModalWidget(), &dialog);
              const std::uint64_t cycles = w.Core().Cycle().cycles;
              QTest::qWait(400);
              EXPECT_EQ(w.Core().Cycle().cycles, cycles) << "no cycle while the dialog is open";
              receiveWait->selectAll();
              QTest::keyClicks(receiveWait, "70");
              dialog.close();
            });
            w.findChild<QAction*>("MMConfig")->trigger();  // Server, Konfiguration
            EXPECT_FALSE(dialog.isVisible());
          })
      .Then(
          "the new wait applies", [&] { return w.Core().Settings().ReceiveWait == 70; },
          [&] { w.StartStopClick(); });
  WhileRunning(steps);
  EXPECT_EQ(folder.backend.Get(SettingsKeyPath, "EditCSReceiveWait")->text, "70")
      << "closing the dialog stored the value";
}

TEST_F(MainWindowTest, SliderSetsTheLogLevelWithNoLoggingAtTheTop) {
  Window();
  auto* track = Child<QSlider>("Track");
  EXPECT_EQ(window->Core().Level(), 3);
  for (const auto& [position, level] : {std::pair{1, 0}, {5, 4}, {2, 1}, {4, 3}}) {
    track->setValue(position);
    EXPECT_EQ(window->Core().Level(), level) << position;
  }
  // A click on the groove moves the handle towards it: less logging above, more below.
  track->setValue(3);
  QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(track->width() / 2, 2));
  EXPECT_LT(track->value(), 3) << "no logging at the top";
  track->setValue(3);
  QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(track->width() / 2, track->height() - 3));
  EXPECT_GT(track->value(), 3) << "all logging at the bottom";
  EXPECT_LT(Child<QLabel>("Label5")->y(), track->y());
  EXPECT_GT(Child<QLabel>("Label6")->y(), track->y());
  track->setValue(3);
  track->setFocus();
  QTest::keyClick(track, Qt::Key_Up);
  EXPECT_EQ(track->value(), 2) << "the up key moves the handle up";
}

TEST_F(MainWindowTest, UpDownScalesTheCycleGraphWithoutWrapping) {
  Window();
  auto* upDown = Child<UpDown>("UpDownStatus");
  for (int i = 0; i < 10; ++i)
    upDown->UpButton()->click();
  EXPECT_EQ(upDown->Position(), 15);
  EXPECT_EQ(Text("LabelImageMax"), "975");
  for (int i = 0; i < 20; ++i)
    upDown->DownButton()->click();
  EXPECT_EQ(upDown->Position(), 1);
  EXPECT_EQ(Text("LabelImageMax"), "65");
  upDown->UpButton()->click();
  EXPECT_EQ(Text("LabelImageMax"), "130");
}

TEST_F(MainWindowTest, GraphsShowTheCycleValuesTheCoreReports) {
  Window();
  const auto pixel = [this](const char* name, int x, int y) {
    return Child<GraphView>(name)->grab().toImage().pixel(x, y) & 0xFFFFFF;
  };
  // 3 cycles of 160 ms at 8 ms per pixel: a level line 20 pixels above the bottom.
  for (int i = 0; i < 3; ++i)
    window->ShowCycle({.lastCycleMs = 160});
  EXPECT_EQ(Text("LabelStatus"), "160");
  EXPECT_EQ(pixel("ImageStatus", 99, 65 - 20), 0x000000u);
  EXPECT_EQ(pixel("ImageStatus", 99, 65 - 21), 0xFFFFFFu);
  EXPECT_EQ(pixel("ImageStatus", 99, 65 - 19), 0xFFFFFFu);
  EXPECT_EQ(pixel("ImageResent", 1, 64), 0xFFFFFFu) << "no column without stations";

  // The first station handed out its packet twice, at most four times so far: a black column
  // 5 x 2 + 1 pixels high and light grey above it to 5 x 4 + 1.
  window->ShowCycle({.lastCycleMs = 160, .hasStations = true, .sendCount = 2, .sendCountMax = 4});
  EXPECT_EQ(pixel("ImageResent", 1, 64), 0x000000u);
  EXPECT_EQ(pixel("ImageResent", 1, 54), 0x000000u);
  EXPECT_EQ(pixel("ImageResent", 1, 53), 0xE0E0E0u);
  EXPECT_EQ(pixel("ImageResent", 1, 44), 0xE0E0E0u);
  EXPECT_EQ(pixel("ImageResent", 1, 43), 0xFFFFFFu);
  EXPECT_EQ(pixel("ImageResent", 2, 64), 0xFFFFFFu);
}

TEST_F(MainWindowTest, VersionBoxNamesTheProgramFileAndItsTime) {
  EXPECT_EQ(VersionBoxText("/opt/velora/velora", QDateTime(QDate(2026, 12, 6), QTime(9, 7))),
            "Velora Server v3\r\n\r\nExename: /opt/velora/velora\r\nVersion: Privat\r\n"
            "compiliert am: 2026.12.06 um 09:07");
  Window();
  BoxAnswerer boxes;
  window->findChild<QAction*>("MMServerVersion")->trigger();
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_TRUE(boxes.texts[0].startsWith(
      "Velora Server v3\n\nExename: " + QCoreApplication::applicationFilePath() +
      "\nVersion: Privat\ncompiliert am: 20"))
      << boxes.texts[0].toStdString();
}

TEST_F(MainWindowTest, FailedStartIsReportedAndLeavesTheServerStopped) {
  std::filesystem::create_directory(folder.dir.File("veloraserverlog.txt"));
  TForm1& w = Window();
  BoxAnswerer boxes;
  w.StartStopClick();
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], "Could not open logfile for write access.");
  EXPECT_FALSE(w.Running());
  EXPECT_EQ(w.StartStopAction()->text(), "&Start");
  EXPECT_FALSE(Child<QTimer>("TimerUptime")->isActive());
  EXPECT_FALSE(w.Simulator()->isVisible());
}

TEST_F(MainWindowTest, ClosingWhileRunningStopsTheCycleAndWritesBothFiles) {
  testing::WriteFileBytes(folder.dir.File("resfdbck.txt"), "GAST\r\nschön\r\n06.12.2026\r\n"_cp);
  TForm1& w = Window();
  OperatorSteps steps;
  steps.Then(
      "two cycles ran", [&] { return w.Running() && w.Core().Cycle().cycles >= 2; },
      [&] {
        EXPECT_EQ(EventList(), "WICHTIGE EREIGNISSE:\nvirtuelles Funknetz");
        for (int i = 0; i < 3; ++i)
          w.TimerUptimeTimer();
        // Deleting logs is refused while the server runs.
        BoxAnswerer boxes;
        w.Configuration()->LabelDeleteLogClick();
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_EQ(boxes.texts[0], ToQString("Geht nicht solange der Server läuft."_cp));
        w.close();
        EXPECT_TRUE(w.isVisible()) << "the window waits for the cycle to end";
      });
  WhileRunning(steps);
  EXPECT_TRUE(w.Finished());
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.ExitCode(), 0);
  UserTable users;
  std::int32_t uptime = 0;
  ParseUsersFile(testing::ReadFileBytes(folder.dir.File("users.txt")), users, uptime);
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].Name, "GAST");
  EXPECT_EQ(uptime, 103);
  EXPECT_EQ(testing::ReadFileBytes(folder.dir.File("resfdbck.txt")),
            "GAST\r\nschön\r\n06.12.2026\r\n"_cp);
  EXPECT_NE(testing::ReadFileBytes(folder.dir.File("veloraserverlog.txt")).find("Port geschlossen"),
            std::string::npos)
      << "the cycle ended and closed the port";
}

}  // namespace
}  // namespace velora
