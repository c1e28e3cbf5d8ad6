// Program start and end.
#include "bus/lifecycle.h"

namespace velora {

Lifecycle::Lifecycle(Server& server, OperatorUi& ui, SettingsBackend& backend,
                     SettingsStore::PortLister listPorts, std::string workDir)
    : server_(server),
      ui_(ui),
      workDir_(std::move(workDir)),
      edited_(server.Settings()),
      // The settings applied at use go straight to the server's record, the copied ones only
      // through SetUpVars.
      form_(edited_, server.SettingsAtUse()),
      store_(backend, form_, std::move(listPorts)),
      files_(workDir_) {
  server_.SetSaveHandler([this] { return SaveWhileRunning(); });
}

Lifecycle::~Lifecycle() {
  // The server may outlive this object (a test, a program that ends without its end save).
  server_.SetSaveHandler({});
}

bool Lifecycle::Report(const UserFileReport& report) {
  if (!report.eventLine.empty()) ui_.EventLine(report.eventLine);
  for (const std::string& box : report.boxes)
    ui_.ShowMessage(box);
  return report.outcome != UserFileOutcome::Fatal;
}

bool Lifecycle::Load(std::uint32_t seed) {
  if (!LoadFiles(seed)) return false;
  if (const SettingsFailure failure = LoadSettings())
    ui_.ShowMessage("Ausnahmefehler abgefangen:\r\n" + *failure);
  return true;
}

bool Lifecycle::LoadFiles(std::uint32_t seed) {
  std::string error;
  if (!lock_.Acquire(workDir_, error)) {
    ui_.ShowMessage(error);
    return false;
  }
  // Only now: without the lock they could belong to a save in progress.
  for (const std::string& path : RemoveStaleTempFiles(workDir_))
    ui_.EventLine("Reste eines abgebrochenen Speicherns entfernt: " + path);
  UserTable users;
  FeedbackList feedback;
  std::int32_t totalUptime = 0;
  const UserFileReport report = files_.Load(users, feedback, totalUptime);
  usersFound_ = report.outcome != UserFileOutcome::UsersMissing;
  if (!Report(report)) return false;
  server_.Restore(std::move(users), std::move(feedback), totalUptime);
  server_.SeedRandom(seed);
  return true;
}

SettingsFailure Lifecycle::LoadSettings() {
  SettingsFailure failure = store_.Load();
  if (!failure) server_.ApplyCopiedSettings(edited_);
  return failure;
}

SettingsFailure Lifecycle::CloseSettings() {
  SettingsFailure failure = store_.Save();
  if (!failure) server_.ApplyCopiedSettings(edited_);
  return failure;
}

void Lifecycle::AddTransientAccount(Tuserdata account) {
  transient_.insert(account.Name);
  server_.AddAccount(std::move(account));
}

UserFileReport Lifecycle::SaveFiles() {
  UserTable kept;
  for (const Tuserdata& user : server_.Users()) {
    if (!transient_.count(user.Name)) kept.push_back(user);
  }
  UserFileReport report = files_.Save(kept, server_.Feedback(), server_.TotalUptime());
  if (report.failed.empty()) lastSave_ = server_.LocalNow();
  server_.CountSave(report.failed.empty());
  return report;
}

SaveResult Lifecycle::Save() {
  const UserFileReport report = SaveFiles();
  Report(report);
  return SaveResult{report.failed};
}

bool Lifecycle::SaveWhileRunning() {
  const UserFileReport report = SaveFiles();
  if (report.failed.empty()) {
    saveFailureShown_ = false;
    lastSaveFailure_.clear();
    return true;
  }
  // Tried again every few seconds: the same reason is not logged again each time.
  if (report.failed != lastSaveFailure_) {
    for (const std::string& failed : report.failed)
      server_.LogLine("NOTE : saving failed: " + failed);
    lastSaveFailure_ = report.failed;
  }
  if (saveFailureShown_) return false;
  saveFailureShown_ = true;
  for (const std::string& box : report.boxes)
    ui_.ShowMessage(box);
  return false;
}

}  // namespace velora
