// Runs a mail engine over a line connection: carries out its outputs, feeds it the connection's
// events and watches every wait for the server with a time-out, and the whole conversation, from
// the connection to its end, with a deadline. The caller's events are delivered
// as callbacks, never inside the call that starts a request, never after Close() or destruction;
// the conversation may be closed or destroyed from inside any of them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/ports.h"
#include "mail/mail_engine.h"
#include "mail/mail_host.h"

namespace velora {

// What a mail conversation needs of the world.
struct MailPorts {
  LineConnectionFactory& connections;
  OneShotTimerFactory& timers;
  Clock& clock;
  std::string localHostName;   // sent with EHLO and HELO
  int replyTimeoutMs = 30000;  // for the connection, the greeting and every reply
  // From the connection on: a server that sends a byte now and then cannot hold a user for ever.
  int conversationDeadlineMs = 120000;
};

class MailConversation {
 public:
  MailConversation(const MailPorts& ports, MailEngine& engine, MailProtocol protocol);
  virtual ~MailConversation();
  MailConversation(const MailConversation&) = delete;
  MailConversation& operator=(const MailConversation&) = delete;

  // Drops the connection and a running request at once; no event follows. A new request may
  // start afterwards.
  void Close();
  // A request runs or its end has not been delivered yet.
  bool Busy() const { return engine_.Busy() || !pending_.empty(); }
  const std::string& LastResponse() const { return engine_.LastResponse(); }

 protected:
  // Starts a request with `start`, which calls the engine, and carries out its outputs.
  void StartRequest(const std::function<void()>& start);
  // The same for a request that connects first; a malformed host throws MailError and the
  // request does not start.
  void StartConnecting(const std::string& host, const std::string& service,
                       const std::function<void()>& start);
  // Hands a list line, message line or request end to the caller.
  virtual void Deliver(const MailOutput& event) = 0;
  const MailPorts& Ports() const { return ports_; }

 private:
  void CheckNothingPending() const;
  void Drive(bool mayCallBack);
  void Carry(const MailOutput& output);
  bool DeliverAll(std::vector<MailOutput> events);
  void ArmTimer();
  void OnTimer();
  void OnDeadline();
  std::string DeadlineText() const;
  LineConnection::Handlers MakeHandlers();

  MailPorts ports_;
  MailEngine& engine_;
  MailProtocol protocol_;
  MailEndpoint endpoint_;
  std::unique_ptr<LineConnection> connection_;
  std::unique_ptr<OneShotTimer> timer_;
  std::unique_ptr<OneShotTimer> deadline_;
  bool deadlinePassed_ = false;      // while no request ran: the next one ends at once
  std::vector<MailOutput> pending_;  // events waiting to be delivered after a request start
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  unsigned generation_ = 0;  // counts Close(): events of an earlier generation are dropped
};

}  // namespace velora
