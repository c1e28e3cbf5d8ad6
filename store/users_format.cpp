// Writing and reading "users.txt" line by line.
#include "store/users_format.h"

#include <cstddef>
#include <limits>
#include <utility>

#include "common/text.h"
#include "store/text_lines.h"

namespace velora {

namespace {

// A whole line as a 32-bit decimal number; blanks around it are allowed, nothing else is. The
// value itself is not repeated in an error: a shifted file could put a password there.
std::int32_t ParseInteger(std::string_view text, std::size_t lineNumber, std::string_view what) {
  const auto fail = [&]() -> std::int32_t {
    throw UserFileError(lineNumber, std::string(what) + " expected, a whole number");
  };
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return fail();
  constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return fail();
    value = value * 10 + (c - '0');
    if (value > limit) return fail();
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return fail();
  return static_cast<std::int32_t>(value);
}

// Reads the fields of the user file and says, on failure, which line held what.
class FieldReader {
 public:
  explicit FieldReader(TextLineReader& in) : in_(in) {}

  std::string Text(std::string_view what) {
    if (in_.AtEnd()) {
      throw UserFileError(in_.LineNumber() + 1,
                          std::string(what) + " expected, the file ends before");
    }
    return in_.ReadLn();
  }
  bool Boolean(std::string_view what) { return Text(what) == "true"; }
  std::int32_t Integer(std::string_view what, std::string_view line) {
    return ParseInteger(line, in_.LineNumber(), what);
  }
  // A count of records that must follow; negative counts are malformed.
  std::int32_t Count(std::string_view what, std::string_view line) {
    const std::int32_t count = Integer(what, line);
    if (count < 0) {
      throw UserFileError(in_.LineNumber(), std::string(what) + " expected, not negative");
    }
    return count;
  }

 private:
  TextLineReader& in_;
};

// The text after the first "="; a line without one is taken whole.
std::string AfterEquals(const std::string& line) {
  const std::size_t eq = line.find('=');
  return eq == std::string::npos ? line : line.substr(eq + 1);
}

}  // namespace

std::string FormatUsersFile(const UserTable& users, std::int32_t totalUptime) {
  TextLineWriter out;
  out.WriteLn(UsersFileHeader);
  out.WriteLn(std::string(UsersFileCountKey) + std::to_string(users.size()));
  out.WriteLn(std::to_string(totalUptime));
  for (const Tuserdata& user : users) {
    out.WriteLn("Username=" + user.Name);
    out.WriteLn("Passwort=" + user.Password);
    WriteLnBoolean(out, user.IsAdmin);
    out.WriteLn(user.Pop3Host);
    out.WriteLn(user.Pop3User);
    out.WriteLn(user.Pop3Password);
    out.WriteLn(user.SmtpHost);
    out.WriteLn(user.SmtpUser);
    out.WriteLn(user.SmtpPassword);
    out.WriteLn(user.ReplyTo);
    out.WriteLn(user.FromHeader);
    out.WriteLn(std::to_string(user.Messages.size()));
    for (const Tmessage& message : user.Messages) {
      out.WriteLn(message.Sender);
      out.WriteLn(message.Text);
      out.WriteLn(message.Time);
      WriteLnBoolean(out, message.Read);
    }
  }
  return out.Bytes();
}

void ParseUsersFile(std::string bytes, UserTable& users, std::int32_t& totalUptime) {
  TextLineReader in(std::move(bytes));
  FieldReader field(in);
  field.Text("the warning line");
  const std::int32_t count =
      field.Count("the number of accounts", AfterEquals(field.Text("the number of accounts")));
  const std::int32_t uptime = field.Integer("the total uptime", field.Text("the total uptime"));
  // Nothing is reserved from the count: a count beyond the file's lines runs out of lines and
  // fails without allocating for it.
  UserTable table;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::string of = " of account " + std::to_string(i + 1);
    Tuserdata user;
    user.Name = AfterEquals(AsciiUpper(field.Text("the user name" + of)));
    user.Password = AfterEquals(field.Text("the password" + of));
    user.IsAdmin = field.Boolean("the administrator flag" + of);
    user.Pop3Host = field.Text("the POP3 host" + of);
    user.Pop3User = field.Text("the POP3 user" + of);
    user.Pop3Password = field.Text("the POP3 password" + of);
    user.SmtpHost = field.Text("the SMTP host" + of);
    user.SmtpUser = field.Text("the SMTP user" + of);
    user.SmtpPassword = field.Text("the SMTP password" + of);
    user.ReplyTo = field.Text("the reply address" + of);
    user.FromHeader = field.Text("the sender header" + of);
    const std::int32_t messages =
        field.Count("the number of messages" + of, field.Text("the number of messages" + of));
    for (std::int32_t j = 0; j < messages; ++j) {
      const std::string ofMessage = " of message " + std::to_string(j + 1) + of;
      Tmessage message;
      message.Sender = field.Text("the sender" + ofMessage);
      message.Text = field.Text("the text" + ofMessage);
      message.Time = field.Text("the time" + ofMessage);
      message.Read = field.Boolean("the read flag" + ofMessage);
      user.Messages.push_back(std::move(message));
    }
    table.push_back(std::move(user));
  }
  // More lines than the count accounts for: the next save would silently drop them.
  while (!in.AtEnd()) {
    if (!in.ReadLn().empty()) {
      throw UserFileError(in.LineNumber(), "the end of the file expected (line 2 counts " +
                                               std::to_string(count) + ")");
    }
  }
  users = std::move(table);
  totalUptime = uptime;
}

}  // namespace velora
