// The settings table: every field of the configuration dialog in dialog order, which is also the
// order of loading and saving, with its stored value name, kind, default and the applied field.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "settings/server_settings.h"

namespace velora {

// The store key, relative to the per-user root; the trailing separator belongs to it.
inline constexpr std::string_view SettingsKeyPath = "Software\\Brevik\\Velora-Server\\";

// One id per dialog field, in dialog order; the value of an id is its row in the table.
enum class SettingId : int {
  EditCSContent,
  CheckCSNoWrap,
  CheckCSDeleteOldLog,
  EditCSMaxLogLines,
  CheckDoNotUseTableInTiSim,
  CheckCSKickNotReplyingTIs,
  EditCSKickAfterNumOfNoReplies,
  ComboCSPort,
  CheckCSLoginCompulsory,
  CheckCSLimitNumOfMails,
  EditCSMaxNumOfMails,
  CheckCSLimitSizeOfMails,
  EditCSMaxSizeOfMails,
  CheckCSDropRcvdWhileTXENWechsel,
  TrackCSNumOfLogoutAcks,
  RBCSTXENBreak,
  RBCSTXENTXEmpty,
  RBCSDTRhighlow,
  RBCSDTRhighhigh,
  EditCSTXEN2r,
  EditCSTXEN2w,
  EditCSRegisterWait,
  EditCSReceiveWait,
  CheckCSMarkingCond,
  EditCSPacketInitString,
  CheckCSSendPacketInitString,
  CheckCFSendAfterTXEN,
  EditCFSendAfterTXEN,
  EditCSPauseAfterSendShortPacket,
  EditCSMaxLenSinglePacket,
  EditCSPauseAfterSendLongPacket,
  EditCIProxyIP,
  EditCIProxyPort,
  // Added after the others, so that stored values and the order of loading stay as they were.
  EditCSMaxLogFolderMB,
  EditCIHttpStatus,
};

inline constexpr int SettingCount = 35;

// text: edit field; flag: check box or radio button; choice: the port list; position: the slider.
enum class SettingKind { Text, Flag, Choice, Position };

inline constexpr int SliderMin = 1;
inline constexpr int SliderMax = 20;
inline constexpr int NoChoice = -1;

struct SettingDef {
  SettingId id;
  std::string_view name;
  SettingKind kind;
  std::string_view defaultText = {};  // text
  bool defaultChecked = false;        // flag
  int defaultNumber = 0;              // choice index or slider position
  bool number = false;                // digits-only field
  int maxLength = 0;                  // 0: unlimited
  bool enabled = true;                // initial state
  bool readOnly = false;              // text the operator cannot edit
  int radioPartner = -1;              // row of the other button of its radio group
  // Written through on every change of the field (applied at use); SetUpVars copies the others.
  std::string ServerSettings::*textTarget = nullptr;
  bool ServerSettings::*flagTarget = nullptr;
  std::int32_t ServerSettings::*positionTarget = nullptr;
};

const std::array<SettingDef, SettingCount>& SettingsTable();

inline constexpr int Row(SettingId id) {
  return static_cast<int>(id);
}
const SettingDef& Def(SettingId id);

// Copies the settings applied at use (the fields the dialog writes through) from one record into
// another, leaving the copied ones alone.
void CopyAtUseSettings(const ServerSettings& from, ServerSettings& to);

}  // namespace velora
