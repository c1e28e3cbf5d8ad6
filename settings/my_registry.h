// TMyRegistry: the read-with-default and flag operations of the settings store over the
// SettingsBackend port.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/ports.h"

namespace velora {

class TMyRegistry {
 public:
  explicit TMyRegistry(SettingsBackend& backend) : backend_(backend) {}
  TMyRegistry(const TMyRegistry&) = delete;
  TMyRegistry& operator=(const TMyRegistry&) = delete;
  // Closes a key left open.
  ~TMyRegistry();

  // Throws SettingsError when the key can neither be opened nor created.
  void OpenKey(std::string_view path, bool create);
  void CloseKey();

  // The stored string when it is non-empty, else the default. A value of another kind throws
  // SettingsError: an edit field never silently falls back from a damaged value.
  std::string ReadText(std::string_view name, std::string_view fallback);
  // The stored integer; the default when it is missing or not an integer.
  std::int32_t ReadInteger(std::string_view name, std::int32_t fallback);
  // True for exactly "true" or "yes"; the default when missing or not a string.
  bool ReadFlag(std::string_view name, bool fallback);

  // Writes throw SettingsError when the store refuses them.
  void WriteText(std::string_view name, std::string_view value);
  void WriteInteger(std::string_view name, std::int32_t value);
  void WriteFlag(std::string_view name, bool value);

 private:
  SettingsBackend& backend_;
  bool open_ = false;
};

}  // namespace velora
