#include "automation/uno/column_fit_plan.h"

#include <algorithm>
#include <set>
#include <utility>

#include "automation/uno/cell_values.h"

namespace kestrin::automation::uno {
namespace {

// Above this many groups of alike cells in a run, width bounds narrow them.
constexpr std::size_t kPruneAbove = 64;

struct Interval {
  int first, last;
  friend bool operator==(const Interval&, const Interval&) = default;
};

// The written cells of one column, by row, the last write of a cell kept.
std::vector<KnownCell> KnownCells(const std::vector<ValueBlock>& written, int c) {
  std::vector<KnownCell> column;
  bool ordered = true;
  for (const ValueBlock& block : written) {
    if (c < block.area.left || c > block.area.right) continue;
    for (int r = block.area.top; r <= block.area.bottom; ++r) {
      if (!column.empty() && column.back().row >= r) ordered = false;
      column.push_back(KnownCell{r, &block.at(r, c)});
    }
  }
  if (ordered) return column;
  std::stable_sort(column.begin(), column.end(),
                   [](const KnownCell& a, const KnownCell& b) { return a.row < b.row; });
  std::vector<KnownCell> last;
  for (const KnownCell& k : column) {
    if (!last.empty() && last.back().row == k.row) {
      last.back() = k;
    } else {
      last.push_back(k);
    }
  }
  return last;
}

// Rows 0..end not in `rows` (ascending), as intervals.
std::vector<Interval> Complement(const std::vector<KnownCell>& rows, int end) {
  std::vector<Interval> out;
  int next = 0;
  for (const KnownCell& k : rows) {
    if (k.row > end) break;
    if (k.row > next) out.push_back(Interval{next, k.row - 1});
    next = k.row + 1;
  }
  if (next <= end) out.push_back(Interval{next, end});
  return out;
}

// The written cells of rows top..bottom of one column that show something.
struct Contents {
  std::vector<const Value*> values;
  std::vector<CellContent> contents;
};
Contents ContentsOf(const std::vector<KnownCell>& column, int top, int bottom) {
  auto from = std::lower_bound(column.begin(), column.end(), top,
                               [](const KnownCell& k, int row) { return k.row < row; });
  Contents out;
  for (auto it = from; it != column.end() && it->row <= bottom; ++it) {
    const Value& v = *it->value;
    CellContent content;
    if (v.kind() == Value::Kind::kText) {
      if (v.text().empty()) continue;  // an empty cell
      content.text = &v.text();
    } else if (auto number = NumberInCell(v)) {
      content.number = *number;
    } else {
      continue;  // an empty cell
    }
    out.values.push_back(it->value);
    out.contents.push_back(content);
  }
  return out;
}

// By run, then by column from the layout's left: the written values that
// can be their column's widest. Texts measured in their fonts are weighed
// against the whole column; where the layout keeps the fonts from telling
// (wrapped or turned text), bounds of the texts' widths narrow the run's.
using Picks = std::vector<std::vector<std::vector<const Value*>>>;
Picks ChoosePicks(const FitLayout& layout, const std::vector<FormatRun>& runs,
                  const FontFinder& fonts) {
  const auto columns = layout.known.size();
  Picks picks(runs.size(), std::vector<std::vector<const Value*>>(columns));
  std::vector<CellFonts> run_fonts;
  for (const FormatRun& run : runs) run_fonts.push_back({fonts(run.western), fonts(run.asian)});
  for (std::size_t i = 0; i < columns; ++i) {
    const int c = layout.left + static_cast<int>(i);
    std::vector<std::pair<std::size_t, const Value*>> measured;
    std::vector<Measured> widths;
    std::set<std::pair<int, std::string>> seen;  // alike cells of earlier runs
    for (std::size_t k = 0; k < runs.size(); ++k) {
      const FormatRun& run = runs[k];
      if (c < run.area.left || c > run.area.right) continue;
      const Contents in = ContentsOf(layout.known[i], run.area.top, run.area.bottom);
      if (!run.plain_layout) {
        const bool alike = run_fonts[k].western != nullptr && run_fonts[k].western->DigitsAlike();
        for (std::size_t j : CellsToMeasure(in.contents, run.look, alike, kPruneAbove)) {
          picks[k][i].push_back(in.values[j]);
        }
        continue;
      }
      for (MeasuredGroup& g : MeasureGroups(in.contents, run.look, run_fonts[k])) {
        if (!seen.emplace(run.format, std::move(g.key)).second) continue;
        measured.emplace_back(k, in.values[g.first]);
        widths.push_back(g.width);
      }
    }
    const std::vector<bool> keep = NearWidest(widths);
    for (std::size_t j = 0; j < measured.size(); ++j) {
      if (keep[j]) picks[measured[j].first][i].push_back(measured[j].second);
    }
  }
  return picks;
}

}  // namespace

FitLayout LayOutFit(const std::vector<ValueBlock>& written, int left, int right, int used_end,
                    std::optional<Block> filter, std::size_t most_copies) {
  FitLayout layout;
  layout.left = left;
  layout.right = right;
  layout.filter = filter;
  std::vector<Interval> previous;
  for (int c = left; c <= right; ++c) {
    std::vector<KnownCell> column = KnownCells(written, c);
    layout.written_cells += static_cast<long>(column.size());
    // The filter buttons' row is copied in place with the other cells.
    if (filter && c >= filter->left && c <= filter->right) {
      std::erase_if(column, [&](const KnownCell& k) { return k.row == filter->top; });
    }
    std::vector<Interval> gaps = Complement(column, used_end);
    if (c > left && gaps == previous) {
      const std::size_t n = layout.copies.size();
      for (std::size_t k = n - gaps.size(); k < n; ++k) layout.copies[k].right = c;
    } else {
      for (const Interval& g : gaps) layout.copies.push_back(Block{g.first, c, g.last, c});
    }
    previous = std::move(gaps);
    layout.known.push_back(std::move(column));
  }
  layout.too_scattered = layout.copies.size() > most_copies;
  return layout;
}

FitPlan PlanFit(const FitLayout& layout, const std::vector<FormatRun>& runs,
                const FontFinder& fonts) {
  FitPlan plan;
  const auto columns = static_cast<std::size_t>(layout.right - layout.left + 1);
  plan.plain.assign(columns, false);
  if (layout.merged.size() == columns) plan.plain = layout.merged;
  std::vector<long> chosen_in(columns, 0);
  const Picks all = ChoosePicks(layout, runs, fonts);
  for (std::size_t k = 0; k < runs.size(); ++k) {
    const FormatRun& run = runs[k];
    const int l = std::max(layout.left, run.area.left), r = std::min(layout.right, run.area.right);
    if (l > r) continue;
    // The filter buttons' row was copied with the other cells; rows above
    // it are left unused.
    int top = run.area.top;
    const auto& f = layout.filter;
    if (f && f->top >= top && f->top <= run.area.bottom && l <= f->right && r >= f->left) {
      top = f->top + 1;
    }
    std::vector<std::vector<const Value*>> picks(static_cast<std::size_t>(r - l + 1));
    std::size_t rows = 0;
    for (int c = l; c <= r; ++c) {
      const auto i = static_cast<std::size_t>(c - layout.left);
      if (plan.plain[i]) continue;
      picks[static_cast<std::size_t>(c - l)] = all[k][i];
      rows = std::max(rows, all[k][i].size());
    }
    if (rows == 0) continue;
    // The candidates go into rows of their own run, which must hold them.
    if (top + static_cast<int>(rows) - 1 > run.area.bottom) {
      for (int c = l; c <= r; ++c) plan.plain[static_cast<std::size_t>(c - layout.left)] = true;
      continue;
    }
    // A column short of candidates repeats its first, or stays empty.
    Candidates candidates{Block{top, l, top + static_cast<int>(rows) - 1, r}, {}};
    for (std::size_t j = 0; j < rows; ++j) {
      std::vector<const Value*> line;
      for (const auto& pick : picks) {
        line.push_back(pick.empty() ? nullptr : pick[j < pick.size() ? j : 0]);
      }
      candidates.rows.push_back(std::move(line));
    }
    plan.candidates.push_back(std::move(candidates));
    for (std::size_t n = 0; n < picks.size(); ++n) {
      chosen_in[static_cast<std::size_t>(l - layout.left) + n] +=
          static_cast<long>(picks[n].size());
    }
  }
  for (std::size_t i = 0; i < columns; ++i) {
    if (!plan.plain[i]) plan.chosen_cells += chosen_in[i];
  }
  return plan;
}

}  // namespace kestrin::automation::uno
