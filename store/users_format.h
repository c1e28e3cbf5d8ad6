// The form of "users.txt": the accounts, their messages and the total uptime, one value per line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/cp1252.h"
#include "common/records.h"
#include "store/user_file_error.h"

namespace velora {

inline constexpr std::string_view UsersFileHeader =
    "Die Zeilenanzahl und -struktur in dieser Datei darf nicht verändert werden!"_cp;
inline constexpr std::string_view UsersFileCountKey = "Anzahl der Einträge="_cp;

std::string FormatUsersFile(const UserTable& users, std::int32_t totalUptime);
// Throws UserFileError naming the line and what it should have held; the outputs are replaced
// only on success, and every account is offline afterwards.
void ParseUsersFile(std::string bytes, UserTable& users, std::int32_t& totalUptime);

}  // namespace velora
