// The in-memory settings store.
#include "support/memory_settings_backend.h"

#include "common/cp1252.h"

namespace velora {

bool MemorySettingsBackend::OpenKey(std::string_view path, bool create) {
  open_.reset();
  if (refuseOpen_) return false;
  auto it = keys_.find(path);
  if (it == keys_.end()) {
    if (!create) return false;
    keys_.emplace(std::string(path), Key{});
  }
  open_ = std::string(path);
  return true;
}

void MemorySettingsBackend::CloseKey() {
  open_.reset();
}

MemorySettingsBackend::Key& MemorySettingsBackend::OpenOrThrow() {
  if (!open_) throw SettingsError(std::string("Kein Schlüssel geöffnet"_cp));
  return keys_.find(*open_)->second;
}

SettingsBackend::ValueKind MemorySettingsBackend::KindOf(std::string_view name) {
  Key& key = OpenOrThrow();
  auto it = key.find(name);
  return it == key.end() ? ValueKind::Missing : it->second.kind;
}

std::vector<std::string> MemorySettingsBackend::ValueNames() {
  std::vector<std::string> names;
  for (const auto& [name, value] : OpenOrThrow())
    names.push_back(name);
  return names;
}

const MemorySettingsBackend::Value& MemorySettingsBackend::Existing(std::string_view name,
                                                                    ValueKind kind) {
  Key& key = OpenOrThrow();
  auto it = key.find(name);
  if (it == key.end() || it->second.kind != kind) {
    std::string message;
    message += "Ungültiger Datentyp für '"_cp;
    message += name;
    message += "'";
    throw SettingsError(message);
  }
  return it->second;
}

std::string MemorySettingsBackend::ReadString(std::string_view name) {
  return Existing(name, ValueKind::String).text;
}

std::int32_t MemorySettingsBackend::ReadInteger(std::string_view name) {
  return Existing(name, ValueKind::Integer).number;
}

void MemorySettingsBackend::Write(std::string_view name, Value value) {
  Key& key = OpenOrThrow();
  if (refused_.contains(name)) {
    std::string message;
    message += "Fehler beim Setzen der Daten für '"_cp;
    message += name;
    message += "'";
    throw SettingsError(message);
  }
  writeLog_.emplace_back(name);
  key[std::string(name)] = std::move(value);
}

void MemorySettingsBackend::WriteString(std::string_view name, std::string_view value) {
  Write(name, Value{ValueKind::String, std::string(value), 0});
}

void MemorySettingsBackend::WriteInteger(std::string_view name, std::int32_t value) {
  Write(name, Value{ValueKind::Integer, {}, value});
}

bool MemorySettingsBackend::HasKey(std::string_view path) const {
  return keys_.contains(path);
}

void MemorySettingsBackend::PutString(std::string_view path, std::string_view name,
                                      std::string_view value) {
  keys_[std::string(path)][std::string(name)] = Value{ValueKind::String, std::string(value), 0};
}

void MemorySettingsBackend::PutInteger(std::string_view path, std::string_view name,
                                       std::int32_t value) {
  keys_[std::string(path)][std::string(name)] = Value{ValueKind::Integer, {}, value};
}

void MemorySettingsBackend::PutOther(std::string_view path, std::string_view name) {
  keys_[std::string(path)][std::string(name)] = Value{ValueKind::Other, {}, 0};
}

std::optional<MemorySettingsBackend::Value> MemorySettingsBackend::Get(
    std::string_view path, std::string_view name) const {
  auto key = keys_.find(path);
  if (key == keys_.end()) return std::nullopt;
  auto it = key->second.find(name);
  if (it == key->second.end()) return std::nullopt;
  return it->second;
}

}  // namespace velora
