// MemorySettingsBackend: a settings store held in memory for tests. Values of a wrong kind and
// refused writes can be planted.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/ports.h"

namespace velora {

class MemorySettingsBackend : public SettingsBackend {
 public:
  struct Value {
    ValueKind kind = ValueKind::Missing;
    std::string text;
    std::int32_t number = 0;
    bool operator==(const Value&) const = default;
  };

  bool OpenKey(std::string_view path, bool create) override;
  void CloseKey() override;
  ValueKind KindOf(std::string_view name) override;
  std::vector<std::string> ValueNames() override;
  std::string ReadString(std::string_view name) override;
  std::int32_t ReadInteger(std::string_view name) override;
  void WriteString(std::string_view name, std::string_view value) override;
  void WriteInteger(std::string_view name, std::int32_t value) override;

  // Direct access to a key's values, open or not.
  bool HasKey(std::string_view path) const;
  void PutString(std::string_view path, std::string_view name, std::string_view value);
  void PutInteger(std::string_view path, std::string_view name, std::int32_t value);
  // A value of a kind that is neither string nor integer (binary data in a real store).
  void PutOther(std::string_view path, std::string_view name);
  std::optional<Value> Get(std::string_view path, std::string_view name) const;

  // Writes of this value name throw SettingsError from now on.
  void RefuseWrites(std::string_view name) { refused_.emplace(name); }
  // OpenKey fails from now on.
  void RefuseOpen() { refuseOpen_ = true; }
  // Names written through the port, in order.
  const std::vector<std::string>& WriteLog() const { return writeLog_; }

 private:
  using Key = std::map<std::string, Value, std::less<>>;
  Key& OpenOrThrow();
  const Value& Existing(std::string_view name, ValueKind kind);
  void Write(std::string_view name, Value value);

  std::map<std::string, Key, std::less<>> keys_;
  std::optional<std::string> open_;
  std::set<std::string, std::less<>> refused_;
  bool refuseOpen_ = false;
  std::vector<std::string> writeLog_;
};

}  // namespace velora
