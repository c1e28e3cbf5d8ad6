// THash: the keyed string table behind a session's input values; keys compare upper-cased.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

class THash {
 public:
  // The entry of the key; found or appended. Lookups are linear: a session has few inputs.
  std::size_t FindOrAdd(std::string_view key);
  void Put(std::string_view key, std::string_view value);
  // A key never put is added with an empty value.
  const std::string& Get(std::string_view key);

  const std::vector<std::string>& Keys() const { return keys_; }
  const std::vector<std::string>& Values() const { return values_; }

 private:
  std::vector<std::string> keys_;
  std::vector<std::string> values_;
};

}  // namespace velora
