// Account lookup by name.
#include "common/records.h"

#include "common/text.h"

namespace velora {

int FindUser(const UserTable& users, std::string_view name) {
  const std::string upper = AsciiUpper(name);
  for (std::size_t i = 0; i < users.size(); ++i) {
    if (users[i].Name == upper) return static_cast<int>(i);
  }
  return -1;
}

bool UserExists(const UserTable& users, std::string_view name) {
  return FindUser(users, name) >= 0;
}

}  // namespace velora
