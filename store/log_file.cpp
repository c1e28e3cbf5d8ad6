// The detailed log file.
#include "store/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "common/cp1252.h"
#include "common/text.h"
#include "store/old_logs.h"

namespace velora {

LogFile::LogFile(Clock& clock, OperatorUi& ui, std::string directory)
    : clock_(clock), ui_(ui), directory_(std::move(directory)) {}

LogFile::~LogFile() {
  Close();
}

namespace {

// Beyond this many continuations in one second something else is wrong.
constexpr int MaxContinuationsPerName = 1000;
// A cycle that logs more than this writes it at once rather than holding it all.
constexpr std::size_t FlushThreshold = 64 * 1024;
constexpr std::uint64_t BytesPerMB = 1024 * 1024;

}  // namespace

bool LogFile::OpenPath(const std::string& path, int createFlags) {
  Close();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | createFlags | O_CLOEXEC, 0600);
  if (fd_ < 0) return false;
  ::fchmod(fd_, 0600);  // an older file may have been created with wider rights
  path_ = path;
  return true;
}

bool LogFile::Open() {
  folderCheckDue_ = true;
  return OpenPath(directory_ + "/" + std::string(LogFileName), O_TRUNC);
}

void LogFile::WriteHeader() {
  Log("VELORA SERVER LOGFILE");
  Log(FormatLogHeaderDate(clock_.LocalNow()));
  Log("Abbreviations:\r\n"
      "SEND: this data is passed to comm\r\n"
      "SENT: this data was sent to comm\r\n"
      "DROP: this data was received and dropped\r\n"
      "RCVD: this is a correct packet\r\n"
      "TIMER: timer event\r\n"
      "(receive-)wait: waiting (for data)");
}

void LogFile::Close() {
  if (fd_ < 0) return;
  Flush();
  ::close(fd_);
  fd_ = -1;
}

void LogFile::Flush() {
  if (fd_ < 0 || buffer_.empty()) return;
  WriteRaw(buffer_);
  buffer_.clear();
}

void LogFile::WriteRaw(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (!writeFailureShown_) ui_.ShowMessage("Fehler beim Schreiben in Log");
      writeFailureShown_ = true;
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  writeFailureShown_ = false;
}

void LogFile::Log(std::string_view text) {
  if (fd_ < 0) return;
  std::string line = std::to_string(clock_.TickMs());
  line += ':';
  line += text;
  line += "\r\n";
  buffer_ += line;
  if (buffer_.size() >= FlushThreshold) Flush();
}

void LogFile::LogE(std::string_view bytes) {
  Log(ReadableBytes(bytes));
}

void LogFile::MainLog(std::string_view text, bool toFile) {
  // Names come from the radio: a terminal must not take them for commands. The file keeps them.
  ui_.EventLine(EscapeControlBytes(text));
  if (toFile) Log(text);
}

void LogFile::CheckContinuation(std::int32_t maxLogLines, bool sameLogFile,
                                std::int32_t maxFolderMB) {
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return;
  // What is still buffered counts: the file ends at the size it would have unbuffered.
  const auto size = static_cast<std::uint64_t>(st.st_size) + buffer_.size();
  Flush();
  if (size / 128 > static_cast<std::uint64_t>(std::max(maxLogLines, 0))) {
    const bool opened = sameLogFile ? OpenPath(path_, O_TRUNC) : OpenContinuation();
    if (!opened) {
      ui_.ShowMessage("Fehler beim Schreiben in Log");
      return;
    }
    folderCheckDue_ = folderCheckDue_ || !sameLogFile;
  }
  if (folderCheckDue_) LimitFolder(maxFolderMB);
}

void LogFile::LimitFolder(std::int32_t maxFolderMB) {
  folderCheckDue_ = false;
  if (maxFolderMB <= 0) return;
  const std::string current = path_.substr(path_.find_last_of('/') + 1);
  const std::vector<std::string> removed = RemoveOldestDatedLogs(
      directory_, static_cast<std::uint64_t>(maxFolderMB) * BytesPerMB, current);
  for (const std::string& name : removed) {
    Log("NOTE : removed old log file " + name + " (log files above " + std::to_string(maxFolderMB) +
        " MB)");
  }
}

bool LogFile::OpenContinuation() {
  const std::string stem =
      directory_ + "/" + std::string(LogFileStem) + FormatLogFileStamp(clock_.LocalNow());
  for (int n = 1; n <= MaxContinuationsPerName; ++n) {
    const std::string path = stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".txt";
    if (OpenPath(path, O_EXCL)) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace velora
