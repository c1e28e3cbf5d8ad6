// The SMTP client component the e-mail service drives: set the properties, start a request, and
// OnRequestDone reports its end with the request and an error code (0 for success; otherwise the
// reply code, or 500 for a local failure, a lost connection or a time-out, with LastResponse()
// saying what happened). Starting a request that cannot run throws MailError.
#pragma once

#include <functional>

#include "mail/mail_conversation.h"
#include "mail/smtp_engine.h"

namespace velora {

class SmtpClient : public SmtpProperties, public MailConversation {
 public:
  explicit SmtpClient(const MailPorts& ports);

  // Connect to Host (see ParseMailHost) and Port, greeting, then EHLO and AUTH LOGIN when
  // AuthType asks for it, else HELO.
  void Open();
  void Auth();
  // MAIL FROM, RCPT TO, DATA with the header block (dated now) and MailMessage.
  void Mail();
  void Quit();

  bool Connected() const { return engine_.IsConnected(); }

  std::function<void(SmtpRequest request, int error)> OnRequestDone;

 protected:
  void Deliver(const MailOutput& event) override;

 private:
  SmtpEngine engine_;
};

}  // namespace velora
