// The detailed log file (tick-stamped lines, levels, continuation by size) and the event list sink.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/constants.h"
#include "common/ports.h"

namespace velora {

inline constexpr std::string_view LogFileStem = "veloraserverlog";
inline constexpr std::string_view LogFileName = "veloraserverlog.txt";

class LogFile : public LogSink {
 public:
  // Log files are created in the given directory (the working directory of the server).
  LogFile(Clock& clock, OperatorUi& ui, std::string directory = ".");
  ~LogFile() override;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Creates or truncates the current log, readable by the owner only (it can hold passwords).
  bool Open();
  void WriteHeader();
  // Writes what is buffered, then closes.
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& CurrentPath() const { return path_; }

  // One line: tick count, ":", the text. Does not look at the level; while the file is closed
  // (server stopped) the line is dropped. Lines are buffered until the next Flush (or until the
  // buffer is large), so a crash loses at most the lines since then.
  void Log(std::string_view text) override;
  // Writes the buffered lines to the file. A failure loses them and is reported once per streak.
  void Flush();
  // A byte string in readable form.
  void LogE(std::string_view bytes);
  LogLevel Level() const override { return level; }
  void MainLog(std::string_view text, bool toFile) override;

  // Once per polling cycle: flushes, then continues in a new file once the current one exceeds
  // 128 bytes per allowed line. A time-stamped file never replaces another: a name already taken
  // gets a counter ("-2.txt"). After each continuation, and at the first check after Open, the
  // oldest time-stamped files are removed while they take more than maxFolderMB together (0: no
  // limit); each removal is logged.
  void CheckContinuation(std::int32_t maxLogLines, bool sameLogFile, std::int32_t maxFolderMB = 0);

  LogLevel level = InitialLogLevel;

 private:
  bool OpenPath(const std::string& path, int createFlags);
  bool OpenContinuation();
  void WriteRaw(std::string_view bytes);
  void LimitFolder(std::int32_t maxFolderMB);

  Clock& clock_;
  OperatorUi& ui_;
  std::string directory_;
  std::string path_;
  int fd_ = -1;
  std::string buffer_;
  // The log folder's size is checked at the first continuation check after Open.
  bool folderCheckDue_ = false;
  // A failed write was reported; the next failure is told only after a write has worked again
  // (a full disk would otherwise raise one message per line).
  bool writeFailureShown_ = false;
};

}  // namespace velora
