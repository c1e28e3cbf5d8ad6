// The user and feedback files: their line formats, loading and saving.
#include "store/user_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

#include "common/constants.h"
#include "common/text.h"

namespace velora {

std::string TextLineReader::ReadLn() {
  if (AtEnd()) {
    throw UserFileError(line_ + 1, "missing");
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

std::string JoinPath(const std::string& directory, std::string_view name) {
  if (directory.empty()) return std::string(name);
  if (directory.back() == '/') return directory + std::string(name);
  return directory + "/" + std::string(name);
}

std::string SystemReason(int error) {
  return std::strerror(error);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

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
    const auto fail = [&](std::string_view detail) {
      report.outcome = UserFileOutcome::Fatal;
      report.boxes.push_back(std::string(LoadUsersErrorText) + " (" + std::string(UsersFile) +
                             std::string(detail) + ")");
      return report;
    };
    try {
      report.usersRead = ReadWholeFile(usersPath);
    } catch (const std::exception& e) {
      return fail(std::string(": ") + e.what());
    }
    try {
      ParseUsersFile(*report.usersRead, loadedUsers, loadedUptime);
    } catch (const std::exception& e) {
      return fail(std::string(", ") + e.what());
    }
  }

  const std::string feedbackPath = JoinPath(directory, FeedbackFile);
  const bool feedbackExists = PathExists(feedbackPath);
  FeedbackList loadedFeedback;
  if (feedbackExists) {
    try {
      report.feedbackRead = ReadWholeFile(feedbackPath);
      loadedFeedback = ParseFeedbackFile(*report.feedbackRead);
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

namespace {

// Writes one of the files; a failure is recorded in the report as the caller's rules say: a
// failed user file is a warning (the feedback is still written), a failed feedback file fatal.
bool WriteUserFile(UserFileReport& report, const std::string& directory, std::string_view name,
                   std::string_view bytes) {
  const bool users = name.starts_with(UsersFile);
  try {
    ReplaceFileContents(JoinPath(directory, name), bytes, users);
    return true;
  } catch (const std::exception& e) {
    report.failed.push_back(std::string(name) + ": " + e.what());
    if (users) {
      if (report.outcome != UserFileOutcome::Fatal) report.outcome = UserFileOutcome::Warning;
      report.boxes.push_back(std::string(SaveUsersErrorText) + " (" + report.failed.back() + ")");
    } else {
      report.outcome = UserFileOutcome::Fatal;
      report.boxes.push_back(std::string(SaveFeedbackErrorText) + e.what());
    }
    return false;
  }
}

}  // namespace

UserFileReport SaveUserData(const std::string& directory, const UserTable& users,
                            const FeedbackList& feedback, std::int32_t totalUptime) {
  UserFileReport report;
  WriteUserFile(report, directory, UsersFile, FormatUsersFile(users, totalUptime));
  WriteUserFile(report, directory, FeedbackFile, FormatFeedbackFile(feedback));
  return report;
}

UserFileReport UserFiles::Load(UserTable& users, FeedbackList& feedback,
                               std::int32_t& totalUptime) {
  UserFileReport report = LoadUserData(directory_, users, feedback, totalUptime);
  usersRead_ = usersOnDisk_ = report.usersRead;
  feedbackRead_ = feedbackOnDisk_ = report.feedbackRead;
  usersBackedUp_ = feedbackBackedUp_ = false;
  return report;
}

UserFileReport UserFiles::Save(const UserTable& users, const FeedbackList& feedback,
                               std::int32_t totalUptime) {
  UserFileReport report;
  const std::string usersBytes = FormatUsersFile(users, totalUptime);
  const std::string feedbackBytes = FormatFeedbackFile(feedback);
  const bool usersChanged = usersBytes != usersOnDisk_;
  const bool feedbackChanged = feedbackBytes != feedbackOnDisk_;
  if (usersChanged || feedbackChanged) KeepBackups(report);
  if (usersChanged && WriteUserFile(report, directory_, UsersFile, usersBytes)) {
    usersOnDisk_ = usersBytes;
  }
  if (feedbackChanged && WriteUserFile(report, directory_, FeedbackFile, feedbackBytes)) {
    feedbackOnDisk_ = feedbackBytes;
  }
  return report;
}

void UserFiles::KeepBackups(UserFileReport& report) {
  if (usersRead_ && !usersBackedUp_) {
    usersBackedUp_ =
        WriteUserFile(report, directory_, std::string(UsersFile) + ".bak", *usersRead_);
  }
  if (feedbackRead_ && !feedbackBackedUp_) {
    // The feedback is still written when its backup fails: only a warning.
    UserFileReport backup;
    feedbackBackedUp_ =
        WriteUserFile(backup, directory_, std::string(FeedbackFile) + ".bak", *feedbackRead_);
    if (!feedbackBackedUp_) {
      report.failed.push_back(backup.failed.back());
      report.boxes.push_back(std::string(SaveFeedbackErrorText) + " (" + backup.failed.back() +
                             ")");
      if (report.outcome != UserFileOutcome::Fatal) report.outcome = UserFileOutcome::Warning;
    }
  }
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

namespace {

// The file a path leads to through any symbolic links (which need not exist yet).
std::string ResolveLinks(const std::string& path) {
  constexpr int MaxLinks = 40;  // as the kernel's limit
  std::string current = path;
  for (int hops = 0; hops < MaxLinks; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0) throw UserFileError(SystemReason(errno));
    if (static_cast<std::size_t>(n) >= target.size()) continue;  // changed meanwhile: again
    target.resize(static_cast<std::size_t>(n));
    const std::size_t slash = current.rfind('/');
    if (!target.starts_with('/') && slash != std::string::npos) {
      target = current.substr(0, slash + 1) + target;
    }
    current = std::move(target);
  }
  throw UserFileError(SystemReason(ELOOP));
}

}  // namespace

void ReplaceFileContents(const std::string& linkOrFile, std::string_view bytes, bool ownerOnly) {
  // Renaming onto a link would replace the link by a plain file and leave its target stale.
  const std::string path = ResolveLinks(linkOrFile);
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

namespace {

// A temporary file of ReplaceFileContents for the file of that name: name + ".tmp" + the
// process id + "-" + the attempt.
bool IsTempFileOf(std::string_view entry, std::string_view name) {
  if (!entry.starts_with(name)) return false;
  entry.remove_prefix(name.size());
  if (!entry.starts_with(".tmp")) return false;
  entry.remove_prefix(4);
  const std::size_t dash = entry.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash + 1 == entry.size()) return false;
  for (std::size_t i = 0; i < entry.size(); ++i) {
    if (i != dash && (entry[i] < '0' || entry[i] > '9')) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> RemoveStaleTempFiles(const std::string& directory) {
  namespace fs = std::filesystem;
  std::vector<std::string> removed;
  std::vector<std::string> files;
  for (std::string_view name : {UsersFile, FeedbackFile}) {
    files.push_back(JoinPath(directory, std::string(name) + ".bak"));
    try {
      files.push_back(ResolveLinks(JoinPath(directory, name)));
    } catch (const UserFileError&) {
      files.push_back(JoinPath(directory, name));  // a link loop: its own folder at least
    }
  }
  for (const std::string& file : files) {
    const fs::path path(file);
    const std::string name = path.filename().string();
    std::error_code error;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      if (!IsTempFileOf(it->path().filename().string(), name)) continue;
      if (!it->is_regular_file(error) || it->is_symlink(error)) continue;
      if (fs::remove(it->path(), error)) removed.push_back(it->path().string());
    }
  }
  return removed;
}

}  // namespace velora
