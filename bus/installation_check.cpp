// The check of an installation, as a start would read it.
#include "bus/installation_check.h"

#include <unistd.h>

#include <filesystem>

#include "common/constants.h"
#include "settings/settings_form.h"
#include "store/feedback_format.h"
#include "store/users_format.h"
#include "store/whole_file.h"

namespace velora {

namespace {

std::string InFolder(const std::string& folder, std::string_view name) {
  if (folder.empty() || folder == ".") return std::string(name);
  return folder + (folder.back() == '/' ? "" : "/") + std::string(name);
}

void CheckUsers(const std::string& workDir, InstallationReport& report) {
  const std::string file(UsersFile);
  const std::string path = InFolder(workDir, file);
  std::error_code ec;
  report.usersFound = std::filesystem::exists(path, ec);
  if (!report.usersFound) {
    report.notes.push_back(file + " not found: the server starts without accounts");
    return;
  }
  UserTable users;
  std::int32_t uptime = 0;
  try {
    ParseUsersFile(ReadWholeFile(path), users, uptime);
  } catch (const UserFileError& e) {
    report.problems.push_back({file, e.Line(), e.Reason()});
    return;
  }
  report.accounts = users.size();
  for (const Tuserdata& user : users) {
    report.administrators += user.IsAdmin ? 1 : 0;
    report.storedMessages += user.Messages.size();
  }
  if (report.administrators == 0) {
    report.notes.push_back("no administrator: nobody can add accounts from a calculator");
  }
}

void CheckFeedback(const std::string& workDir, InstallationReport& report) {
  const std::string file(FeedbackFile);
  const std::string path = InFolder(workDir, file);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return;
  try {
    report.feedback = ParseFeedbackFile(ReadWholeFile(path)).size();
  } catch (const UserFileError& e) {
    report.problems.push_back({file, e.Line(), e.Reason()});
  }
}

}  // namespace

InstallationReport CheckInstallation(SettingsBackend& backend, SettingsStore::PortLister listPorts,
                                     const std::string& workDir, const std::string& settingsName) {
  InstallationReport report;
  {
    SettingsForm form(report.settings);
    SettingsStore store(backend, form, std::move(listPorts));
    if (const SettingsFailure failure = store.Load()) {
      report.problems.push_back({settingsName, 0, *failure});
    }
  }
  // The log and both files are written here.
  if (::access(workDir.c_str(), W_OK) != 0) {
    report.problems.push_back(
        {"", 0, "the working folder " + workDir + " is not writable for this user"});
  }
  CheckUsers(workDir, report);
  CheckFeedback(workDir, report);

  report.contentFolder = report.settings.ContentDir;
  if (!report.contentFolder.empty() && report.contentFolder.back() != '/') {
    report.problems.push_back({settingsName, 0,
                               "the content folder " + report.contentFolder +
                                   " must end in /: the server appends the page names to it"});
  }
  const bool relative = report.contentFolder.empty() || report.contentFolder.front() != '/';
  const ContentReport content =
      CheckContent(relative ? InFolder(workDir, report.contentFolder) : report.contentFolder);
  report.pages = content.pages;
  for (const ContentProblem& problem : content.problems) {
    ContentProblem named = problem;
    if (!named.file.empty()) named.file = report.contentFolder + named.file;
    report.problems.push_back(std::move(named));
  }
  return report;
}

}  // namespace velora
