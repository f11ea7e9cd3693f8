// Cell references as the program passes them, turned into zero-based sheet
// positions: single cells in "r<row>c<column>" form, blocks in A1 form
// ("B3:F103" or "B3"), whole rows ("1:101") and whole columns ("C:G").
//
// Every parser throws AutomationError 1004 with a description naming the
// text when it is malformed or lies off the sheet (kMaxRows x kMaxColumns).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrin::automation::uno {

inline constexpr int kMaxRows = 1'048'576;
inline constexpr int kMaxColumns = 16'384;

struct CellPos {
  int row = 0;  // from 0
  int col = 0;  // from 0
  friend bool operator==(const CellPos&, const CellPos&) = default;
};

// A rectangle of cells, inclusive bounds, from 0.
struct Block {
  int top = 0;
  int left = 0;
  int bottom = 0;
  int right = 0;
  friend bool operator==(const Block&, const Block&) = default;
};

// The grid of a sheet in a workbook file: rows and columns its format holds
// (an .xls or .xlt sheet 65,536 x 256, any other kMaxRows x kMaxColumns).
struct Grid {
  int rows = kMaxRows;
  int columns = kMaxColumns;
};
Grid GridOf(const std::filesystem::path& workbook);

// "r3c2" -> row 2, column 1. Lower-case letters, decimal numbers from 1.
CellPos ParseR1C1(std::string_view reference);

// "B3:F103" or "B3"; letters in either case, corners in any order.
Block ParseA1Block(std::string_view address);

// "1:101" (or "7") -> rows 0 to 100, all columns.
Block ParseRowSpan(std::string_view span);

// "C:G" (or "C") -> columns 2 to 6, all rows.
Block ParseColumnSpan(std::string_view span);

// Column letters of a column from 0: 0 -> "A", 26 -> "AA".
std::string ColumnLetters(int col);

// "Sheet name!B3:F103" split at its last '!'; the sheet name may contain
// blanks and may be quoted 'like this' (a doubled quote inside stands for
// one). Throws 1004 when there is no '!' or the sheet name is empty.
struct SheetBlock {
  std::string sheet;
  Block block;
};
SheetBlock ParseSheetBlock(std::string_view source);

}  // namespace kestrin::automation::uno
