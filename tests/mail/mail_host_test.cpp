// The host syntax of the mail accounts: plain names, ports, implicit TLS schemes, and mistakes.
#include "mail/mail_host.h"

#include <gtest/gtest.h>

#include "mail/mail_engine.h"

namespace velora {
namespace {

TEST(MailHostTest, NamesPortsAndSchemes) {
  struct Case {
    const char* text;
    MailProtocol protocol;
    MailEndpoint endpoint;
  };
  const auto smtp = MailProtocol::Smtp;
  const auto pop3 = MailProtocol::Pop3;
  const Case cases[] = {
      {"mail.example.org", smtp, {"mail.example.org", "smtp", false}},
      {"  mail.example.org ", smtp, {"mail.example.org", "smtp", false}},
      {"pop.example.org", pop3, {"pop.example.org", "pop3", false}},
      {"mail.example.org:587", smtp, {"mail.example.org", "587", false}},
      {"127.0.0.1:2525", smtp, {"127.0.0.1", "2525", false}},
      {"smtps://mail.example.org", smtp, {"mail.example.org", "465", true}},
      {"SMTPS://mail.example.org:2465", smtp, {"mail.example.org", "2465", true}},
      {"pop3s://pop.example.org", pop3, {"pop.example.org", "995", true}},
      {"pop3s://pop.example.org:1995", pop3, {"pop.example.org", "1995", true}},
      {"smtp://mail.example.org", smtp, {"mail.example.org", "smtp", false}},
      {"pop3://pop.example.org:1110", pop3, {"pop.example.org", "1110", false}},
      {"[::1]:2525", smtp, {"::1", "2525", false}},
      {"pop3s://[2001:db8::5]", pop3, {"2001:db8::5", "995", true}},
      {"2001:db8::5", pop3, {"2001:db8::5", "pop3", false}},
      {"mail.example.org:00025", smtp, {"mail.example.org", "25", false}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseMailHost(c.text, c.protocol == smtp ? "smtp" : "pop3", c.protocol), c.endpoint)
        << c.text;
  }
}

TEST(MailHostTest, MistakesAreRefusedWithTheirReason) {
  struct Case {
    const char* text;
    MailProtocol protocol;
    const char* reason;
  };
  const Case cases[] = {
      {"", MailProtocol::Smtp, "no host name"},
      {"   ", MailProtocol::Smtp, "no host name"},
      {"smtps://", MailProtocol::Smtp, "no host name"},
      {":25", MailProtocol::Smtp, "no host name"},
      {"pop3s://pop.example.org", MailProtocol::Smtp, "unknown scheme \"pop3s\""},
      {"smtps://mail.example.org", MailProtocol::Pop3, "unknown scheme \"smtps\""},
      {"https://mail.example.org", MailProtocol::Smtp, "unknown scheme \"https\""},
      {"mail.example.org:", MailProtocol::Smtp, "the port must be a number"},
      {"mail.example.org:smtp", MailProtocol::Smtp, "the port must be a number"},
      {"mail.example.org:0", MailProtocol::Smtp, "the port must be 1 to 65535"},
      {"mail.example.org:65536", MailProtocol::Smtp, "the port must be 1 to 65535"},
      {"mail.example.org:123456", MailProtocol::Smtp, "the port must be 1 to 65535"},
      {"mail.example.org:99999999999999999999", MailProtocol::Smtp, "the port must be 1 to 65535"},
      {"mail example.org", MailProtocol::Smtp, "not a host name"},
      {"mail.example.org\r\nQUIT", MailProtocol::Smtp, "not a host name"},
      {"smtps://mail.example.org/path", MailProtocol::Smtp, "not a host name"},
      {"[::1", MailProtocol::Smtp, "missing \"]\""},
      {"[::1]x", MailProtocol::Smtp, "unexpected text after \"]\""},
  };
  for (const Case& c : cases) {
    try {
      ParseMailHost(c.text, "smtp", c.protocol);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const MailError& e) {
      const std::string message = e.what();
      EXPECT_TRUE(message.starts_with("Invalid mail host \"")) << message;
      EXPECT_TRUE(message.ends_with(c.reason)) << message;
      EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << message;
    }
  }
}

}  // namespace
}  // namespace velora
