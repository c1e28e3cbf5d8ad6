// The POP3 client component.
#include "mail/pop3_client.h"

namespace velora {

Pop3Client::Pop3Client(const MailPorts& ports)
    : MailConversation(ports, engine_, MailProtocol::Pop3) {}

void Pop3Client::Open() {
  StartConnecting(Host, Port.empty() ? "pop3" : Port, [this] { engine_.Open(*this); });
}

void Pop3Client::User() {
  StartRequest([this] { engine_.User(*this); });
}

void Pop3Client::Pass() {
  StartRequest([this] { engine_.Pass(*this); });
}

void Pop3Client::Status() {
  StartRequest([this] { engine_.Status(); });
}

void Pop3Client::List() {
  StartRequest([this] { engine_.List(MsgNum); });
}

void Pop3Client::Retrieve() {
  StartRequest([this] { engine_.Retrieve(MsgNum); });
}

void Pop3Client::Quit() {
  StartRequest([this] { engine_.Quit(); });
}

void Pop3Client::Deliver(const MailOutput& event) {
  // Copies: a callback may destroy this client and with it the callbacks.
  switch (event.kind) {
    case MailOutput::Kind::ListLine:
      MsgNum = event.msgNum;
      msgSize_ = event.msgSize;
      if (auto callback = OnListLine) callback(event.msgNum, event.msgSize);
      return;
    case MailOutput::Kind::MessageLine:
      if (auto callback = OnMessageLine) callback(event.line);
      return;
    case MailOutput::Kind::Done:
      if (auto callback = OnRequestDone) {
        callback(static_cast<Pop3Request>(event.request), event.error);
      }
      return;
    default:
      return;
  }
}

}  // namespace velora
