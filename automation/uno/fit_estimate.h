// Which cells of a column can decide its fitted width.
//
// The office fits a column to the widest of its cells, and measuring every
// cell is what makes a fit slow. These helpers pick, among cells that share
// one font and one number format, a small set that surely holds a widest
// cell, from the cells' contents alone:
// - cells showing the same text are equally wide, so one of them is enough;
// - when the font's ten digits are equally wide (the caller measures that),
//   texts that differ only in which digits they hold are equally wide too,
//   so cells are grouped by their shown text with every digit made '0';
// - when many groups remain, a bound of each shown text's width in ems by
//   character class drops the groups that cannot reach the widest lower
//   bound.
// A number whose shown text cannot be told for certain is kept as its own
// group, never merged with another.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/uno/text_widths.h"

namespace kestrin::automation::uno {

// A cell's content as the office holds it: a text, or a number.
struct CellContent {
  const std::string* text = nullptr;  // null: a number
  double number = 0;
};

// How one number format shows numbers.
class NumberLook {
 public:
  // The "General" format: at most 15 significant digits.
  static NumberLook General();
  // A format code. Codes made only of day, month, year, hour, minute and
  // second fields with separators are understood, and "BOOLEAN" (TRUE and
  // FALSE, as in English) and "@" (texts as they are); any other code shows
  // numbers in ways not told here.
  static NumberLook FromCode(std::string_view code);

  // The text shown for `number`, when it is certain; nullopt otherwise.
  std::optional<std::string> Text(double number) const;
  // The same into `out`, whose room is used again; false when not certain.
  bool TextInto(double number, std::string& out) const;
  // That text with every digit turned into '0'.
  std::optional<std::string> Shape(double number) const;
  // True when a text in a cell of this format is shown unchanged.
  bool ShowsTextAsIs() const { return kind_ != Kind::kOther; }

 private:
  enum class Kind { kGeneral, kDateTime, kBoolean, kText, kOther };
  struct Field {
    char unit = 0;   // y M d h m s, or 0 for a literal
    int digits = 0;  // fixed digit count; 0: as many as needed (at least 1)
    std::string literal;
  };
  Kind kind_ = Kind::kOther;
  std::vector<Field> fields_;
  bool has_time_ = false;
  bool DateTimeText(double serial, std::string& out) const;
  // The value of each field for `total` seconds from 1899-12-30; false out
  // of the years told.
  bool FieldValues(std::int64_t total, std::array<std::int64_t, 24>& values) const;
};

// Bounds of the width of a one-line text in ems of its font, for any common
// font: proportional, fixed-pitch and East Asian, with pair kerning. A text
// of several lines is as wide as its widest line.
struct WidthBounds {
  double lo = 0;
  double hi = 0;
};
WidthBounds TextWidthBounds(std::string_view utf8);

// Indexes into `cells` of the cells to measure: their widest is as wide as
// the widest of all `cells`, which share one font and the number format
// `look`. `digits_alike`: the font's digits are equally wide and do not
// kern with each other. More than `prune_above` groups are narrowed by width
// bounds.
std::vector<std::size_t> CellsToMeasure(const std::vector<CellContent>& cells,
                                        const NumberLook& look, bool digits_alike,
                                        std::size_t prune_above);

// The fonts a run of equally formatted cells is shown in; null where
// they cannot be measured.
struct CellFonts {
  TextWidths* western = nullptr;
  TextWidths* asian = nullptr;
};

// How wide a group of cells is, in pixels, when the office's own language
// is Western and when it is Asian (a text of digits and punctuation alone
// takes that language's font); nullopt when it cannot be told.
struct Measured {
  std::optional<long> western_office, asian_office;
};

// The cells of `cells` that show equally wide texts in the number format
// `look` and the fonts `fonts`, grouped: for each group the index of its
// first cell, a key that names the group among cells of that format, and
// the group's width.
struct MeasuredGroup {
  std::size_t first;
  std::string key;
  Measured width;
};
std::vector<MeasuredGroup> MeasureGroups(const std::vector<CellContent>& cells,
                                         const NumberLook& look, const CellFonts& fonts);

// Which of `widths` (of one column, in any formats) can be the widest: those
// that come within a tenth (and two pixels) of the widest, and every one
// that cannot be told.
std::vector<bool> NearWidest(const std::vector<Measured>& widths);

// Indexes into `cells` of the cells to measure, among cells that share the
// number format `look` and the fonts `fonts`: MeasureGroups, then
// NearWidest.
std::vector<std::size_t> CellsToMeasure(const std::vector<CellContent>& cells,
                                        const NumberLook& look, const CellFonts& fonts);

}  // namespace kestrin::automation::uno
