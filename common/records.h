// Lasting records of the services: accounts with their messages, feedback, fetched mails.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velora {

struct Tmessage {
  std::string Sender;  // the sender's name as its calculator sent it
  std::string Text;
  std::string Time;  // local time in the "c" format
  bool Read = false;
};

struct Tuserdata {
  std::string Name;  // always upper case
  std::string Password;
  bool IsAdmin = false;
  std::string Pop3User;
  std::string Pop3Host;
  std::string Pop3Password;
  std::string ReplyTo;
  std::string SmtpHost;
  std::string SmtpUser;
  std::string SmtpPassword;
  std::string FromHeader;
  std::vector<Tmessage> Messages;
  bool Online = false;  // a session is bound to the account; never saved
};

struct TFeedback {
  std::string Author;
  std::string Text;
  std::string Time;
};

struct TMail {
  std::string Text;
  std::string From;
  std::string Date;
  std::string Subject;
  std::string ReplyTo;
};

using UserTable = std::vector<Tuserdata>;
using FeedbackList = std::vector<TFeedback>;

// The first account whose Name equals the ASCII-upper-cased name, or -1.
int FindUser(const UserTable& users, std::string_view name);
bool UserExists(const UserTable& users, std::string_view name);

}  // namespace velora
