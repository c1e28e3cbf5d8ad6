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
    for (const SettingSpec& spec : SettingsTable()) {
      switch (spec.kind) {
        case SettingKind::Text:
          form_.SetText(spec.id, registry.ReadText(spec.name, form_.Text(spec.id)));
          break;
        case SettingKind::Flag:
          form_.SetChecked(spec.id, registry.ReadFlag(spec.name, form_.Checked(spec.id)));
          break;
        case SettingKind::Choice: {
          const int last = static_cast<int>(form_.PortNames().size()) - 1;
          form_.SetComboIndex(std::min(registry.ReadInteger(spec.name, form_.ComboIndex()), last));
          break;
        }
        case SettingKind::Position:
          form_.SetSliderPosition(std::clamp(
              registry.ReadInteger(spec.name, form_.SliderPosition()), SliderMin, SliderMax));
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
    for (const SettingSpec& spec : SettingsTable()) {
      switch (spec.kind) {
        case SettingKind::Text:
          registry.WriteText(spec.name, form_.Text(spec.id));
          break;
        case SettingKind::Flag:
          registry.WriteFlag(spec.name, form_.Checked(spec.id));
          break;
        case SettingKind::Choice:
          registry.WriteInteger(spec.name, form_.ComboIndex());
          break;
        case SettingKind::Position:
          registry.WriteInteger(spec.name, form_.SliderPosition());
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
