// Drives a mail engine directly: the server's replies are given in advance, one group per wait of
// the client, and the whole exchange is written down as a transcript ("C: " client, "S: " server,
// "(connect)", "(close)", "(done R E)", "(list N S)", "(line L)").
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "mail/mail_engine.h"

namespace velora::testing {

template <class Engine>
class MailDialog {
 public:
  template <class... Args>
  explicit MailDialog(Args&&... args) : engine(std::forward<Args>(args)...) {}

  // Carries out the outputs; while the client waits and replies are left, the next group answers.
  void Run() {
    for (;;) {
      if (Collect()) {
        engine.Connected();
        continue;
      }
      if (engine.Awaiting().empty() || replies.empty()) return;
      const std::vector<std::string> group = replies.front();
      replies.pop_front();
      for (const std::string& line : group) {
        transcript.push_back("S: " + line);
        engine.ReceiveLine(line);
        if (&line != &group.back()) Collect();
      }
    }
  }

  // Writes the outputs down; true when the engine asked for the connection.
  bool Collect() {
    bool connect = false;
    for (const MailOutput& output : engine.TakeOutputs()) {
      switch (output.kind) {
        case MailOutput::Kind::Connect:
          transcript.push_back("(connect)");
          connect = true;
          break;
        case MailOutput::Kind::Send:
          transcript.push_back("C: " + output.line);
          break;
        case MailOutput::Kind::Close:
          transcript.push_back("(close)");
          break;
        case MailOutput::Kind::ListLine:
          transcript.push_back("(list " + std::to_string(output.msgNum) + " " +
                               std::to_string(output.msgSize) + ")");
          break;
        case MailOutput::Kind::MessageLine:
          transcript.push_back("(line " + output.line + ")");
          break;
        case MailOutput::Kind::Done:
          transcript.push_back("(done " + std::to_string(output.request) + " " +
                               std::to_string(output.error) + ")");
          done.push_back(output);
          break;
      }
    }
    return connect;
  }

  // The lines the client sent, without the transcript's other entries.
  std::vector<std::string> Sent() const {
    std::vector<std::string> sent;
    for (const std::string& entry : transcript) {
      if (entry.starts_with("C: ")) sent.push_back(entry.substr(3));
    }
    return sent;
  }

  Engine engine;
  std::deque<std::vector<std::string>> replies;
  std::vector<std::string> transcript;
  std::vector<MailOutput> done;
};

}  // namespace velora::testing
