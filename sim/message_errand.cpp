// Writing messages through the menus of the default content.
#include "sim/message_errand.h"

#include "link/frame.h"

namespace velora {

namespace {

// The screen's rows joined by single blanks, whatever the line breaks.
std::string Words(const CalculatorEngine& engine) {
  std::string words;
  for (char c : engine.ScreenText()) {
    if (c == '\r' || c == '\n') c = ' ';
    if (c != ' ' || (!words.empty() && words.back() != ' ')) words += c;
  }
  return words;
}

bool Has(const std::string& words, std::string_view part) {
  return words.find(part) != std::string::npos;
}

}  // namespace

MessageErrand::MessageErrand(std::string sender, std::vector<std::string> recipients, double chance,
                             std::uint32_t seed)
    : sender_(std::move(sender)),
      recipients_(std::move(recipients)),
      chance_(chance),
      random_(seed) {}

int MessageErrand::ConfirmedCount() const {
  int n = 0;
  for (const Message& m : messages_)
    n += m.confirmed ? 1 : 0;
  return n;
}

bool MessageErrand::Choose(CalculatorEngine& engine, std::string_view caption) {
  for (int row = 1; row < 8; ++row) {
    const std::string line = engine.ScreenRow(row);
    if (line.size() > 2 && line.compare(2, caption.size(), caption) == 0) {
      engine.KeyPress(line[0]);
      return true;
    }
  }
  return false;
}

bool MessageErrand::Answer(CalculatorEngine& engine) {
  const int expected = engine.SimExpectedReply();
  const std::string words = Words(engine);
  const bool menu = expected == KindMenuReply;
  const bool input = expected == KindInputReply;
  const bool mainMenu = menu && engine.ScreenRow(0).rfind("Hauptmen", 0) == 0;

  // Received messages stay where they are.
  if (menu && Has(engine.ScreenRow(0), "schen?")) return Choose(engine, "Nein");
  // A new visit: whatever was underway belonged to the session before.
  if (input && Has(words, "Willkommen")) {
    step_ = Step::Idle;
    return false;
  }

  switch (step_) {
    case Step::Idle: {
      if (!mainMenu || recipients_.empty()) return false;
      if (std::uniform_real_distribution<double>(0.0, 1.0)(random_) >= chance_) return false;
      draft_ = Message{};
      draft_.recipient = recipients_[random_() % recipients_.size()];
      draft_.text = sender_ + " Nr " + std::to_string(++serial_);
      step_ = Step::Writing;
      return Choose(engine, "Nachrichten");
    }
    case Step::Writing:
      if (mainMenu) return Choose(engine, "Nachrichten");
      if (menu) {
        if (Choose(engine, "Schreiben")) return true;
        engine.KeyPress('0');  // to the main menu
        return true;
      }
      if (input && Has(words, "An wen")) {
        engine.SubmitInput(false, draft_.recipient);
        return true;
      }
      if (input && Has(words, "Dein Text")) {
        engine.SubmitInput(false, draft_.text);
        draft_.submissions = 1;
        sentOnScreen_ = engine.ScreenSerial();
        messages_.push_back(draft_);
        step_ = Step::Sent;
        return true;
      }
      return false;
    case Step::Sent: {
      Message& sent = messages_.back();
      if (expected == KindTextReply && (Has(words, "an " + sent.recipient + " versendet.") ||
                                        Has(words, sent.recipient + " ist nicht online."))) {
        sent.confirmed = true;
        step_ = Step::Idle;
        engine.KeyPress('5');
        return true;
      }
      // Nothing seemed to happen: the same text once more on the same screen.
      if (engine.ScreenSerial() == sentOnScreen_) {
        engine.SubmitInput(false, sent.text);
        ++sent.submissions;
        return true;
      }
      // Another screen without the confirmation (it may have been shown over at once, by a
      // notice): the message's fate is unknown, and the user goes on with other things.
      if (menu || input) {
        step_ = Step::Idle;
        return Answer(engine);
      }
      return false;
    }
  }
  return false;
}

}  // namespace velora
