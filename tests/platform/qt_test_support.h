// For tests of the Qt adapters: the application object and a pseudo-terminal pair whose slave
// side plays the serial device.
#pragma once

#include <QCoreApplication>

#include "support/pty_pair.h"

namespace velora::testing {

inline QCoreApplication& TestApp() {
  static int argc = 1;
  static char name[] = "velora-test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

}  // namespace velora::testing
