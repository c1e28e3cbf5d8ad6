// The two character tables of the calculators: PC text (Windows-1252) to calculator codes for
// what the server sends, and calculator codes back to PC text for a simulated calculator's screen.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velora {

// Entry b is the byte that b becomes; 0 leaves the byte unchanged.
using CharTable = std::array<std::uint8_t, 256>;

// PC byte to calculator byte; an unknown model counts as a TI 82.
const CharTable& TranslationTable(std::uint8_t calcType);
// Calculator byte to PC character, for showing a calculator's screen.
const CharTable& DisplayTable(std::uint8_t calcType);

// Byte for byte through the table; the length does not change.
std::string TranslateText(std::string_view text, std::uint8_t calcType);

}  // namespace velora
