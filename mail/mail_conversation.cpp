// Running a mail engine over a line connection with reply time-outs.
#include "mail/mail_conversation.h"

#include <utility>

namespace velora {

MailConversation::MailConversation(const MailPorts& ports, MailEngine& engine,
                                   MailProtocol protocol)
    : ports_(ports),
      engine_(engine),
      protocol_(protocol),
      timer_(ports.timers.CreateTimer()),
      deadline_(ports.timers.CreateTimer()) {
  timer_->SetHandler([this] { OnTimer(); });
  deadline_->SetHandler([this] { OnDeadline(); });
}

MailConversation::~MailConversation() {
  *alive_ = false;
  timer_->Stop();
  deadline_->Stop();
  if (connection_) connection_->Close();
}

void MailConversation::Close() {
  ++generation_;
  engine_.Abort();
  pending_.clear();
  timer_->Stop();
  deadline_->Stop();
  deadlinePassed_ = false;
  if (connection_) connection_->Close();
}

void MailConversation::StartRequest(const std::function<void()>& start) {
  CheckNothingPending();
  start();
  if (deadlinePassed_) engine_.Stop(DeadlineText());
  Drive(false);
}

void MailConversation::StartConnecting(const std::string& host, const std::string& service,
                                       const std::function<void()>& start) {
  CheckNothingPending();
  start();
  try {
    endpoint_ = ParseMailHost(host, service, protocol_);
  } catch (...) {
    engine_.Abort();  // it has only asked for the connection so far
    throw;
  }
  deadlinePassed_ = false;
  deadline_->Start(ports_.conversationDeadlineMs);
  Drive(false);
}

void MailConversation::CheckNothingPending() const {
  if (pending_.empty()) return;
  throw MailError(protocol_ == MailProtocol::Smtp ? "SMTP component not ready"
                                                  : "POP3 component not ready");
}

void MailConversation::Drive(bool mayCallBack) {
  std::vector<MailOutput> events;
  for (MailOutput& output : engine_.TakeOutputs()) {
    const bool isEvent = output.kind == MailOutput::Kind::ListLine ||
                         output.kind == MailOutput::Kind::MessageLine ||
                         output.kind == MailOutput::Kind::Done;
    if (isEvent) {
      events.push_back(std::move(output));
    } else {
      Carry(output);
    }
  }
  if (!mayCallBack) {
    // Never inside the caller's own request start: the events follow from the event loop.
    for (MailOutput& event : events)
      pending_.push_back(std::move(event));
    ArmTimer();
    return;
  }
  if (DeliverAll(std::move(events))) ArmTimer();
}

void MailConversation::Carry(const MailOutput& output) {
  switch (output.kind) {
    case MailOutput::Kind::Connect:
      // Replacing an earlier connection is safe even from inside its own handler.
      connection_ = ports_.connections.Create();
      connection_->SetHandlers(MakeHandlers());
      connection_->Connect(endpoint_.host, endpoint_.service, endpoint_.implicitTls);
      return;
    case MailOutput::Kind::Send:
      if (connection_) connection_->SendLine(output.line);
      return;
    case MailOutput::Kind::Close:
      if (connection_) connection_->Close();
      return;
    default:
      return;
  }
}

// False when the conversation was destroyed or closed by a callback.
bool MailConversation::DeliverAll(std::vector<MailOutput> events) {
  const auto alive = alive_;
  const unsigned generation = generation_;
  for (const MailOutput& event : events) {
    Deliver(event);
    if (!*alive || generation != generation_) return false;
  }
  return true;
}

void MailConversation::ArmTimer() {
  // Over: nothing runs and no connection is left.
  if (!engine_.Busy() && !engine_.HasConnection()) deadline_->Stop();
  if (!pending_.empty()) {
    timer_->Start(0);
  } else if (!engine_.Awaiting().empty()) {
    timer_->Start(ports_.replyTimeoutMs);
  } else {
    timer_->Stop();
  }
}

void MailConversation::OnTimer() {
  if (!pending_.empty()) {
    if (DeliverAll(std::exchange(pending_, {}))) ArmTimer();
    return;
  }
  engine_.TimedOut();
  Drive(true);
}

void MailConversation::OnDeadline() {
  if (!engine_.Busy()) {
    // Between two requests: the caller is about to start the next one.
    deadlinePassed_ = true;
    return;
  }
  engine_.Stop(DeadlineText());
  Drive(true);
}

std::string MailConversation::DeadlineText() const {
  const int ms = ports_.conversationDeadlineMs;
  return "Deadline of " +
         (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms") +
         " for the conversation ran out";
}

LineConnection::Handlers MailConversation::MakeHandlers() {
  LineConnection::Handlers handlers;
  handlers.connected = [this] {
    engine_.Connected();
    Drive(true);
  };
  handlers.line = [this](const std::string& line) {
    engine_.ReceiveLine(line);
    Drive(true);
  };
  handlers.closed = [this] {
    engine_.Closed();
    Drive(true);
  };
  handlers.failed = [this](const std::string& error) {
    engine_.Failed(error);
    Drive(true);
  };
  return handlers;
}

}  // namespace velora
