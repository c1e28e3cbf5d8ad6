// Lines of "users.txt" spelled out by hand, for the tests of reading and writing it.
#pragma once

#include <string>
#include <string_view>

#include "common/cp1252.h"

namespace velora::testing {

inline const std::string kHeader =
    std::string("Die Zeilenanzahl und -struktur in dieser Datei darf nicht verändert werden!"_cp) +
    "\r\n";

// The count line with any text after its "=".
inline std::string CountText(std::string_view count) {
  return std::string("Anzahl der Einträge="_cp) + std::string(count) + "\r\n";
}
inline std::string CountLine(int n) {
  return CountText(std::to_string(n));
}

// One account without mail settings, in file form.
inline std::string Account(std::string_view nameLine, std::string_view passwordLine,
                           std::string_view adminLine, std::string_view messages = "0\r\n") {
  std::string out;
  out += nameLine;
  out += "\r\n";
  out += passwordLine;
  out += "\r\n";
  out += adminLine;
  out += "\r\n";
  for (int i = 0; i < 8; ++i)
    out += "\r\n";
  out += messages;
  return out;
}

}  // namespace velora::testing
