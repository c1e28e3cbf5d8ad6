// SettingsForm: the configuration dialog's fields without a window. It holds every field's state,
// runs the enable logic, the radio groups and the slider label, keeps the settings applied "at
// use" current in ServerSettings, and applies the copied ones in SetUpVars.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/server_settings.h"
#include "settings/settings_table.h"

namespace velora {

class SettingsForm {
 public:
  // Called after a field's text, check state, enabled state, selection, entries or position
  // changed, so that a window can show it.
  using ChangeHandler = std::function<void(SettingId)>;
  using PortNumberHandler = std::function<void(int)>;

  // Every field starts at its default; the settings applied at use take the fields' state.
  explicit SettingsForm(ServerSettings& settings);
  // As above, and every change of a setting applied at use is also written into atUse at once
  // (the record a running server reads), whether or not the settings were ever applied.
  SettingsForm(ServerSettings& settings, ServerSettings& atUse);
  SettingsForm(const SettingsForm&) = delete;
  SettingsForm& operator=(const SettingsForm&) = delete;

  void SetChangeHandler(ChangeHandler handler) { onChange_ = std::move(handler); }
  // Receives the port number at every SetUpVars (0 when no port is chosen).
  void SetPortNumberHandler(PortNumberHandler handler) { onPortNumber_ = std::move(handler); }

  // Edit fields. Text beyond the field's maximum length is cut off.
  const std::string& Text(SettingId id) const;
  void SetText(SettingId id, std::string_view text);
  // The key filter of the number fields: only digits and backspace may be typed. Read-only
  // fields take no typing at all.
  static bool AllowOnlyFigures(char key);
  bool AcceptsTypedKey(SettingId id, char key) const;

  // Check boxes and radio buttons. Setting a radio button clears its partner; clearing one
  // leaves the partner alone, so a group can have none selected.
  bool Checked(SettingId id) const;
  void SetChecked(SettingId id, bool checked);

  bool Enabled(SettingId id) const;
  bool ReadOnly(SettingId id) const;

  // The port list. New entries leave no port chosen.
  const std::vector<std::string>& PortNames() const { return portNames_; }
  void SetPortNames(std::vector<std::string> names);
  // -1 when no port is chosen; an index outside the list chooses none.
  int ComboIndex() const { return comboIndex_; }
  void SetComboIndex(int index);
  // The chosen entry, empty when none.
  std::string ChosenPortName() const;

  // The logout slider, kept within 1 to 20.
  int SliderPosition() const { return sliderPosition_; }
  void SetSliderPosition(int position);
  std::string SliderLabel() const;

  // Applies the copied settings, corrects the fields it limits and hands on the port number.
  void SetUpVars();

  ServerSettings& Settings() { return settings_; }

 private:
  struct Field {
    std::string text;
    bool checked = false;
    bool enabled = true;
  };

  Field& At(SettingId id) { return fields_[Row(id)]; }
  const Field& At(SettingId id) const { return fields_[Row(id)]; }
  void StoreChecked(SettingId id, bool checked);
  void SetEnabled(SettingId id, bool enabled);
  void WriteThrough(SettingId id);
  void Changed(SettingId id);

  ServerSettings& settings_;
  ServerSettings& atUse_;
  std::array<Field, SettingCount> fields_;
  std::vector<std::string> portNames_;
  int comboIndex_ = NoChoice;
  int sliderPosition_;
  ChangeHandler onChange_;
  PortNumberHandler onPortNumber_;
};

}  // namespace velora
