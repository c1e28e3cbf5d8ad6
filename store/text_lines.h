// Lines of an 8-bit text file, one value per line: read with CR LF or LF, written with CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace velora {

// Reads an 8-bit text file's lines: CR LF or LF ends a line, the last line may lack one.
class TextLineReader {
 public:
  explicit TextLineReader(std::string bytes) : bytes_(std::move(bytes)) {}
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  // The next line; throws UserFileError past the end.
  std::string ReadLn();
  // The next line, or empty text past the end.
  std::string ReadLnOrEmpty();
  // Lines read so far.
  std::size_t LineNumber() const { return line_; }

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
  std::size_t line_ = 0;
};

// Collects lines, each ended by CR LF. A value holding CR or LF would split into two lines and
// shift every line after it, so those bytes are written as blanks.
class TextLineWriter {
 public:
  void WriteLn(std::string_view line);
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// True exactly for a line "true".
bool ReadLnBoolean(TextLineReader& in);
void WriteLnBoolean(TextLineWriter& out, bool value);

}  // namespace velora
