// `velorad --check`: reads what a start reads (the settings, "users.txt", "resfdbck.txt" and every
// content page) and reports what it found and each problem, with its file and line. It takes no
// lock on the working folder, so it runs beside the server that uses it: the server replaces its
// files whole through a rename, so the check never reads half a file. It writes nothing and opens
// no port.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "session/content_check.h"
#include "settings/server_settings.h"
#include "settings/settings_store.h"

namespace velora {

struct InstallationReport {
  ServerSettings settings;    // as a start would apply them
  std::string contentFolder;  // the content folder as the settings name it
  bool usersFound = false;
  std::size_t accounts = 0;
  std::size_t administrators = 0;
  std::size_t storedMessages = 0;
  std::size_t feedback = 0;
  std::size_t pages = 0;
  // Worth knowing, but a start goes ahead ("users.txt" missing, no administrator).
  std::vector<std::string> notes;
  // What would make a start fail, or a calculator meet an error page.
  std::vector<ContentProblem> problems;
};

// `settingsName` names the settings store in a problem with it. The content folder's problems
// carry its path as the settings give it ("./content/menumain.txt").
InstallationReport CheckInstallation(SettingsBackend& backend, SettingsStore::PortLister listPorts,
                                     const std::string& workDir, const std::string& settingsName);

}  // namespace velora
