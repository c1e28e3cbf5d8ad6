// Loading and saving "users.txt" and "resfdbck.txt" in the working directory: what the operator
// is told when that fails, and the ".bak" of the files as they were before a run's first write.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/records.h"

namespace velora {

inline constexpr std::string_view UsersFileMissingText = "\"users.txt\" not found.";
inline constexpr std::string_view LoadUsersErrorText = "Exception on loading user data";
inline constexpr std::string_view LoadFeedbackErrorText = "Exception on loading feedback";
inline constexpr std::string_view SaveUsersErrorText = "Exception on writing user data";
inline constexpr std::string_view SaveFeedbackErrorText = "Exception on writing feedback";

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

// Removes the temporary files a save of "users.txt" or "resfdbck.txt" (or their ".bak") left
// behind when the program was killed during it; only while no other server uses the folder.
// Returns the paths removed.
std::vector<std::string> RemoveStaleTempFiles(const std::string& directory);

}  // namespace velora
