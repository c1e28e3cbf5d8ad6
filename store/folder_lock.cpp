// The lock on the working folder.
#include "store/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace velora {

namespace {

std::string AbsolutePath(const std::string& directory) {
  char resolved[PATH_MAX];
  return ::realpath(directory.c_str(), resolved) != nullptr ? std::string(resolved) : directory;
}

// The process id the holder wrote, or empty when there is none to read.
std::string HolderOf(int fd) {
  char buffer[32] = {};
  const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
  std::string pid;
  for (ssize_t i = 0; i < n && buffer[i] >= '0' && buffer[i] <= '9'; ++i)
    pid += buffer[i];
  return pid;
}

}  // namespace

bool FolderLock::Acquire(const std::string& directory, std::string& error) {
  Release();
  const std::string folder = AbsolutePath(directory);
  const std::string path = folder + "/" + std::string(FolderLockFile);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    error = "Die Sperrdatei " + path + " kann nicht angelegt werden: " + std::strerror(errno);
    return false;
  }
  int locked = -1;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int reason = errno;
    const std::string holder = reason == EWOULDBLOCK ? HolderOf(fd) : std::string();
    ::close(fd);
    if (reason != EWOULDBLOCK) {
      error =
          "Der Arbeitsordner " + folder + " kann nicht gesperrt werden: " + std::strerror(reason);
      return false;
    }
    error = "Der Arbeitsordner " + folder +
            " wird schon von einem anderen Velora-Server benutzt (Prozess " +
            (holder.empty() ? std::string("unbekannt") : holder) + ").";
    return false;
  }
  // Should the id not be written, the lock holds all the same; only a second server's message
  // lacks it.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
  }
  fd_ = fd;
  return true;
}

void FolderLock::Release() {
  if (fd_ < 0) return;
  ::close(fd_);  // ends the lock
  fd_ = -1;
}

}  // namespace velora
