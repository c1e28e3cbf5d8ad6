// Deleting the old log files on the operator's request: the dated continuation files and the
// current log of the server's working directory.
#pragma once

#include <string>
#include <string_view>

namespace velora {

// "veloraserverlog" + 8 characters + "@" + 6 characters + ".txt", as the continuation files are
// named ("veloraserverlog20261206@090705.txt"), or with a counter before ".txt" when several
// continue in one second ("veloraserverlog20261206@090705-2.txt").
bool IsDatedLogFileName(std::string_view name);

// Deletes every dated log file and the current log in the directory. Returns how many it tried
// to delete: a file that cannot be deleted counts all the same.
int DeleteOldLogs(const std::string& directory);

// The operator's message for that count.
std::string DeletedLogsMessage(int count);

}  // namespace velora
