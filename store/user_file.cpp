// The user and feedback files: their line formats, loading and saving.
#include "store/user_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "common/constants.h"
#include "common/text.h"

namespace velora {

std::string TextLineReader::ReadLn() {
  if (AtEnd()) {
    throw UserFileError("line " + std::to_string(line_ + 1) + " is missing");
  }
  return ReadLnOrEmpty();
}

std::string TextLineReader::ReadLnOrEmpty() {
  if (AtEnd()) return {};
  const std::size_t lf = bytes_.find('\n', pos_);
  const std::size_t end = lf == std::string::npos ? bytes_.size() : lf;
  std::size_t stop = end;
  if (stop > pos_ && bytes_[stop - 1] == '\r') --stop;
  std::string line = bytes_.substr(pos_, stop - pos_);
  pos_ = lf == std::string::npos ? bytes_.size() : lf + 1;
  ++line_;
  return line;
}

void TextLineWriter::WriteLn(std::string_view line) {
  const std::size_t start = bytes_.size();
  bytes_ += line;
  for (std::size_t i = start; i < bytes_.size(); ++i) {
    if (bytes_[i] == '\r' || bytes_[i] == '\n') bytes_[i] = ' ';
  }
  bytes_ += "\r\n";
}

bool ReadLnBoolean(TextLineReader& in) {
  return in.ReadLn() == "true";
}

void WriteLnBoolean(TextLineWriter& out, bool value) {
  out.WriteLn(value ? "true" : "false");
}

namespace {

// A whole line as a 32-bit decimal number; blanks around it are allowed, nothing else is.
std::int32_t ParseInteger(std::string_view text, std::size_t lineNumber) {
  const auto fail = [&]() -> std::int32_t {
    throw UserFileError("line " + std::to_string(lineNumber) + " is not a number");
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

// A count of records that must follow; negative counts are malformed.
std::int32_t ParseCount(std::string_view text, std::size_t lineNumber) {
  const std::int32_t count = ParseInteger(text, lineNumber);
  if (count < 0) {
    throw UserFileError("line " + std::to_string(lineNumber) + " holds a negative count");
  }
  return count;
}

// The text after the first "="; a line without one is taken whole.
std::string AfterEquals(const std::string& line) {
  const std::size_t eq = line.find('=');
  return eq == std::string::npos ? line : line.substr(eq + 1);
}

std::string JoinPath(const std::string& directory, std::string_view name) {
  if (directory.empty()) return std::string(name);
  if (directory.back() == '/') return directory + std::string(name);
  return directory + "/" + std::string(name);
}

std::string SystemReason(int error) {
  return std::strerror(error);
}

std::string ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw UserFileError(SystemReason(errno));
  std::string bytes;
  char buffer[16384];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      throw UserFileError(SystemReason(error));
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
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
  in.ReadLn();  // the warning line
  const std::int32_t count = ParseCount(AfterEquals(in.ReadLn()), in.LineNumber());
  const std::int32_t uptime = ParseInteger(in.ReadLn(), in.LineNumber());
  // Nothing is reserved from the count: a count beyond the file's lines runs out of lines and
  // fails without allocating for it.
  UserTable table;
  for (std::int32_t i = 0; i < count; ++i) {
    Tuserdata user;
    user.Name = AfterEquals(AsciiUpper(in.ReadLn()));
    user.Password = AfterEquals(in.ReadLn());
    user.IsAdmin = ReadLnBoolean(in);
    user.Pop3Host = in.ReadLn();
    user.Pop3User = in.ReadLn();
    user.Pop3Password = in.ReadLn();
    user.SmtpHost = in.ReadLn();
    user.SmtpUser = in.ReadLn();
    user.SmtpPassword = in.ReadLn();
    user.ReplyTo = in.ReadLn();
    user.FromHeader = in.ReadLn();
    const std::int32_t messages = ParseCount(in.ReadLn(), in.LineNumber());
    for (std::int32_t j = 0; j < messages; ++j) {
      Tmessage message;
      message.Sender = in.ReadLn();
      message.Text = in.ReadLn();
      message.Time = in.ReadLn();
      message.Read = ReadLnBoolean(in);
      user.Messages.push_back(std::move(message));
    }
    table.push_back(std::move(user));
  }
  users = std::move(table);
  totalUptime = uptime;
}

std::string FormatFeedbackFile(const FeedbackList& feedback) {
  TextLineWriter out;
  for (const TFeedback& entry : feedback) {
    out.WriteLn(entry.Author);
    out.WriteLn(entry.Text);
    out.WriteLn(entry.Time);
  }
  return out.Bytes();
}

FeedbackList ParseFeedbackFile(std::string bytes) {
  TextLineReader in(std::move(bytes));
  FeedbackList list;
  while (!in.AtEnd()) {
    TFeedback entry;
    entry.Author = in.ReadLnOrEmpty();
    entry.Text = in.ReadLnOrEmpty();
    entry.Time = in.ReadLnOrEmpty();
    list.push_back(std::move(entry));
  }
  return list;
}

UserFileReport LoadUserData(const std::string& directory, UserTable& users, FeedbackList& feedback,
                            std::int32_t& totalUptime) {
  UserFileReport report;
  const std::string usersPath = JoinPath(directory, UsersFile);
  const bool usersExist = PathExists(usersPath);
  UserTable loadedUsers;
  std::int32_t loadedUptime = totalUptime;
  if (!usersExist) {
    report.outcome = UserFileOutcome::UsersMissing;
    report.eventLine = UsersFileMissingText;
  } else {
    try {
      ParseUsersFile(ReadWholeFile(usersPath), loadedUsers, loadedUptime);
    } catch (const std::exception&) {
      report.outcome = UserFileOutcome::Fatal;
      report.boxes.emplace_back(LoadUsersErrorText);
      return report;
    }
  }

  const std::string feedbackPath = JoinPath(directory, FeedbackFile);
  const bool feedbackExists = PathExists(feedbackPath);
  FeedbackList loadedFeedback;
  if (feedbackExists) {
    try {
      loadedFeedback = ParseFeedbackFile(ReadWholeFile(feedbackPath));
    } catch (const std::exception& e) {
      report.outcome = UserFileOutcome::Fatal;
      report.boxes.push_back(std::string(LoadFeedbackErrorText) + e.what());
      return report;
    }
  }

  users = std::move(loadedUsers);
  totalUptime = loadedUptime;
  if (feedbackExists) feedback = std::move(loadedFeedback);
  return report;
}

UserFileReport SaveUserData(const std::string& directory, const UserTable& users,
                            const FeedbackList& feedback, std::int32_t totalUptime) {
  UserFileReport report;
  try {
    ReplaceFileContents(JoinPath(directory, UsersFile), FormatUsersFile(users, totalUptime), true);
  } catch (const std::exception&) {
    report.outcome = UserFileOutcome::Warning;
    report.boxes.emplace_back(SaveUsersErrorText);
  }
  try {
    ReplaceFileContents(JoinPath(directory, FeedbackFile), FormatFeedbackFile(feedback), false);
  } catch (const std::exception& e) {
    report.outcome = UserFileOutcome::Fatal;
    report.boxes.push_back(std::string(SaveFeedbackErrorText) + e.what());
  }
  return report;
}

namespace {

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw UserFileError(SystemReason(errno));
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Makes a rename in the directory last across a power failure.
void SyncDirectory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // the file itself is complete; only the rename's durability is at stake
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

void ReplaceFileContents(const std::string& path, std::string_view bytes, bool ownerOnly) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);

  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) throw UserFileError(SystemReason(EISDIR));

  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0666);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) throw UserFileError(SystemReason(errno));
  }

  try {
    if (ownerOnly || exists) {
      const mode_t mode =
          ownerOnly ? (exists ? (old.st_mode & 0600) : 0600) : (old.st_mode & 07777);
      if (::fchmod(fd, mode) != 0) throw UserFileError(SystemReason(errno));
    }
    WriteAll(fd, bytes);
    if (::fsync(fd) != 0) throw UserFileError(SystemReason(errno));
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) throw UserFileError(SystemReason(errno));
    if (::rename(temp.c_str(), path.c_str()) != 0) throw UserFileError(SystemReason(errno));
  } catch (...) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  SyncDirectory(directory);
}

}  // namespace velora
