// Planning a fit of whole columns that gives the widths the office's own
// fit gives while the office measures only a few cells.
//
// The office fits a column to the widest of its filled cells. The plan puts
// onto a scratch sheet, in the same places, every filled cell of the
// columns that the program did not write (copied as they are), and of the
// cells it wrote only those that can be a column's widest (their texts
// measured in their fonts, fit_estimate.h), copied with their formats; the
// office fits the scratch columns and their widths go to the sheet's
// columns. The office's own measure of those few cells gives each column
// exactly the width its fit of every cell gives: the office's pixels per
// twip follow from the workbook's default font, which it does not tell. Where that cannot be told,
// a column is left to the office's fit of every cell on the sheet itself.
//
// Everything here is pure: it works from the blocks the program wrote, the
// sheet's used area, its AutoFilter and the written cells' formats, and
// leaves every call to the office to its caller. Internal to automation/uno/.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "automation/uno/addresses.h"
#include "automation/uno/cell_batch.h"
#include "automation/uno/fit_estimate.h"
#include "automation/uno/text_widths.h"

namespace kestrin::automation::uno {

// A written cell of a column: its row and its last written value.
struct KnownCell {
  int row;
  const Value* value;
};

// Where the cells of columns left..right lie.
struct FitLayout {
  int left = 0, right = 0;
  // By column from `left`: the written cells in row order, the last write of
  // each kept, those of the AutoFilter's button row left out.
  std::vector<std::vector<KnownCell>> known;
  // Every other cell of the columns down to the used area's end, as few
  // rectangles as adjacent columns allow; copied as they are.
  std::vector<Block> copies;
  // The sheet's AutoFilter area: its first row carries the filter buttons,
  // which widen those cells and which a copy does not carry, so it is copied
  // and filtered again on the scratch sheet.
  std::optional<Block> filter;
  // By column from `left`, when set: columns holding or crossed by merged
  // cells, which the office's fit passes over in ways a copy may not keep;
  // they are left to its fit of every cell.
  std::vector<bool> merged;
  long written_cells = 0;  // written cells in the columns, filter row included
  // More copies than a fit should make: the office's own fit is quicker.
  bool too_scattered = false;
};

// Lays out columns left..right (from 0) given the blocks written into the
// sheet (in the order written), the last row of its used area and its
// AutoFilter area. More than `most_copies` copies make it too scattered.
FitLayout LayOutFit(const std::vector<ValueBlock>& written, int left, int right, int used_end,
                    std::optional<Block> filter, std::size_t most_copies);

// Equally formatted written cells, as the office reports them.
struct FormatRun {
  Block area;
  NumberLook look;  // how its number format shows numbers
  FontSpec western, asian;
  // One line, upright, unmerged: as wide as its text in its font.
  bool plain_layout = true;
  // Runs of one format have the same number; a text shown in one is as wide
  // as in another.
  int format = 0;
};

// The widths of texts in a font, or null where the font cannot be found.
using FontFinder = std::function<TextWidths*(const FontSpec&)>;

// The candidates of one run, written on the scratch sheet over a copy of
// the run's first rows (formats and all): row by row, one value per column
// of `area`, null for a column that keeps its cell empty.
struct Candidates {
  Block area;
  std::vector<std::vector<const Value*>> rows;
};

struct FitPlan {
  std::vector<Candidates> candidates;
  // By column from the layout's left: fitted by the office on the sheet
  // itself, every cell measured.
  std::vector<bool> plain;
  long chosen_cells = 0;  // written cells measured on the scratch sheet
};

// The plan for a layout (not too scattered) whose written cells have the
// formats `runs`, their texts measured in the fonts `fonts` finds. The
// values the plan points to are those of the blocks the layout was made
// from.
FitPlan PlanFit(const FitLayout& layout, const std::vector<FormatRun>& runs,
                const FontFinder& fonts);

}  // namespace kestrin::automation::uno
