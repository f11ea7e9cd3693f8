// The column-letter table through which the export engine turns a column
// number into A1 notation, and the border indexes of the ruled-line step.
#pragma once

#include <array>
#include <string>

namespace kestrin::exporting {

// ColTbl: index 0..51 holds "A".."Z" then "AA".."AZ", so A1 addresses reach
// column 52 (AZ) and no further.
inline constexpr int kColTblSize = 52;

// Entry `index` of ColTbl (the letter of sheet column index + 1). Throws
// AutomationError 9 (subscript out of range) outside 0..51.
std::string ColTbl(int index);

// BorderTbl: left, top, bottom and right edge, inside vertical and inside
// horizontal, in the order the lines are drawn.
inline constexpr std::array<int, 6> kBorderTbl = {7, 8, 9, 10, 11, 12};

}  // namespace kestrin::exporting
