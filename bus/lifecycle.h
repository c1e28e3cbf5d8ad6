// Program start and end, shared by the operator program and the headless server: the user and
// feedback files, the settings, running the server, and saving both files at the end.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "bus/server.h"
#include "settings/settings_form.h"
#include "settings/settings_store.h"
#include "store/user_file.h"

namespace velora {

class Lifecycle {
 public:
  Lifecycle(Server& server, OperatorUi& ui, SettingsBackend& backend,
            SettingsStore::PortLister listPorts, std::string workDir);

  // Program start: "users.txt" and "resfdbck.txt", then the settings, loaded and applied. False
  // when the program must end because a file could not be read.
  bool Load(std::uint32_t seed);
  // The two halves of Load, for the operator program, whose configuration dialog loads the
  // settings when it is created: the files (false: the program must end), then the settings.
  bool LoadFiles(std::uint32_t seed);
  SettingsFailure LoadSettings();
  // Whether the last LoadFiles found "users.txt".
  bool UsersFileFound() const { return usersFound_; }
  // Runs the server until it is stopped; false when it could not start.
  bool Run() { return server_.Start(); }
  // Program end: writes both files; false when one could not be written.
  bool Save();

  // The configuration dialog's fields. Closing the dialog saves them and applies them.
  SettingsForm& Form() { return form_; }
  SettingsFailure CloseSettings();
  // An account that lives only in memory and is never saved (a demo calculator's).
  void AddTransientAccount(Tuserdata account);

 private:
  bool Report(const UserFileReport& report);

  Server& server_;
  OperatorUi& ui_;
  std::string workDir_;
  ServerSettings edited_;
  SettingsForm form_;
  SettingsStore store_;
  std::set<std::string> transient_;
  bool usersFound_ = false;
};

}  // namespace velora
