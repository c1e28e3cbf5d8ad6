// Deleting the old log files on the operator's request: the dated continuation files and the
// current log of the server's working directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

// "veloraserverlog" + 8 characters + "@" + 6 characters + ".txt", as the continuation files are
// named ("veloraserverlog20261206@090705.txt"), or with a counter before ".txt" when several
// continue in one second ("veloraserverlog20261206@090705-2.txt").
bool IsDatedLogFileName(std::string_view name);

// Deletes every dated log file and the current log in the directory. Returns how many it tried
// to delete: a file that cannot be deleted counts all the same.
int DeleteOldLogs(const std::string& directory);

// Keeps the dated log files of the directory within maxBytes together: removes the oldest first,
// by the time stamp and counter in their names, never the file named keepName (the log being
// written). Returns the names of the files removed, oldest first.
std::vector<std::string> RemoveOldestDatedLogs(const std::string& directory, std::uint64_t maxBytes,
                                               std::string_view keepName);

// The operator's message for that count.
std::string DeletedLogsMessage(int count);

}  // namespace velora
