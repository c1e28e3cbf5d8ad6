// Reading and writing single settings values with their defaults.
#include "settings/my_registry.h"

#include "common/cp1252.h"

namespace velora {

using Kind = SettingsBackend::ValueKind;

TMyRegistry::~TMyRegistry() {
  CloseKey();
}

void TMyRegistry::OpenKey(std::string_view path, bool create) {
  CloseKey();
  if (!backend_.OpenKey(path, create)) {
    std::string message;
    message += "Schlüssel "_cp;
    message += path;
    message += " konnte nicht geöffnet werden"_cp;
    throw SettingsError(message);
  }
  open_ = true;
}

void TMyRegistry::CloseKey() {
  if (!open_) return;
  open_ = false;
  backend_.CloseKey();
}

std::string TMyRegistry::ReadText(std::string_view name, std::string_view fallback) {
  const Kind kind = backend_.KindOf(name);
  if (kind == Kind::Missing) return std::string(fallback);
  if (kind != Kind::String) {
    std::string message;
    message += "Ungültiger Datentyp für '"_cp;
    message += name;
    message += "'";
    throw SettingsError(message);
  }
  std::string text = backend_.ReadString(name);
  if (text.empty()) return std::string(fallback);
  return text;
}

std::int32_t TMyRegistry::ReadInteger(std::string_view name, std::int32_t fallback) {
  if (backend_.KindOf(name) != Kind::Integer) return fallback;
  try {
    return backend_.ReadInteger(name);
  } catch (const SettingsError&) {
    return fallback;
  }
}

bool TMyRegistry::ReadFlag(std::string_view name, bool fallback) {
  if (backend_.KindOf(name) != Kind::String) return fallback;
  std::string text;
  try {
    text = backend_.ReadString(name);
  } catch (const SettingsError&) {
    return fallback;
  }
  return text == "true" || text == "yes";
}

void TMyRegistry::WriteText(std::string_view name, std::string_view value) {
  backend_.WriteString(name, value);
}

void TMyRegistry::WriteInteger(std::string_view name, std::int32_t value) {
  backend_.WriteInteger(name, value);
}

void TMyRegistry::WriteFlag(std::string_view name, bool value) {
  backend_.WriteString(name, value ? "true" : "false");
}

}  // namespace velora
