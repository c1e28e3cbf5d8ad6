// The configuration dialog's field logic and SetUpVars.
#include "settings/settings_form.h"

#include <cassert>
#include <cstdint>

#include "common/constants.h"
#include "common/text.h"

namespace velora {

namespace {

// The detailed log never continues before this many lines.
constexpr std::int32_t MinMaxLogLines = 2000;
constexpr std::int32_t MaxPacketLen = static_cast<std::int32_t>(MaxFrameData);

// Check boxes whose state enables one number field.
struct EnablePair {
  SettingId check;
  SettingId field;
};
constexpr std::array<EnablePair, 3> EnablePairs{{
    {SettingId::CheckCSKickNotReplyingTIs, SettingId::EditCSKickAfterNumOfNoReplies},
    {SettingId::CheckCSLimitNumOfMails, SettingId::EditCSMaxNumOfMails},
    {SettingId::CheckCSLimitSizeOfMails, SettingId::EditCSMaxSizeOfMails},
}};

}  // namespace

SettingsForm::SettingsForm(ServerSettings& settings) : SettingsForm(settings, settings) {}

SettingsForm::SettingsForm(ServerSettings& settings, ServerSettings& atUse)
    : settings_(settings), atUse_(atUse) {
  for (const SettingDef& def : SettingsTable()) {
    Field& field = At(def.id);
    field.text = std::string(def.defaultText);
    field.checked = def.defaultChecked;
    field.enabled = def.enabled;
  }
  comboIndex_ = Def(SettingId::ComboCSPort).defaultNumber;
  sliderPosition_ = Def(SettingId::TrackCSNumOfLogoutAcks).defaultNumber;
  for (const SettingDef& def : SettingsTable())
    WriteThrough(def.id);
}

const std::string& SettingsForm::Text(SettingId id) const {
  assert(Def(id).kind == SettingKind::Text && "Text needs an edit field");
  return At(id).text;
}

void SettingsForm::SetText(SettingId id, std::string_view text) {
  assert(Def(id).kind == SettingKind::Text && "SetText needs an edit field");
  const int maxLength = Def(id).maxLength;
  if (maxLength > 0 && text.size() > static_cast<std::size_t>(maxLength))
    text = text.substr(0, static_cast<std::size_t>(maxLength));
  Field& field = At(id);
  if (field.text == text) return;
  field.text = std::string(text);
  WriteThrough(id);
  Changed(id);
}

bool SettingsForm::AllowOnlyFigures(char key) {
  return (key >= '0' && key <= '9') || key == '\b';
}

bool SettingsForm::AcceptsTypedKey(SettingId id, char key) const {
  const SettingDef& def = Def(id);
  if (def.kind != SettingKind::Text || def.readOnly) return false;
  return !def.number || AllowOnlyFigures(key);
}

bool SettingsForm::Checked(SettingId id) const {
  assert(Def(id).kind == SettingKind::Flag && "Checked needs a check box or radio button");
  return At(id).checked;
}

void SettingsForm::SetChecked(SettingId id, bool checked) {
  assert(Def(id).kind == SettingKind::Flag && "SetChecked needs a check box or radio button");
  const int partner = Def(id).radioPartner;
  if (checked && partner >= 0) StoreChecked(static_cast<SettingId>(partner), false);
  StoreChecked(id, checked);
}

void SettingsForm::StoreChecked(SettingId id, bool checked) {
  Field& field = At(id);
  if (field.checked == checked) return;
  field.checked = checked;
  WriteThrough(id);
  Changed(id);
  for (const EnablePair& pair : EnablePairs) {
    if (pair.check == id) SetEnabled(pair.field, checked);
  }
}

bool SettingsForm::Enabled(SettingId id) const {
  return At(id).enabled;
}

bool SettingsForm::ReadOnly(SettingId id) const {
  return Def(id).readOnly;
}

void SettingsForm::SetEnabled(SettingId id, bool enabled) {
  Field& field = At(id);
  if (field.enabled == enabled) return;
  field.enabled = enabled;
  Changed(id);
}

void SettingsForm::SetPortNames(std::vector<std::string> names) {
  portNames_ = std::move(names);
  comboIndex_ = NoChoice;
  Changed(SettingId::ComboCSPort);
}

void SettingsForm::SetComboIndex(int index) {
  if (index < 0 || index >= static_cast<int>(portNames_.size())) index = NoChoice;
  if (comboIndex_ == index) return;
  comboIndex_ = index;
  Changed(SettingId::ComboCSPort);
}

std::string SettingsForm::ChosenPortName() const {
  if (comboIndex_ < 0) return {};
  return portNames_[static_cast<std::size_t>(comboIndex_)];
}

void SettingsForm::SetSliderPosition(int position) {
  if (position < SliderMin) position = SliderMin;
  if (position > SliderMax) position = SliderMax;
  if (sliderPosition_ == position) return;
  sliderPosition_ = position;
  WriteThrough(SettingId::TrackCSNumOfLogoutAcks);
  Changed(SettingId::TrackCSNumOfLogoutAcks);
}

std::string SettingsForm::SliderLabel() const {
  return "Logout ACK wird " + std::to_string(sliderPosition_) + " Mal gesendet";
}

void SettingsForm::WriteThrough(SettingId id) {
  const SettingDef& def = Def(id);
  for (ServerSettings* record : {&settings_, &atUse_}) {
    if (def.textTarget != nullptr) record->*def.textTarget = At(id).text;
    if (def.flagTarget != nullptr) record->*def.flagTarget = At(id).checked;
    if (def.positionTarget != nullptr) record->*def.positionTarget = sliderPosition_;
  }
}

void SettingsForm::Changed(SettingId id) {
  if (onChange_) onChange_(id);
}

void SettingsForm::SetUpVars() {
  using Id = SettingId;
  auto number = [this](Id id) { return ConvertNumber(Text(id)); };

  // Conversion to the unsigned widths keeps the number modulo 2^bits.
  settings_.TxenToReadPause = static_cast<std::uint8_t>(number(Id::EditCSTXEN2r));
  settings_.TxenToWritePause = static_cast<std::uint8_t>(number(Id::EditCSTXEN2w));
  settings_.RegisterWait = static_cast<std::uint16_t>(number(Id::EditCSRegisterWait));
  settings_.ReceiveWait = static_cast<std::uint16_t>(number(Id::EditCSReceiveWait));
  settings_.ControlPacketPause = number(Id::EditCSPauseAfterSendShortPacket);
  settings_.ContentPacketPause = number(Id::EditCSPauseAfterSendLongPacket);

  std::int32_t logLines = number(Id::EditCSMaxLogLines);
  if (logLines < MinMaxLogLines) {
    logLines = MinMaxLogLines;
    SetText(Id::EditCSMaxLogLines, std::to_string(logLines));
  }
  settings_.MaxLogLines = logLines;

  std::int32_t folderMB = number(Id::EditCSMaxLogFolderMB);
  if (folderMB < 0) {
    folderMB = 0;
    SetText(Id::EditCSMaxLogFolderMB, "0");
  }
  settings_.MaxLogFolderMB = folderMB;

  std::int32_t packetLen = number(Id::EditCSMaxLenSinglePacket);
  if (packetLen < 1 || packetLen > MaxPacketLen) {
    packetLen = packetLen < 1 ? 1 : MaxPacketLen;
    SetText(Id::EditCSMaxLenSinglePacket, std::to_string(packetLen));
  }
  settings_.MaxSinglePacketLen = packetLen;

  settings_.KickAfterNoReplies = number(Id::EditCSKickAfterNumOfNoReplies);
  if (settings_.KickAfterNoReplies == 0) SetChecked(Id::CheckCSKickNotReplyingTIs, false);

  settings_.PacketInitString = Text(Id::EditCSPacketInitString);
  settings_.HttpStatusAddress = Text(Id::EditCIHttpStatus);

  // Entries read "COM" + digit + a description; only the one digit after "COM" counts.
  const std::string port = ChosenPortName();
  settings_.ComPort = port.size() >= 4 ? ConvertNumber(port.substr(3, 1)) : 0;
  if (onPortNumber_) onPortNumber_(settings_.ComPort);

  settings_.MaxMailCount = number(Id::EditCSMaxNumOfMails);
  settings_.MaxMailSizeKB = number(Id::EditCSMaxSizeOfMails);
}

}  // namespace velora
