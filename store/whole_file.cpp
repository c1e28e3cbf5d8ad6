// Reading a file whole, and replacing one through a temporary file without losing the old one.
#include "store/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

namespace velora {

namespace {

std::string SystemReason(int error) {
  return std::strerror(error);
}

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

std::vector<std::string> RemoveTempFilesOf(const std::string& file) {
  namespace fs = std::filesystem;
  std::vector<std::string> removed;
  const fs::path path(file);
  const std::string name = path.filename().string();
  std::error_code error;
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (!IsTempFileOf(it->path().filename().string(), name)) continue;
    if (!it->is_regular_file(error) || it->is_symlink(error)) continue;
    if (fs::remove(it->path(), error)) removed.push_back(it->path().string());
  }
  return removed;
}

}  // namespace velora
