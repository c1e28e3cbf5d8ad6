// The operator's program put together.
#include "gui/operator_program.h"

namespace velora {

OperatorProgram::OperatorProgram(SettingsBackend& backend, SettingsStore::PortLister listPorts,
                                 std::string workDir)
    : server_(world_.Build(ui_, workDir, {.simulator = true})),
      window_(std::make_unique<TForm1>(*server_, ui_, *world_.Simulator(), backend,
                                       std::move(listPorts), workDir)) {}

}  // namespace velora
