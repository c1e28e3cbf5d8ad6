// The working folder belongs to one server at a time: two on the same users.txt would each save
// over the other's changes. An exclusive lock on a file in the folder, released when the process
// ends however it ends; the file names the process that holds it.
#pragma once

#include <string>
#include <string_view>

namespace velora {

inline constexpr std::string_view FolderLockFile = ".velora.lock";

class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock() { Release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock on the folder. False with the operator's message when another process holds
  // it (naming the folder and that process) or the lock file cannot be made.
  bool Acquire(const std::string& directory, std::string& error);
  void Release();
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace velora
