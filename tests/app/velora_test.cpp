// The operator program end to end. In process, on the offscreen platform: the real windows
// driven by keys as an operator would (Start with Ctrl+R, the built-in simulator logging in as
// the guest, the main menu, closing), and errors escaping an event handler. As a process under
// Xvfb: the real `velora` starts, shows its window and ends on SIGTERM like closing the window.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "gui/simulator_window.h"
#include "gui/velora_application.h"
#include "window_test_support.h"

namespace velora {
namespace {

using testing::Account;
using testing::BoxAnswerer;
using testing::OperatorSteps;

TEST(VeloraTest, ErrorsEscapingEventHandlersAreShownAndTheProgramGoesOn) {
  auto* app = qobject_cast<VeloraApplication*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  bool later = false;
  {
    BoxAnswerer boxes;
    QTimer::singleShot(0, [] { throw std::runtime_error("Speicher voll"); });
    QTimer::singleShot(20, [&] { later = true; });
    QTRY_VERIFY_WITH_TIMEOUT(later, 5000);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "Ausnahmefehler abgefangen:\nSpeicher voll");
  }

  // The operator program hands them to its main window, which shows the same box.
  testing::WindowFolder folder;
  auto program = folder.MakeProgram();
  TForm1* window = &program->Window();
  ASSERT_TRUE(window->FormCreate(1));
  testing::RecordingUi seen;
  app->SetErrorHandler([&](std::string_view message) { seen.ShowMessage(message); });
  later = false;
  QTimer::singleShot(0, [] { throw std::logic_error("kaputt"); });
  QTimer::singleShot(20, [&] { later = true; });
  QTRY_VERIFY_WITH_TIMEOUT(later, 5000);
  app->SetErrorHandler({});
  EXPECT_EQ(seen.messages, std::vector<std::string>{"kaputt"});
}

TEST(VeloraTest, OperatorStartsTheServerAndTheSimulatorLogsInAsTheGuest) {
  testing::WindowFolder folder;
  folder.WriteUsers({Account("ADMIN", "admin"), Account("GAST", "gast")}, 500);
  auto program = folder.MakeProgram();
  TForm1& w = program->Window();
  ASSERT_TRUE(w.FormCreate(7));
  w.show();
  QApplication::setActiveWindow(&w);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

  auto sim = [&](const char* name) { return w.Simulator()->findChild<QLineEdit*>(name); };
  auto screen = [&] {
    return w.Simulator()->findChild<QPlainTextEdit*>("MemoTIScr")->toPlainText();
  };
  auto events = [&] { return w.findChild<QPlainTextEdit*>("MemoMainEventLog")->toPlainText(); };
  QString mainMenu;
  OperatorSteps steps;
  steps
      .Then(
          "the simulator window shows", [&] { return w.Running() && w.Simulator()->isVisible(); },
          [&] {
            EXPECT_EQ(w.StartStopAction()->text(), "&Stop");
            sim("EditUsername")->selectAll();
            QTest::keyClicks(sim("EditUsername"), "gast");
            QTest::keyClick(sim("EditUsername"), Qt::Key_Return);  // Connect
          })
      .Then(
          "the password page",
          [&] {
            return w.findChild<QLineEdit*>("EditNumOfTIs")->text() == "1" &&
                   sim("EditEditField")->isEnabled();
          },
          [&] {
            EXPECT_TRUE(events().contains("TI Nr. 1 angemeldet; Name \"gast\"; Typ: TI82"))
                << events().toStdString();
            QTest::keyClicks(sim("EditEditField"), "gast");
            QTest::keyClick(sim("EditEditField"), Qt::Key_Return);
          })
      .Then(
          "the greeting", [&] { return screen().contains("gast!"); },
          [&] { QTest::keyClick(sim("EditInput"), Qt::Key_Return); })
      .Then(
          "the main menu",
          [&] { return screen().split('\n')[0].trimmed() == ToQString("Hauptmenü"_cp); },
          [&] {
            mainMenu = screen();
            w.findChild<QAction*>("MenuExit")->trigger();  // Datei, Beenden
          });
  const bool done = steps.Run(w, [&] { QTest::keyClick(&w, Qt::Key_R, Qt::ControlModifier); });
  ASSERT_TRUE(done) << "screen:\n" << screen().toStdString();

  const QStringList rows = mainMenu.split('\n');
  ASSERT_EQ(rows.size(), 8);
  EXPECT_EQ(rows[1].trimmed(), "1 Nachrichten");
  EXPECT_EQ(rows[2].trimmed(), "2 E-Mail");

  EXPECT_TRUE(w.Finished());
  UserTable users;
  std::int32_t uptime = 0;
  ParseUsersFile(testing::ReadFileBytes(folder.dir.File("users.txt")), users, uptime);
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[1].Name, "GAST");
  EXPECT_EQ(uptime, 500 + w.Core().RunSeconds());
}

TEST(VeloraTest, RealProgramShowsItsWindowUnderXvfbAndSavesOnSigterm) {
  const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
  if (xvfbRun.isEmpty()) {
    GTEST_SKIP() << "xvfb-run is not installed (Debian package xvfb, see scripts/install-deps.sh):"
                    " the real program needs a display";
  }
  ASSERT_FALSE(QStandardPaths::findExecutable("xwininfo").isEmpty())
      << "xwininfo (Debian package x11-utils) is needed to see the window";
  testing::TempDir dir;
  std::filesystem::create_directory_symlink(VELORA_CONTENT_DIR, dir.File("content"));
  // Written by hand: lower-case name, LF line ends. The program writes its own form back.
  testing::WriteFileBytes(dir.File("users.txt"),
                          "Die Zeilenanzahl und -struktur in dieser Datei darf nicht verändert "
                          "werden!\nAnzahl der Einträge=1\n42\nUsername=gast\nPasswort=gast\n"
                          "false\n\n\n\n\n\n\n\n\n0\n"_cp);
  const char* script = R"(
    "$VELORA" 2>velora-stderr.txt & pid=$!
    shown=0
    for i in $(seq 300); do
      if xwininfo -root -tree 2>/dev/null | grep -q '"Velora Server v3"'; then shown=1; break; fi
      kill -0 $pid 2>/dev/null || break
      sleep 0.1
    done
    echo "shown=$shown"
    kill -TERM $pid
    wait $pid
    echo "status=$?"
  )";
  QProcess process;
  process.setWorkingDirectory(QString::fromStdString(dir.path()));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("VELORA", VELORA_PATH);
  env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir.File("config")));
  // In the sanitizer build: libdbus, which the display's platform plugin loads, leaks.
  env.insert("LSAN_OPTIONS", "suppressions=" VELORA_LSAN_SUPPRESSIONS);
  env.remove("QT_QPA_PLATFORM");
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  process.setProcessEnvironment(env);
  process.start(xvfbRun, {"-a", "bash", "-c", script});
  ASSERT_TRUE(process.waitForFinished(90'000)) << "velora did not end";
  const QString out = QString::fromUtf8(process.readAllStandardOutput());
  const std::string err = testing::ReadFileBytes(dir.File("velora-stderr.txt"));
  EXPECT_TRUE(out.contains("shown=1")) << out.toStdString() << err;
  EXPECT_TRUE(out.contains("status=0")) << out.toStdString() << err;
  UserTable users;
  std::int32_t uptime = 0;
  const std::string saved = testing::ReadFileBytes(dir.File("users.txt"));
  ParseUsersFile(saved, users, uptime);
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(uptime, 42);
  EXPECT_NE(saved.find("Username=GAST\r\n"), std::string::npos) << "written by the program";
}

}  // namespace
}  // namespace velora

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  velora::VeloraApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
