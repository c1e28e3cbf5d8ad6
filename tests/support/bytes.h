// Small byte-string helpers shared by the tests.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace velora::testing {

// The bytes of the given values, e.g. Bytes({0x00, 0x06, 0x06}).
inline std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values)
    out += static_cast<char>(v);
  return out;
}

// Lines of a CR LF text; a last line without CR LF counts too.
inline std::vector<std::string> SplitCrLf(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

}  // namespace velora::testing
