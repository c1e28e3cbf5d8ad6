// TAction, the action numbers and the parsing of an action text. The ids and handlers of the
// numbers are in the service table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/ports.h"

namespace velora {

// Action numbers: 0 loads a content file, 1 to 28 run a service.
enum ActionNumber : std::uint8_t {
  ActionLoadFile = 0,
  ActionSendMail = 1,
  ActionGetMail = 2,
  ActionSendSms = 3,
  ActionInbox = 4,
  ActionMotd = 5,
  ActionShowMail = 6,
  ActionSendMessage = 7,
  ActionListMessages = 8,
  ActionShowMessage = 9,
  ActionLogin = 10,
  ActionLogout = 11,
  ActionTime = 12,
  ActionTransDe = 13,
  ActionTransEd = 14,
  ActionMsgDelete = 15,
  ActionMsgReply = 16,
  ActionMailReply = 17,
  ActionMailNext = 18,
  ActionMenuMain = 19,
  ActionKickUser = 20,
  ActionCreateUser = 21,
  ActionListUsers = 22,
  ActionEditUser = 23,
  ActionJumpToPage = 24,
  ActionListFeedback = 25,
  ActionShowFeedback = 26,
  ActionSaveFeedback = 27,
  ActionChangePasswd = 28,
  // An "ID" text whose id is not in the table; Target keeps the text so the error can name it.
  ActionUnknown = 255,
};

// Only this many characters after "ID" take part in the lookup.
inline constexpr std::size_t ActionIdMaxLength = 50;

struct TAction {
  std::uint8_t Key = 0;  // selection code of the entry carrying the action; not read by dispatch
  std::uint8_t Number = ActionLoadFile;
  std::string Target;      // the lower-cased action text; the file to load for number 0
  std::int32_t Param = 0;  // index of the list entry behind a service's menu item
};

// The number of a lower-case id, or -1 when the table has none.
int FindActionNumber(std::string_view id);

// An action text of a content file or a service: a file name, or "ID" and a service's id (any
// case). An unknown id is logged and gives ActionUnknown.
TAction ParseAction(std::uint8_t key, std::string_view text, LogSink& log);

}  // namespace velora
