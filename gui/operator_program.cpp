// The operator's program put together.
#include "gui/operator_program.h"

#include "common/cp1252.h"

namespace velora {

OperatorProgram::OperatorProgram(SettingsBackend& backend, SettingsStore::PortLister listPorts,
                                 std::string workDir)
    : server_(world_.Build(ui_, workDir, {.simulator = true})),
      window_(std::make_unique<TForm1>(*server_, ui_, *world_.Simulator(), backend,
                                       std::move(listPorts), workDir)) {
  server_->SetSettingsHandler(
      [this](const ServerSettings& settings) { FollowStatusAddress(settings); });
}

OperatorProgram::~OperatorProgram() {
  server_->SetSettingsHandler({});
}

void OperatorProgram::FollowStatusAddress(const ServerSettings& settings) {
  if (settings.HttpStatusAddress == statusAddress_) return;
  statusAddress_ = settings.HttpStatusAddress;
  statusServer_.Close();
  if (statusAddress_.empty()) return;
  std::string error;
  if (statusServer_.Listen(statusAddress_, error)) {
    ui_.EventLine("Statusseite: " + statusServer_.Url());
  } else {
    std::string text;
    text += "Statusseite nicht verfügbar: "_cp;
    ui_.ShowMessage(text + error);
  }
}

}  // namespace velora
