// A scripted user's errand of writing messages: now and then, on the main menu, the user sets out
// to write another user a message through the menus of the default content (messages, write,
// recipient, text) and keeps a record of each text sent and whether the server's confirmation
// screen was seen. Such a user keeps the messages it receives (it never confirms a deletion).
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sim/calculator_engine.h"

namespace velora {

class MessageErrand {
 public:
  struct Message {
    std::string recipient;  // as typed, upper case
    std::string text;       // unique: the sender's name and a serial number
    int submissions = 0;    // the text sent again when nothing seemed to happen
    bool confirmed = false;
  };

  // chance: of setting out to write on each main menu shown. Recipients other than the sender.
  MessageErrand(std::string sender, std::vector<std::string> recipients, double chance,
                std::uint32_t seed);

  // For ScriptedUser::errand: answers the screen on display and returns true, or returns false to
  // leave it to browsing.
  bool Answer(CalculatorEngine& engine);

  // Every message whose text was sent at least once, oldest first.
  const std::vector<Message>& Messages() const { return messages_; }
  int ConfirmedCount() const;

 private:
  enum class Step { Idle, Writing, Sent };
  static bool Choose(CalculatorEngine& engine, std::string_view caption);

  std::string sender_;
  std::vector<std::string> recipients_;
  double chance_;
  std::mt19937 random_;
  Step step_ = Step::Idle;
  Message draft_;
  int serial_ = 0;
  std::uint32_t sentOnScreen_ = 0;
  std::vector<Message> messages_;
};

}  // namespace velora
