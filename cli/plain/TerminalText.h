#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text on its way to a terminal, in UTF-8. Labels, names and paths come from
// the hardware's drivers and the agent: control characters in them (escape
// sequences, carriage returns) must not reach the terminal. Widths are counted
// in UTF-16 code units, as the reports have always aligned their columns.
namespace TerminalText {

// The text without C0 controls (but line feed and tab), DEL and C1 controls.
std::string printable(std::string_view utf8);

// The width of valid UTF-8 text: one per character, two beyond U+FFFF.
std::size_t width(std::string_view utf8);

// Padded with spaces after (leftJustified) or before (rightJustified) to
// `width`; longer text stays as it is.
std::string leftJustified(std::string_view utf8, std::size_t width);
std::string rightJustified(std::string_view utf8, std::size_t width);

// Whether the bytes are UTF-8 a D-Bus string may hold: no NUL, no overlong
// forms, no surrogates, nothing beyond U+10FFFF.
bool isValidUtf8(std::string_view bytes);

} // namespace TerminalText
