// For tests of the Qt adapters: the application object, a pseudo-terminal pair whose slave
// side plays the serial device, and the server's line over a port in real time.
#pragma once

#include <QCoreApplication>

#include "link/serial_line.h"
#include "platform/qt/qt_time.h"
#include "store/log_file.h"
#include "support/pty_pair.h"
#include "support/recording_ui.h"

namespace velora::testing {

inline QCoreApplication& TestApp() {
  static int argc = 1;
  static char name[] = "velora-test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// A serial line on a port in real time, logging into a folder of its own. Declared after the
// port, so that it goes first.
struct QtLine {
  QtLine(SerialPort& port, const ServerSettings& settings)
      : line{port, timer, pump, log, settings} {
    log.Open();
  }
  QtOneShotTimer timer;
  QtEventPump pump;
  QtClock clock;
  RecordingUi ui;
  TempDir dir;
  LogFile log{clock, ui, dir.path()};
  SerialLine line;
};

}  // namespace velora::testing
