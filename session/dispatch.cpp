// TProcess dispatch: parsing action texts, running actions, input values and server errors.
#include "common/cp1252.h"
#include "common/text.h"
#include "session/process.h"
#include "session/services.h"

namespace velora {

namespace {

void MenuMain(TProcess& session, const TAction&) {
  session.ShowMainMenu();
}

void JumpToPage(TProcess& session, const TAction&) {
  session.JumpToPage();
}

std::array<ActionHandler, ActionCount> MakeHandlers() {
  std::array<ActionHandler, ActionCount> handlers{};
  handlers[ActionLogin] = Login;
  handlers[ActionLogout] = Logout;
  handlers[ActionMenuMain] = MenuMain;
  handlers[ActionJumpToPage] = JumpToPage;
  return handlers;
}

}  // namespace

const std::array<ActionHandler, ActionCount>& ActionHandlers() {
  static const std::array<ActionHandler, ActionCount> handlers = MakeHandlers();
  return handlers;
}

TAction TProcess::ParseAction(std::uint8_t key, std::string_view text) {
  TAction action;
  action.Key = key;
  action.Target = AsciiLower(text);
  if (action.Target.substr(0, 2) != "id") {
    action.Number = ActionLoadFile;
    return action;
  }
  const int number = FindActionNumber(std::string_view(action.Target).substr(2, ActionIdMaxLength));
  if (number < 0) {
    LogText("Unbekannte ID " + action.Target + " im Content-File gefunden.");
    action.Number = ActionUnknown;
    return action;
  }
  action.Number = static_cast<std::uint8_t>(number);
  return action;
}

void TProcess::PerformAction(TAction action) {
  if (action.Number == ActionLoadFile) {
    LoadContentFile(action.Target);
    return;
  }
  if (action.Number == ActionUnknown) {
    ServerError("Unbekannte Aktion " + action.Target);
    return;
  }
  const ActionHandler handler =
      action.Number < ActionCount ? ActionHandlers()[action.Number] : nullptr;
  if (handler == nullptr) {
    ServerError("Diese Aktion wird noch nicht unterstützt."_cp);
    return;
  }
  handler(*this, action);
}

void TProcess::SetInputValue(std::string_view value) {
  inputs_.Put(inputName_, value);
}

void TProcess::PutInputValue(std::string_view name, std::string_view value) {
  inputs_.Put(name, value);
}

std::string TProcess::GetInputValue(std::string_view name) {
  return inputs_.Get(name);
}

void TProcess::ServerError(std::string_view message) {
  LogText("SERVER-ERR:" + std::string(message));
  pageActions_.assign(1, ParseAction(0, "IDmenumain"));
  ShowTextScreen(WrapText("Fehler im Server " + std::string(message)));
}

void TProcess::LogText(std::string_view text) {
  ctx_.log.Log(text);
}

}  // namespace velora
