// The host syntax of the mail accounts.
#include "mail/mail_host.h"

#include <algorithm>
#include <cstdlib>

#include "common/text.h"
#include "mail/mail_engine.h"

namespace velora {

namespace {

[[noreturn]] void Invalid(std::string_view text, std::string_view why) {
  throw MailError("Invalid mail host \"" + OneLine(text) + "\": " + std::string(why));
}

std::string PortOf(std::string_view text, std::string_view port) {
  if (port.empty() || port.find_first_not_of("0123456789") != port.npos) {
    Invalid(text, "the port must be a number");
  }
  const auto digits = port.substr(std::min(port.find_first_not_of('0'), port.size()));
  const int number = digits.size() > 5 ? 0 : std::atoi(std::string(digits).c_str());
  if (number < 1 || number > 65535) Invalid(text, "the port must be 1 to 65535");
  return std::to_string(number);
}

}  // namespace

MailEndpoint ParseMailHost(std::string_view text, std::string_view service, MailProtocol protocol) {
  const std::string trimmed = TrimBlanks(text);
  std::string_view rest = trimmed;
  MailEndpoint endpoint{{}, std::string(service), false};

  if (const auto scheme = rest.find("://"); scheme != std::string_view::npos) {
    const std::string name = AsciiLower(rest.substr(0, scheme));
    const bool smtp = protocol == MailProtocol::Smtp;
    if (name == (smtp ? "smtps" : "pop3s")) {
      endpoint.implicitTls = true;
      endpoint.service = smtp ? "465" : "995";
    } else if (name != (smtp ? "smtp" : "pop3")) {
      Invalid(text, "unknown scheme \"" + name + "\"");
    }
    rest.remove_prefix(scheme + 3);
  }

  std::string_view host = rest;
  if (rest.starts_with("[")) {
    const auto close = rest.find(']');
    if (close == std::string_view::npos) Invalid(text, "missing \"]\"");
    host = rest.substr(1, close - 1);
    const std::string_view after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') Invalid(text, "unexpected text after \"]\"");
      endpoint.service = PortOf(text, after.substr(1));
    }
  } else if (const auto colon = rest.find(':');
             colon != std::string_view::npos &&
             rest.find(':', colon + 1) == std::string_view::npos) {
    // One colon separates the port; more are an IPv6 address without a port.
    host = rest.substr(0, colon);
    endpoint.service = PortOf(text, rest.substr(colon + 1));
  }

  if (host.empty()) Invalid(text, "no host name");
  for (char c : host) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 0x7F || c == '/') Invalid(text, "not a host name");
  }
  endpoint.host = std::string(host);
  return endpoint;
}

}  // namespace velora
