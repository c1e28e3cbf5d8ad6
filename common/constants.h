// Program-wide constants: calculator models, station addresses, screen marks, limits, file names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velora {

// Calculator models are indexed 0 (TI 82) and 1 (TI 86).
inline constexpr int CalcTypeCount = 2;
inline constexpr std::array<std::uint8_t, CalcTypeCount> CalcTypeCodes{0x82, 0x86};
inline constexpr std::array<std::string_view, CalcTypeCount> CalcTypeNames{"TI82", "TI86"};
constexpr std::string_view CalcTypeName(std::size_t calcType) {
  return calcType < CalcTypeNames.size() ? CalcTypeNames[calcType] : "?";
}
inline constexpr std::array<std::uint8_t, CalcTypeCount> ScreenColumns{16, 21};
inline constexpr std::array<std::uint8_t, CalcTypeCount> ScreenChars{128, 168};
inline constexpr int ScreenRows = 8;

// The type index of a registration's model byte; unknown codes count as a TI 82.
constexpr std::uint8_t CalcTypeFromCode(std::uint8_t code) {
  for (int i = 0; i < CalcTypeCount; ++i) {
    if (CalcTypeCodes[i] == code) return static_cast<std::uint8_t>(i);
  }
  return 0;
}

// Station addresses.
inline constexpr std::uint8_t NoAddress = 0;
inline constexpr std::uint8_t ServerAddress = 1;
inline constexpr std::uint8_t FirstStationAddress = 4;
inline constexpr std::uint8_t LastStationAddress = 253;
inline constexpr std::uint8_t BroadcastAddress = 255;

// Marks on the calculator screen.
inline constexpr std::uint8_t MarkPageAbove = 6;
inline constexpr std::uint8_t MarkPageBelow = 7;
inline constexpr std::uint8_t MarkMenuPageAbove = 0xCF;
inline constexpr std::uint8_t MarkMenuPageBelow = 5;

// The most data one link frame carries (its length byte counts 6 more).
inline constexpr std::size_t MaxFrameData = 249;

// Input fields.
inline constexpr std::uint8_t InputWidthMax = 16;
inline constexpr std::uint8_t InputWidthDefault = 16;
inline constexpr std::uint8_t InputLengthMax = 247;

// Detail of the log file, 0 (nothing) to 4 (everything).
using LogLevel = std::uint8_t;
inline constexpr LogLevel InitialLogLevel = 3;
inline constexpr LogLevel MaxLogLevel = 4;
inline constexpr std::array<std::string_view, 5> LogLevelNames{
    "no logging", "low logging", "normal logging", "high logging", "highest logging"};

inline constexpr std::string_view VersionLabel = "Privat";
inline constexpr std::string_view MainMenuFile = "menumain.txt";
inline constexpr std::string_view AdminMainMenuFile = "menumainadmin.txt";
inline constexpr std::string_view MotdFile = "resmotd.txt";
inline constexpr std::string_view DictionaryFile = "resdict.txt";
inline constexpr std::string_view FeedbackFile = "resfdbck.txt";
inline constexpr std::string_view UsersFile = "users.txt";

}  // namespace velora
