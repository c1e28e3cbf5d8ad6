// Files read whole and replaced whole: a replacement goes through a temporary file renamed into
// place, so a crash leaves the old file or the new one, never half of one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/user_file_error.h"

namespace velora {

// The bytes of a file; throws UserFileError with the system's reason.
std::string ReadWholeFile(const std::string& path);

// Replaces the file by the bytes through a temporary file in the same directory, synced before
// and after the rename. A symbolic link stays one: the file it leads to is replaced, through a
// temporary file beside it. ownerOnly: mode 0600, or the old file's mode if that is stricter;
// otherwise the old file's mode, or the default for new files. Throws UserFileError with the
// system's reason.
void ReplaceFileContents(const std::string& path, std::string_view bytes, bool ownerOnly);

// The file a path leads to through any symbolic links (which need not exist yet); throws
// UserFileError for a link that cannot be read or a loop.
std::string ResolveLinks(const std::string& path);

// Removes the temporary files that replacing the file at this very path (links not followed) left
// beside it when the program was killed during it. Returns the paths removed.
std::vector<std::string> RemoveTempFilesOf(const std::string& file);

}  // namespace velora
