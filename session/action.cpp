// Lookup of action ids.
#include "session/action.h"

#include "common/text.h"
#include "session/service_table.h"

namespace velora {

int FindActionNumber(std::string_view id) {
  for (int i = 1; i < ActionCount; ++i) {
    if (ServiceTable[i].id == id) return i;
  }
  return -1;
}

TAction ParseAction(std::uint8_t key, std::string_view text, LogSink& log) {
  TAction action;
  action.Key = key;
  action.Target = AsciiLower(text);
  if (action.Target.substr(0, 2) != "id") {
    action.Number = ActionLoadFile;
    return action;
  }
  const int number = FindActionNumber(std::string_view(action.Target).substr(2, ActionIdMaxLength));
  if (number < 0) {
    log.Log("Unbekannte ID " + action.Target + " im Content-File gefunden.");
    action.Number = ActionUnknown;
    return action;
  }
  action.Number = static_cast<std::uint8_t>(number);
  return action;
}

}  // namespace velora
