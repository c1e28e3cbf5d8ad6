// The scripted user's choices.
#include "sim/scripted_user.h"

#include <vector>

#include "common/text.h"
#include "link/frame.h"

namespace velora {

namespace {

bool IsLogoutItem(const std::string& lowerLine) {
  return lowerLine.find("abmeld") != std::string::npos ||
         lowerLine.find("logout") != std::string::npos;
}

}  // namespace

ScriptedUser::ScriptedUser(CalculatorEngine& engine, std::string password, std::uint32_t seed)
    : engine_(engine), password_(std::move(password)), random_(seed) {}

bool ScriptedUser::ScreenContains(std::string_view word) const {
  return AsciiLower(engine_.ScreenText()).find(word) != std::string::npos;
}

void ScriptedUser::BeginVisit(int menuChoicesBeforeLeaving) {
  leaveAfter_ = menuChoicesBeforeLeaving;
  choicesThisVisit_ = 0;
  loggedIn_ = false;
  leftThisVisit_ = false;
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
  if (errand && errand(engine_)) return true;

  switch (engine_.SimExpectedReply()) {
    case KindInputReply:
      // The first password prompt of a visit is the login (Passwort, Paßwort); later ones
      // (changing it, a dictionary word) are left.
      if (ScreenContains("wort") && (!loggedIn_ || answeredSerial_ == loginScreen_)) {
        engine_.SubmitInput(false, password_);
        if (!loggedIn_) ++logins;
        loggedIn_ = true;
        loginScreen_ = answeredSerial_;
      } else {
        engine_.SubmitInput(true, "");
      }
      return true;
    case KindMenuReply:
      ChooseMenuItem();
      return true;
    case KindTextReply:
      engine_.KeyPress('5');  // any key other than paging continues
      ++pagesRead;
      return true;
    default:
      engine_.KeyPress('0');
      return true;
  }
}

void ScriptedUser::ChooseMenuItem() {
  // Time to go: the logout item, or back up towards the menu that has it.
  const bool leaving = leaveAfter_ > 0 && choicesThisVisit_ >= leaveAfter_;
  std::vector<int> items;
  int back = 0;
  for (int row = 1; row < 8; ++row) {
    const std::string line = AsciiLower(engine_.ScreenRow(row));
    if (line.size() < 2 || line[0] < '1' || line[0] > '7' || line[1] != ' ') continue;
    if (IsLogoutItem(line)) {
      if (!leaving) continue;  // browsing, not leaving
      engine_.KeyPress(line[0]);
      if (!leftThisVisit_) ++logouts;
      leftThisVisit_ = true;
      return;
    }
    if (line.compare(2, 3, "zur") == 0) back = line[0] - '0';
    items.push_back(line[0] - '0');
  }
  int choice = items.empty() ? 0 : items[random_() % items.size()];
  if (leaving && back != 0) choice = back;
  engine_.KeyPress(static_cast<char>('0' + choice));
  ++menuChoices;
  ++choicesThisVisit_;
}

}  // namespace velora
