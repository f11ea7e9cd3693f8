// The one conversion of the export settings from text to a 16-bit signed
// integer, shared by the window's boxes and by pattern files, so that both
// accept exactly the same texts.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrin::exporting {

// Blanks (spaces and tabs) around the number are ignored. The number is
// decimal, with an optional sign, fraction and exponent ("7", " 7 ", "-3",
// "2.5", "1e2"); a fraction is rounded to the nearest integer, a half to the
// even neighbour (2.5 gives 2, 3.5 gives 4). Throws AutomationError 13 (type
// mismatch) for empty or non-numeric text, 6 (overflow) for a value outside
// -32768..32767 after rounding.
std::int16_t TextToInt16(std::string_view text);

}  // namespace kestrin::exporting
