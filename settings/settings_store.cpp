// Load and Save of the settings, field by field in dialog order.
#include "settings/settings_store.h"

#include <algorithm>
#include <exception>

#include "settings/my_registry.h"

namespace velora {

SettingsStore::SettingsStore(SettingsBackend& backend, SettingsForm& form, PortLister listPorts)
    : backend_(backend), form_(form), listPorts_(std::move(listPorts)) {}

SettingsFailure SettingsStore::Load() {
  if (loaded_) return std::nullopt;
  form_.SetPortNames(listPorts_ ? listPorts_() : std::vector<std::string>{});
  try {
    TMyRegistry registry(backend_);
    registry.OpenKey(SettingsKeyPath, true);
    for (const SettingDef& def : SettingsTable()) {
      switch (def.kind) {
        case SettingKind::Text:
          form_.SetText(def.id, registry.ReadText(def.name, form_.Text(def.id)));
          break;
        case SettingKind::Flag:
          form_.SetChecked(def.id, registry.ReadFlag(def.name, form_.Checked(def.id)));
          break;
        case SettingKind::Choice: {
          const int last = static_cast<int>(form_.PortNames().size()) - 1;
          form_.SetComboIndex(std::min(registry.ReadInteger(def.name, form_.ComboIndex()), last));
          break;
        }
        case SettingKind::Position:
          form_.SetSliderPosition(std::clamp(registry.ReadInteger(def.name, form_.SliderPosition()),
                                             SliderMin, SliderMax));
          break;
      }
    }
  } catch (const std::exception& error) {
    return error.what();
  }
  form_.SetUpVars();
  loaded_ = true;
  return std::nullopt;
}

SettingsFailure SettingsStore::Save() {
  try {
    TMyRegistry registry(backend_);
    registry.OpenKey(SettingsKeyPath, true);
    for (const SettingDef& def : SettingsTable()) {
      switch (def.kind) {
        case SettingKind::Text:
          registry.WriteText(def.name, form_.Text(def.id));
          break;
        case SettingKind::Flag:
          registry.WriteFlag(def.name, form_.Checked(def.id));
          break;
        case SettingKind::Choice:
          registry.WriteInteger(def.name, form_.ComboIndex());
          break;
        case SettingKind::Position:
          registry.WriteInteger(def.name, form_.SliderPosition());
          break;
      }
    }
  } catch (const std::exception& error) {
    return error.what();
  }
  form_.SetUpVars();
  return std::nullopt;
}

}  // namespace velora
