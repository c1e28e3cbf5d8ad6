// Content files (one screen per file in the content directory) and the paged long menu.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/cp1252.h"
#include "common/text.h"
#include "session/action.h"

namespace velora {

// Screen types named on line 2 of a content file.
inline constexpr int ContentTypeText = 11;
inline constexpr int ContentTypeMenu = 14;
inline constexpr int ContentTypeInput = 15;

inline constexpr std::string_view LoginFile = "login.txt";
// The prompt of the login field shown when "login.txt" cannot be.
inline constexpr std::string_view BuiltInLoginPrompt = "Bitte gib Dein Paßwort ein:"_cp;
inline constexpr std::string_view KickFile = "kickme";

inline constexpr std::size_t MenuCaptionMax = 14;
inline constexpr std::size_t MenuTitleMax = 16;
inline constexpr int MenuItemsPerPage = 7;
// A stored input value is offered for editing up to this length.
inline constexpr std::size_t InputValueOffered = 240;

struct TLMenuItem {
  std::string Caption;  // at most 14 characters are shown
  TAction Action;
};

struct TLongMenu {
  std::string Title;  // at most 16 characters
  std::int32_t MaxPage = 0;
  std::int32_t Page = 0;
  std::vector<TLMenuItem> Items;
};

// The name with ".txt" appended unless it already ends in it (case-sensitive).
std::string WithTxt(std::string_view name);

// True for the name of the login page, with or without ".txt".
bool IsLoginPage(std::string_view name);

// Reads a text file (".txt" added when missing) into its lines, without CR LF or LF. False when
// there is no such regular file or it cannot be read.
bool ReadContentLines(std::string_view path, TAoS& lines);

}  // namespace velora
