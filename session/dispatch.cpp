// TProcess dispatch: running actions, input values, server errors and message screens.
#include "common/cp1252.h"
#include "session/process.h"
#include "session/service_table.h"

namespace velora {

TAction TProcess::ParseAction(std::uint8_t key, std::string_view text) {
  return velora::ParseAction(key, text, ctx_.log);
}

namespace {

// What the login page and the refusal screens may do before login.
bool AllowedBeforeLogin(const TAction& action) {
  return action.Number == ActionLogin || action.Number == ActionLogout ||
         (action.Number == ActionLoadFile && IsLoginPage(action.Target));
}

}  // namespace

void TProcess::PerformAction(TAction action) {
  if (LoginPending() && !AllowedBeforeLogin(action)) {
    ShowEntryScreen();
    return;
  }
  if (action.Number == ActionLoadFile) {
    LoadContentFile(action.Target);
    return;
  }
  if (action.Number == ActionUnknown) {
    ServerError("Unbekannte Aktion " + action.Target);
    return;
  }
  const ActionHandler handler =
      action.Number < ActionCount ? ServiceTable[action.Number].handler.function : nullptr;
  if (handler == nullptr) {
    ServerError("Diese Aktion wird noch nicht unterstützt."_cp);
    return;
  }
  handler(*this, action);
}

void TProcess::SetInputValue(std::string_view value) {
  inputs_.Put(screens_.InputName(), value);
}

void TProcess::PutInputValue(std::string_view name, std::string_view value) {
  inputs_.Put(name, value);
}

std::string TProcess::GetInputValue(std::string_view name) {
  return inputs_.Get(name);
}

void TProcess::ShowMessageScreen(std::string_view text, std::string_view action) {
  screens_.ShowMessageScreen(text, action);
}

void TProcess::ServerError(std::string_view message) {
  screens_.ServerError(message);
}

void TProcess::OpenLongMenu(std::string_view title, std::vector<TLMenuItem> items) {
  screens_.OpenLongMenu(title, std::move(items));
}

void TProcess::LogText(std::string_view text) {
  ctx_.log.Log(text);
}

}  // namespace velora
