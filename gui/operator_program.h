// The operator's program put together: the real-time world with the built-in simulator beside
// the server's port, the windows' operator port, the server built from them, the main window over
// it, and the status server at the address the settings name.
#pragma once

#include <memory>
#include <string>

#include "gui/main_window.h"
#include "gui/window_ui.h"
#include "platform/qt/qt_status_server.h"
#include "platform/qt/qt_world.h"

namespace velora {

class OperatorProgram {
 public:
  OperatorProgram(SettingsBackend& backend, SettingsStore::PortLister listPorts,
                  std::string workDir = ".");
  ~OperatorProgram();

  TForm1& Window() { return *window_; }
  const QtStatusServer& StatusServer() const { return statusServer_; }
  // The server's port; with none chosen it opens the virtual radio, where more simulated
  // calculators may join the built-in one.
  QtServerPort& Port() { return world_.Port(); }

 private:
  // Listens where the applied settings say, when that changed.
  void FollowStatusAddress(const ServerSettings& settings);

  QtWorld world_;
  WindowUi ui_;
  std::unique_ptr<Server> server_;
  std::unique_ptr<TForm1> window_;
  QtStatusServer statusServer_{*server_};
  std::string statusAddress_;
};

}  // namespace velora
