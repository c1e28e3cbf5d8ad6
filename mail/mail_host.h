// Where a mail conversation connects: "name", "name:port", "[v6 address]:port", or with implicit
// TLS "smtps://name[:port]" and "pop3s://name[:port]".
#pragma once

#include <string>
#include <string_view>

namespace velora {

enum class MailProtocol { Smtp, Pop3 };

struct MailEndpoint {
  std::string host;
  std::string service;  // a port number or a service name such as "smtp"
  bool implicitTls = false;

  bool operator==(const MailEndpoint&) const = default;
};

// `service` is used when the text names no port and no TLS scheme; "smtps://" and "pop3s://"
// without a port mean 465 and 995, and "smtp://" and "pop3://" are plain. A scheme of the other
// protocol, an empty name, blanks or control characters in the name, or a port outside 1..65535
// throw MailError.
MailEndpoint ParseMailHost(std::string_view text, std::string_view service, MailProtocol protocol);

}  // namespace velora
