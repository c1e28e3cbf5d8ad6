// The SMTP client component.
#include "mail/smtp_client.h"

namespace velora {

SmtpClient::SmtpClient(const MailPorts& ports)
    : MailConversation(ports, engine_, MailProtocol::Smtp), engine_(ports.localHostName) {}

void SmtpClient::Open() {
  StartConnecting(Host, Port.empty() ? "smtp" : Port, [this] { engine_.Open(*this); });
}

void SmtpClient::Auth() {
  StartRequest([this] { engine_.Auth(*this); });
}

void SmtpClient::Mail() {
  StartRequest([this] { engine_.Mail(*this, Ports().clock.LocalNow()); });
}

void SmtpClient::Quit() {
  StartRequest([this] { engine_.Quit(); });
}

void SmtpClient::Deliver(const MailOutput& event) {
  if (event.kind != MailOutput::Kind::Done) return;
  // A copy: the callback may destroy this client and with it OnRequestDone.
  if (auto callback = OnRequestDone) callback(static_cast<SmtpRequest>(event.request), event.error);
}

}  // namespace velora
