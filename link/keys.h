// What the calculator's replies carry: the first data byte of a menu or text reply, the flags of
// an input reply, and the keys of the calculator's key box that produce them.
#pragma once

#include <cstdint>

namespace velora {

// Menu reply: an item 1..7 of the page, or one of these.
inline constexpr std::uint8_t MenuSelectMain = 0;
inline constexpr std::uint8_t MenuPreviousPage = 252;
inline constexpr std::uint8_t MenuNextPage = 253;

// Text reply: paging keys and Enter; any other code continues.
inline constexpr std::uint8_t TextKeyNext = 1;
inline constexpr std::uint8_t TextKeyLeft = 2;
inline constexpr std::uint8_t TextKeyRight = 3;
inline constexpr std::uint8_t TextKeyPrevious = 4;
inline constexpr std::uint8_t TextKeyJump = 9;  // Enter
inline constexpr std::uint8_t KeyEscapeCode = 27;

// Input reply: flags byte, then length and text.
inline constexpr std::uint8_t InputEscaped = 0x01;

}  // namespace velora
