// What a session reaches of program-wide state; handed to it at creation, never global.
#pragma once

#include "common/ports.h"
#include "common/random.h"
#include "common/records.h"
#include "mail/mail_conversation.h"
#include "session/service.h"
#include "settings/server_settings.h"

namespace velora {

// No other sessions: a session alone (tests, tools) notifies and kicks nobody.
SessionDirectory& NoSessionDirectory();

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
  // What the mail services need; null where the program offers no mail (they say so).
  const MailPorts* mail = nullptr;
  SessionCommands* commands = nullptr;
};

}  // namespace velora
