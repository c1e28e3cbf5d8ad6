// A pseudo-terminal pair: the server opens its slave side like a serial device, the test or the
// benchmark plays the far end on the master side (raw, non-blocking).
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace velora::testing {

class PtyPair {
 public:
  PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
      throw std::runtime_error("no pseudo-terminal");
    slavePath_ = ::ptsname(master_);
    termios raw{};
    ::tcgetattr(master_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() {
    if (master_ >= 0) ::close(master_);
    if (heldSlave_ >= 0) ::close(heldSlave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  // Hangs up: the device side then reads errors.
  // The slave side stays held, so that the pair's number is not handed to the next
  // pseudo-terminal another test opens: the device must find its line gone, not a stranger's.
  void CloseMaster() {
    if (heldSlave_ < 0) heldSlave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  // What the device has sent so far (appended to everything read before).
  const std::string& Read() {
    char buffer[512];
    ssize_t n;
    while ((n = ::read(master_, buffer, sizeof buffer)) > 0)
      received_.append(buffer, static_cast<std::size_t>(n));
    return received_;
  }
  void Write(std::string_view bytes) {
    if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
      throw std::runtime_error("pseudo-terminal write failed");
  }

 private:
  int heldSlave_ = -1;
  int master_ = -1;
  std::string slavePath_;
  std::string received_;
};

}  // namespace velora::testing
