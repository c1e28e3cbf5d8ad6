// Checks a content folder the way the server will read it: each page's type, lines and actions,
// the bytes the calculators can show, the pages the program opens by name and the resource files
// the offered services need. For the content tests and for `velorad --check`.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velora {

// A fault of one file of the folder, at a line counted from 1 (0: the file as a whole).
struct ContentProblem {
  std::string file;  // the name within the folder
  std::size_t line = 0;
  std::string text;
};

// "menumain.txt:7: no page hilfe2.txt for the action hilfe2", or "file: text" for line 0.
std::string Describe(const ContentProblem& problem);

struct ContentReport {
  std::size_t pages = 0;  // the page files read (every ".txt" but the resource files)
  std::vector<ContentProblem> problems;
};

// The folder's files in name order; files not ending in ".txt" (a README) are passed over.
ContentReport CheckContent(const std::string& folder);

}  // namespace velora
