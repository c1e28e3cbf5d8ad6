// What a session reaches of program-wide state; handed to it at creation, never global.
#pragma once

#include <cstdint>

#include "common/ports.h"
#include "common/random.h"
#include "common/records.h"
#include "mail/mail_conversation.h"
#include "session/service.h"
#include "settings/server_settings.h"

namespace velora {

// No other sessions: a session alone (tests, tools) notifies and kicks nobody.
SessionDirectory& NoSessionDirectory();

// Counts the changes of the user table and the feedback list, so that the server saves them soon.
class ChangeCounter {
 public:
  void Mark() { ++count_; }
  std::uint64_t Count() const { return count_; }

 private:
  std::uint64_t count_ = 0;
};

// What the services have done since the server started, for the operator's status line.
struct ServiceCounts {
  std::uint64_t messages = 0;         // messages from user to user
  std::uint64_t mailsSent = 0;        // e-mails sent
  std::uint64_t mailsSentFailed = 0;  // sending conversations that failed
  std::uint64_t mailsFetched = 0;     // each e-mail fetched
  std::uint64_t fetchesFailed = 0;    // fetching conversations that failed
  std::uint64_t MailsHandled() const { return mailsSent + mailsFetched; }
};

enum class MailKind { Sent, Fetched };

// Every member refers to state owned by the server and outliving its sessions. Settings are read
// at each use, so a change in the configuration dialog applies to the next screen.
struct SessionContext {
  const ServerSettings& settings;
  LogSink& log;
  Clock& clock;
  Random& random;
  UserTable& users;
  FeedbackList& feedback;
  SessionDirectory& directory = NoSessionDirectory();
  ChangeCounter* changes = nullptr;  // none: nothing is saved (a session alone)
  ServiceCounts* counts = nullptr;   // none: nothing is counted
  // What the mail services need; null where the program offers no mail (they say so).
  const MailPorts* mail = nullptr;
  SessionCommands* commands = nullptr;

  // A service that changed an account, a message or the feedback calls this, so that the files
  // reach the disk within a few seconds and not only at the end of the run.
  void MarkChanged() const {
    if (changes != nullptr) changes->Mark();
  }
  void CountMessage() const {
    if (counts != nullptr) ++counts->messages;
  }
  void CountMail(MailKind kind, bool ok) const {
    if (counts == nullptr) return;
    if (kind == MailKind::Sent) {
      ++(ok ? counts->mailsSent : counts->mailsSentFailed);
    } else {
      ++(ok ? counts->mailsFetched : counts->fetchesFailed);
    }
  }
};

}  // namespace velora
