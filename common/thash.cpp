// THash: linear keyed table with ASCII upper-cased keys.
#include "common/thash.h"

#include "common/text.h"

namespace velora {

std::size_t THash::FindOrAdd(std::string_view key) {
  const std::string upper = AsciiUpper(key);
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] == upper) return i;
  }
  keys_.push_back(upper);
  values_.emplace_back();
  return keys_.size() - 1;
}

void THash::Put(std::string_view key, std::string_view value) {
  values_[FindOrAdd(key)] = value;
}

const std::string& THash::Get(std::string_view key) {
  return values_[FindOrAdd(key)];
}

}  // namespace velora
