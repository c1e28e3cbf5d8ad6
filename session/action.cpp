// Lookup of action ids.
#include "session/action.h"

namespace velora {

int FindActionNumber(std::string_view id) {
  for (int i = 1; i < ActionCount; ++i) {
    if (ActionIds[i] == id) return i;
  }
  return -1;
}

}  // namespace velora
