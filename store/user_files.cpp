// Loading and saving the user and feedback files, with their ".bak" and the operator's messages.
#include "store/user_files.h"

#include <sys/stat.h>

#include <exception>

#include "common/constants.h"
#include "store/feedback_format.h"
#include "store/users_format.h"
#include "store/whole_file.h"

namespace velora {

namespace {

std::string JoinPath(const std::string& directory, std::string_view name) {
  if (directory.empty()) return std::string(name);
  if (directory.back() == '/') return directory + std::string(name);
  return directory + "/" + std::string(name);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Writes one of the files; a failure is recorded in the report as the caller's rules say: a
// failed user file is a warning (the feedback is still written), a failed feedback file fatal.
bool WriteUserFile(UserFileReport& report, const std::string& directory, std::string_view name,
                   std::string_view bytes) {
  const bool users = name.starts_with(UsersFile);
  try {
    ReplaceFileContents(JoinPath(directory, name), bytes, users);
    return true;
  } catch (const std::exception& e) {
    report.failed.push_back(std::string(name) + ": " + e.what());
    if (users) {
      if (report.outcome != UserFileOutcome::Fatal) report.outcome = UserFileOutcome::Warning;
      report.boxes.push_back(std::string(SaveUsersErrorText) + " (" + report.failed.back() + ")");
    } else {
      report.outcome = UserFileOutcome::Fatal;
      report.boxes.push_back(std::string(SaveFeedbackErrorText) + e.what());
    }
    return false;
  }
}

}  // namespace

UserFileReport LoadUserData(const std::string& directory, UserTable& users, FeedbackList& feedback,
                            std::int32_t& totalUptime) {
  UserFileReport report;
  const std::string usersPath = JoinPath(directory, UsersFile);
  const bool usersExist = PathExists(usersPath);
  UserTable loadedUsers;
  std::int32_t loadedUptime = totalUptime;
  if (!usersExist) {
    report.outcome = UserFileOutcome::UsersMissing;
    report.eventLine = UsersFileMissingText;
  } else {
    const auto fail = [&](std::string_view detail) {
      report.outcome = UserFileOutcome::Fatal;
      report.boxes.push_back(std::string(LoadUsersErrorText) + " (" + std::string(UsersFile) +
                             std::string(detail) + ")");
      return report;
    };
    try {
      report.usersRead = ReadWholeFile(usersPath);
    } catch (const std::exception& e) {
      return fail(std::string(": ") + e.what());
    }
    try {
      ParseUsersFile(*report.usersRead, loadedUsers, loadedUptime);
    } catch (const std::exception& e) {
      return fail(std::string(", ") + e.what());
    }
  }

  const std::string feedbackPath = JoinPath(directory, FeedbackFile);
  const bool feedbackExists = PathExists(feedbackPath);
  FeedbackList loadedFeedback;
  if (feedbackExists) {
    try {
      report.feedbackRead = ReadWholeFile(feedbackPath);
      loadedFeedback = ParseFeedbackFile(*report.feedbackRead);
    } catch (const std::exception& e) {
      report.outcome = UserFileOutcome::Fatal;
      report.boxes.push_back(std::string(LoadFeedbackErrorText) + e.what());
      return report;
    }
  }

  users = std::move(loadedUsers);
  totalUptime = loadedUptime;
  if (feedbackExists) feedback = std::move(loadedFeedback);
  return report;
}

UserFileReport SaveUserData(const std::string& directory, const UserTable& users,
                            const FeedbackList& feedback, std::int32_t totalUptime) {
  UserFileReport report;
  WriteUserFile(report, directory, UsersFile, FormatUsersFile(users, totalUptime));
  WriteUserFile(report, directory, FeedbackFile, FormatFeedbackFile(feedback));
  return report;
}

UserFileReport UserFiles::Load(UserTable& users, FeedbackList& feedback,
                               std::int32_t& totalUptime) {
  UserFileReport report = LoadUserData(directory_, users, feedback, totalUptime);
  usersRead_ = usersOnDisk_ = report.usersRead;
  feedbackRead_ = feedbackOnDisk_ = report.feedbackRead;
  usersBackedUp_ = feedbackBackedUp_ = false;
  return report;
}

UserFileReport UserFiles::Save(const UserTable& users, const FeedbackList& feedback,
                               std::int32_t totalUptime) {
  UserFileReport report;
  const std::string usersBytes = FormatUsersFile(users, totalUptime);
  const std::string feedbackBytes = FormatFeedbackFile(feedback);
  const bool usersChanged = usersBytes != usersOnDisk_;
  const bool feedbackChanged = feedbackBytes != feedbackOnDisk_;
  if (usersChanged || feedbackChanged) KeepBackups(report);
  if (usersChanged && WriteUserFile(report, directory_, UsersFile, usersBytes)) {
    usersOnDisk_ = usersBytes;
  }
  if (feedbackChanged && WriteUserFile(report, directory_, FeedbackFile, feedbackBytes)) {
    feedbackOnDisk_ = feedbackBytes;
  }
  return report;
}

void UserFiles::KeepBackups(UserFileReport& report) {
  if (usersRead_ && !usersBackedUp_) {
    usersBackedUp_ =
        WriteUserFile(report, directory_, std::string(UsersFile) + ".bak", *usersRead_);
  }
  if (feedbackRead_ && !feedbackBackedUp_) {
    // The feedback is still written when its backup fails: only a warning.
    UserFileReport backup;
    feedbackBackedUp_ =
        WriteUserFile(backup, directory_, std::string(FeedbackFile) + ".bak", *feedbackRead_);
    if (!feedbackBackedUp_) {
      report.failed.push_back(backup.failed.back());
      report.boxes.push_back(std::string(SaveFeedbackErrorText) + " (" + backup.failed.back() +
                             ")");
      if (report.outcome != UserFileOutcome::Fatal) report.outcome = UserFileOutcome::Warning;
    }
  }
}

std::vector<std::string> RemoveStaleTempFiles(const std::string& directory) {
  std::vector<std::string> files;
  for (std::string_view name : {UsersFile, FeedbackFile}) {
    files.push_back(JoinPath(directory, std::string(name) + ".bak"));
    try {
      files.push_back(ResolveLinks(JoinPath(directory, name)));
    } catch (const UserFileError&) {
      files.push_back(JoinPath(directory, name));  // a link loop: its own folder at least
    }
  }
  std::vector<std::string> removed;
  for (const std::string& file : files) {
    for (std::string& path : RemoveTempFilesOf(file))
      removed.push_back(std::move(path));
  }
  return removed;
}

}  // namespace velora
