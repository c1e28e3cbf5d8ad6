// Reading and writing the lines of an 8-bit text file.
#include "store/text_lines.h"

#include "store/user_file_error.h"

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

}  // namespace velora
