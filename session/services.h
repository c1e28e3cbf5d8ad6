// The services behind the action table. A service is a function of the session and the action
// that started it; offering a new one is writing it and entering it in ActionHandlers.
#pragma once

#include <array>

#include "session/action.h"
#include "session/service.h"

namespace velora {

using ActionHandler = void (*)(ServiceSession& session, const TAction& action);

// The handler of each action number 1..28; null for a service not offered yet. Number 0 (load a
// content file) belongs to the session's own page handling.
const std::array<ActionHandler, ActionCount>& ActionHandlers();

// Accounts.
void Login(ServiceSession& session, const TAction& action);
void Logout(ServiceSession& session, const TAction& action);

}  // namespace velora
