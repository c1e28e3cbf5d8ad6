// The operator's program put together: the real-time world with the built-in simulator beside
// the server's port, the windows' operator port, the server built from them and the main window
// over it.
#pragma once

#include <memory>
#include <string>

#include "gui/main_window.h"
#include "gui/window_ui.h"
#include "platform/qt/qt_world.h"

namespace velora {

class OperatorProgram {
 public:
  OperatorProgram(SettingsBackend& backend, SettingsStore::PortLister listPorts,
                  std::string workDir = ".");

  TForm1& Window() { return *window_; }
  // The server's port; with none chosen it opens the virtual radio, where more simulated
  // calculators may join the built-in one.
  QtServerPort& Port() { return world_.Port(); }

 private:
  QtWorld world_;
  WindowUi ui_;
  std::unique_ptr<Server> server_;
  std::unique_ptr<TForm1> window_;
};

}  // namespace velora
