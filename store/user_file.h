// The user file "users.txt" (accounts, their messages, the total uptime) and the feedback file
// "resfdbck.txt": one value per line, Windows-1252, CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/cp1252.h"
#include "common/records.h"

namespace velora {

inline constexpr std::string_view UsersFileHeader =
    "Die Zeilenanzahl und -struktur in dieser Datei darf nicht verändert werden!"_cp;
inline constexpr std::string_view UsersFileCountKey = "Anzahl der Einträge="_cp;

inline constexpr std::string_view UsersFileMissingText = "\"users.txt\" not found.";
inline constexpr std::string_view LoadUsersErrorText = "Exception on loading user data";
inline constexpr std::string_view LoadFeedbackErrorText = "Exception on loading feedback";
inline constexpr std::string_view SaveUsersErrorText = "Exception on writing user data";
inline constexpr std::string_view SaveFeedbackErrorText = "Exception on writing feedback";

// A line that a file should have but does not, a count that is not a number, a file that
// cannot be read or written.
class UserFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // A fault at a line of the file, counted from 1: "line 14: " and the reason.
  UserFileError(std::size_t line, const std::string& reason)
      : std::runtime_error("line " + std::to_string(line) + ": " + reason),
        line_(line),
        reason_(reason) {}

  // 0 when the fault is not one of a line.
  std::size_t Line() const { return line_; }
  std::string Reason() const { return line_ == 0 ? what() : reason_; }

 private:
  std::size_t line_ = 0;
  std::string reason_;
};

// Reads an 8-bit text file's lines: CR LF or LF ends a line, the last line may lack one.
class TextLineReader {
 public:
  explicit TextLineReader(std::string bytes) : bytes_(std::move(bytes)) {}
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  // The next line; throws UserFileError past the end.
  std::string ReadLn();
  // The next line, or empty text past the end.
  std::string ReadLnOrEmpty();
  // Lines read so far.
  std::size_t LineNumber() const { return line_; }

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
  std::size_t line_ = 0;
};

// Collects lines, each ended by CR LF. A value holding CR or LF would split into two lines and
// shift every line after it, so those bytes are written as blanks.
class TextLineWriter {
 public:
  void WriteLn(std::string_view line);
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// True exactly for a line "true".
bool ReadLnBoolean(TextLineReader& in);
void WriteLnBoolean(TextLineWriter& out, bool value);

// The bytes of a file; throws UserFileError with the system's reason.
std::string ReadWholeFile(const std::string& path);

// The file forms. Parsing throws UserFileError; every account is offline afterwards.
std::string FormatUsersFile(const UserTable& users, std::int32_t totalUptime);
void ParseUsersFile(std::string bytes, UserTable& users, std::int32_t& totalUptime);
std::string FormatFeedbackFile(const FeedbackList& feedback);
FeedbackList ParseFeedbackFile(std::string bytes);

// What the caller does after loading or saving.
enum class UserFileOutcome {
  Done,          // everything read or written
  UsersMissing,  // no "users.txt": put eventLine into the event list and run without accounts
  Warning,       // show the boxes, then go on
  Fatal,         // show the boxes, then end the program
};

struct UserFileReport {
  UserFileOutcome outcome = UserFileOutcome::Done;
  std::string eventLine;
  std::vector<std::string> boxes;  // message boxes, in the order they are shown
  // Saving: each file that could not be written, with the reason ("users.txt: No space left").
  std::vector<std::string> failed;
  // Loading: the files' bytes as they were read (nothing for a file that is missing).
  std::optional<std::string> usersRead;
  std::optional<std::string> feedbackRead;
};

// Reads "users.txt" and "resfdbck.txt" from the directory. On success the three outputs are
// replaced; after a fatal failure they are left as they were. The feedback file is read even
// when "users.txt" is missing, so that saving at the end does not wipe it.
UserFileReport LoadUserData(const std::string& directory, UserTable& users, FeedbackList& feedback,
                            std::int32_t& totalUptime);

// Writes both files. A failure of "users.txt" is a warning (the feedback is still written); a
// failure of "resfdbck.txt" is fatal.
UserFileReport SaveUserData(const std::string& directory, const UserTable& users,
                            const FeedbackList& feedback, std::int32_t totalUptime);

// The user and feedback files of one run of the program: read once at its start, written while
// the server runs and at its end. A file is written only when its bytes differ from what was last
// read or written; before the first write of the run, the files as they were read are kept
// beside them as "users.txt.bak" and "resfdbck.txt.bak" (a ".bak" that could not be written is
// tried again at the next save, still with the files as they were read).
class UserFiles {
 public:
  explicit UserFiles(std::string directory) : directory_(std::move(directory)) {}

  // As LoadUserData.
  UserFileReport Load(UserTable& users, FeedbackList& feedback, std::int32_t& totalUptime);
  // As SaveUserData, for the files that changed; a failed ".bak" is reported like its file.
  UserFileReport Save(const UserTable& users, const FeedbackList& feedback,
                      std::int32_t totalUptime);

 private:
  void KeepBackups(UserFileReport& report);

  std::string directory_;
  std::optional<std::string> usersRead_;
  std::optional<std::string> feedbackRead_;
  std::optional<std::string> usersOnDisk_;
  std::optional<std::string> feedbackOnDisk_;
  bool usersBackedUp_ = false;
  bool feedbackBackedUp_ = false;
};

// Replaces the file by the bytes through a temporary file in the same directory, synced before
// and after the rename. A symbolic link stays one: the file it leads to is replaced, through a
// temporary file beside it. ownerOnly: mode 0600, or the old file's mode if that is stricter;
// otherwise the old file's mode, or the default for new files. Throws UserFileError with the
// system's reason.
void ReplaceFileContents(const std::string& path, std::string_view bytes, bool ownerOnly);

// Removes the temporary files a save of "users.txt" or "resfdbck.txt" (or their ".bak") left
// behind when the program was killed during it; only while no other server uses the folder.
// Returns the paths removed.
std::vector<std::string> RemoveStaleTempFiles(const std::string& directory);

}  // namespace velora
