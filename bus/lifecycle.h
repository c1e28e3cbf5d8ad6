// Program start and end, shared by the operator program and the headless server: the lock on the
// working folder, the user and feedback files, the settings, running the server (which saves the
// files while it runs when they change), and saving both files at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bus/server.h"
#include "settings/settings_form.h"
#include "settings/settings_store.h"
#include "store/folder_lock.h"
#include "store/user_files.h"

namespace velora {

// What saving at the end left undone.
struct SaveResult {
  // Each file that could not be written, with the reason ("users.txt: No space left on device").
  std::vector<std::string> failed;
  bool Ok() const { return failed.empty(); }
  explicit operator bool() const { return Ok(); }
};

class Lifecycle {
 public:
  Lifecycle(Server& server, OperatorUi& ui, SettingsBackend& backend,
            SettingsStore::PortLister listPorts, std::string workDir);
  ~Lifecycle();
  Lifecycle(const Lifecycle&) = delete;
  Lifecycle& operator=(const Lifecycle&) = delete;

  // Program start: the working folder is locked against a second server, temporary files of a
  // save cut short are removed, "users.txt" and "resfdbck.txt" are read, then the settings are
  // loaded and applied. False when the program must end (the folder is in use, a file could
  // not be read); the reason has been shown.
  bool Load(std::uint32_t seed);
  // The two halves of Load, for the operator program, whose configuration dialog loads the
  // settings when it is created: the files (false: the program must end), then the settings.
  bool LoadFiles(std::uint32_t seed);
  SettingsFailure LoadSettings();
  // Whether the last LoadFiles found "users.txt".
  bool UsersFileFound() const { return usersFound_; }
  // Runs the server until it is stopped; false when it could not start.
  bool Run() { return server_.Start(); }
  // Program end: writes both files where they changed.
  SaveResult Save();
  // When both files were last saved without a failure in this run (while it ran or at its end).
  const std::optional<DateTime>& LastSave() const { return lastSave_; }

  // The configuration dialog's fields. A change of a setting applied at use reaches the server
  // at once; closing the dialog saves them all and applies the copied ones.
  SettingsForm& Form() { return form_; }
  SettingsFailure CloseSettings();
  // An account that lives only in memory and is never saved (a demo calculator's).
  void AddTransientAccount(Tuserdata account);

 private:
  bool Report(const UserFileReport& report);
  UserFileReport SaveFiles();
  // The server's periodic save, false when it failed: a failure is logged when its reason is
  // new and shown once until a save works.
  bool SaveWhileRunning();

  Server& server_;
  OperatorUi& ui_;
  std::string workDir_;
  ServerSettings edited_;
  SettingsForm form_;
  SettingsStore store_;
  std::set<std::string> transient_;
  bool usersFound_ = false;
  FolderLock lock_;
  UserFiles files_;
  bool saveFailureShown_ = false;
  std::vector<std::string> lastSaveFailure_;
  std::optional<DateTime> lastSave_;
};

}  // namespace velora
