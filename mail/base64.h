// Base64 (the standard alphabet with "=" padding), as AUTH LOGIN sends user name and password.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velora {

std::string Base64Encode(std::string_view bytes);
// Empty optional when the text is no valid Base64 (wrong length, a foreign character, misplaced
// padding). Line breaks are not allowed inside.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace velora
