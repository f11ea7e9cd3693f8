// Column letters through which the export engine turns a column number into
// A1 notation, and the border indexes of the ruled-line step.
#pragma once

#include <array>
#include <string>

namespace kestrin::exporting {

// Columns the widest sheet has (an .xlsx sheet: A to XFD).
inline constexpr int kColTblSize = 16384;

// The letters of sheet column index + 1: "A" to "Z", "AA" to "ZZ", then
// "AAA" to "XFD". Throws AutomationError 9 (subscript out of range) outside
// 0..kColTblSize - 1.
std::string ColTbl(int index);

// BorderTbl: left, top, bottom and right edge, inside vertical and inside
// horizontal, in the order the lines are drawn.
inline constexpr std::array<int, 6> kBorderTbl = {7, 8, 9, 10, 11, 12};

}  // namespace kestrin::exporting
