// ServerSettings: the applied settings every layer reads. Fields the dialog applies "at use" are
// kept current by the settings form on every change; the others change only when it applies.
#pragma once

#include <cstdint>
#include <string>

namespace velora {

struct ServerSettings {
  std::string ContentDir = "./content/";
  bool NoWrap = false;
  bool SameLogFile = false;
  std::int32_t MaxLogLines = 2000;
  bool TiSimNoCharTable = false;
  bool KickSilentStations = false;
  std::int32_t KickAfterNoReplies = 30;
  std::int32_t ComPort = 0;
  bool LoginRequired = true;
  bool LimitMailCount = true;
  std::int32_t MaxMailCount = 15;
  bool LimitMailSize = true;
  std::int32_t MaxMailSizeKB = 20;
  bool DropRxDuringTurnaround = false;
  std::int32_t LogoutAckCount = 10;
  bool TxenOnTxEmpty = false;
  bool TxenHighIsDtrFalse = true;
  std::uint8_t TxenToReadPause = 0;
  std::uint8_t TxenToWritePause = 3;
  std::uint16_t RegisterWait = 15;
  std::uint16_t ReceiveWait = 50;
  bool MarkingDuringTurnaround = false;
  std::string PacketInitString = "U";
  bool SendPacketInitString = true;
  bool SendAfterTxenSwitch = true;
  std::string AfterTxenSwitchChars = "\xFF";
  std::int32_t ControlPacketPause = 30;
  std::int32_t MaxSinglePacketLen = 249;
  std::int32_t ContentPacketPause = 100;
  std::string ProxyHost;
  std::string ProxyPort;
  // The time-stamped log files together stay below this; 0: no limit.
  std::int32_t MaxLogFolderMB = 200;
  // Where the status page and the metrics are served over HTTP ("127.0.0.1:8080"); empty: not.
  std::string HttpStatusAddress;

  bool operator==(const ServerSettings&) const = default;
};

}  // namespace velora
