// The scripted user's choices.
#include "sim/scripted_user.h"

#include <vector>

#include "common/text.h"
#include "link/frame.h"

namespace velora {

ScriptedUser::ScriptedUser(CalculatorEngine& engine, std::string password, std::uint32_t seed)
    : engine_(engine), password_(std::move(password)), random_(seed) {}

bool ScriptedUser::ScreenContains(std::string_view word) const {
  return AsciiLower(engine_.ScreenText()).find(word) != std::string::npos;
}

bool ScriptedUser::Act() {
  if (!engine_.Registered()) {
    if (engine_.ConnectRequested()) return false;
    engine_.Connect();
    return true;
  }
  // A key typed before the screen's acknowledgement went out would replace it.
  if (!ScreenPending() || engine_.PendingKind() != KindNothing) return false;
  answeredSerial_ = engine_.ScreenSerial();
  repeat_ = false;

  switch (engine_.SimExpectedReply()) {
    case KindInputReply:
      if (ScreenContains("wort")) {  // Passwort, Paßwort
        engine_.SubmitInput(false, password_);
        ++logins;
      } else {
        engine_.SubmitInput(true, "");
      }
      return true;
    case KindMenuReply: {
      std::vector<int> items;
      for (int row = 1; row < 8; ++row) {
        const std::string line = AsciiLower(engine_.ScreenRow(row));
        if (line.size() < 2 || line[0] < '1' || line[0] > '7' || line[1] != ' ') continue;
        if (line.find("abmeld") != std::string::npos || line.find("logout") != std::string::npos) {
          continue;  // browsing, not leaving
        }
        items.push_back(line[0] - '0');
      }
      const int choice = items.empty() ? 0 : items[random_() % items.size()];
      engine_.KeyPress(static_cast<char>('0' + choice));
      ++menuChoices;
      return true;
    }
    case KindTextReply:
      engine_.KeyPress('5');  // any key other than paging continues
      ++pagesRead;
      return true;
    default:
      engine_.KeyPress('0');
      return true;
  }
}

}  // namespace velora
