// The POP3 client component the e-mail service drives: set the properties, start a request;
// OnListLine fires once per listed message, OnMessageLine once per line of a retrieved message
// (header lines, an empty line, body lines), and OnRequestDone reports the end of each request
// (0 for success, 500 for any failure, with LastResponse() saying what happened). Starting a
// request that cannot run throws MailError.
#pragma once

#include <functional>
#include <string>

#include "mail/mail_conversation.h"
#include "mail/pop3_engine.h"

namespace velora {

class Pop3Client : public Pop3Properties, public MailConversation {
 public:
  explicit Pop3Client(const MailPorts& ports);

  // Connect to Host (see ParseMailHost) and Port, greeting, USER, PASS.
  void Open();
  void User();
  void Pass();
  void Status();
  // LIST, or LIST MsgNum when MsgNum is above 0. Sets MsgNum and MsgSize for each listed message.
  void List();
  // RETR MsgNum.
  void Retrieve();
  void Quit();

  int MsgCount() const { return engine_.MsgCount(); }
  int MsgSize() const { return msgSize_; }
  Pop3State State() const { return engine_.State(); }
  const std::string& TimeStamp() const { return engine_.TimeStamp(); }

  std::function<void(Pop3Request request, int error)> OnRequestDone;
  std::function<void(int msgNum, int msgSize)> OnListLine;
  std::function<void(const std::string& line)> OnMessageLine;

 protected:
  void Deliver(const MailOutput& event) override;

 private:
  Pop3Engine engine_;
  int msgSize_ = 0;
};

}  // namespace velora
