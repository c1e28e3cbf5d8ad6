// The one error of the user and feedback files: a line that should be there and is not, a value
// that is not what its line holds, a file that cannot be read or written.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace velora {

class UserFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // A fault at a line of the file, counted from 1: "line 14: " and the reason.
  UserFileError(std::size_t line, const std::string& reason)
      : std::runtime_error("line " + std::to_string(line) + ": " + reason),
        line_(line),
        reason_(reason) {}

  // 0 when the fault is not one of a line.
  std::size_t Line() const { return line_; }
  std::string Reason() const { return line_ == 0 ? what() : reason_; }

 private:
  std::size_t line_ = 0;
  std::string reason_;
};

}  // namespace velora
