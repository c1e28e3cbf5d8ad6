// SettingsStore: loads the configuration dialog's fields from the per-user store once per program
// run, saves them when the dialog closes, and applies them through SetUpVars after both.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/ports.h"
#include "settings/settings_form.h"

namespace velora {

// Empty on success, else the message for the operator's exception box.
using SettingsFailure = std::optional<std::string>;

class SettingsStore {
 public:
  using PortLister = std::function<std::vector<std::string>()>;

  // The port lister fills the port list at the start of loading; without one it stays empty.
  SettingsStore(SettingsBackend& backend, SettingsForm& form, PortLister listPorts = {});

  // Does nothing once a load has succeeded. A value of the wrong kind in an edit field ends the
  // loading at that field; the settings are then not applied and a later Load tries again.
  SettingsFailure Load();
  // Writes every field as it stands, then applies. A refused write ends the saving at that value
  // and nothing is applied.
  SettingsFailure Save();

  bool Loaded() const { return loaded_; }

 private:
  SettingsBackend& backend_;
  SettingsForm& form_;
  PortLister listPorts_;
  bool loaded_ = false;
};

}  // namespace velora
