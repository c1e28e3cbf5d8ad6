// velora: the operator's desktop program. It reads no command line and works in the current
// directory: users.txt, resfdbck.txt and the logs lie there, the content in ./content/ unless
// the configuration names another folder.
#include <random>
#include <string_view>

#include "app/signal_watch.h"
#include "gui/main_window.h"
#include "gui/operator_program.h"
#include "gui/velora_application.h"
#include "platform/qt/qt_port_list.h"
#include "platform/qt/qt_precise_wakeup.h"
#include "platform/qt/qt_settings_backend.h"

int main(int argc, char** argv) {
  velora::IgnoreFileSizeSignal();
  velora::VeloraApplication app(argc, argv);
  // The radio's pauses and time-outs end on time even on a busy box (where the kernel grants it).
  velora::RequestShortTimeSlices();
  velora::QtSettingsBackend settings;
  velora::OperatorProgram program(settings, velora::SerialPortLabels, ".");
  velora::TForm1& window = program.Window();
  app.SetErrorHandler([&window](std::string_view message) { window.AppEventsException(message); });
  if (!window.FormCreate(std::random_device{}())) return 1;
  // Ending the session or a kill asks the program to end as closing the window does, so that
  // the users' data is written.
  velora::WatchTerminationSignals(&app, [&window] { window.close(); });
  window.show();
  const int status = app.exec();
  return status != 0 ? status : window.ExitCode();
}
