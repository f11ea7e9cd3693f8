#include "automation/uno/column_fit_plan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrin::automation::uno {
namespace {

using ::testing::ElementsAre;

// A block written from (top, left), row by row.
ValueBlock Written(int top, int left, const std::vector<std::vector<Value>>& rows) {
  ValueBlock block{Block{top, left, top + static_cast<int>(rows.size()) - 1,
                         left + static_cast<int>(rows[0].size()) - 1},
                   {}};
  for (const auto& row : rows) block.values.insert(block.values.end(), row.begin(), row.end());
  return block;
}

FormatRun RunOf(Block area, NumberLook look = NumberLook::General()) {
  FormatRun run;
  run.area = area;
  run.look = look;
  return run;
}

// A font of 10 px for every character.
class EvenWidths : public TextWidths {
 public:
  std::optional<long> Width(std::string_view utf8) override {
    return 10 * static_cast<long>(utf8.size());
  }
  bool DigitsAlike() override { return true; }
};

TextWidths* NoFont(const FontSpec&) { return nullptr; }

std::vector<std::string> Shown(const Candidates& c) {
  std::vector<std::string> out;
  for (const auto& row : c.rows) {
    std::string line;
    for (const Value* v : row) line += (v == nullptr ? std::string("-") : Describe(*v)) + " ";
    out.push_back(line);
  }
  return out;
}

TEST(ColumnFitPlanTest, CellsTheProgramDidNotWriteAreCopiedInFewRectangles) {
  // Columns B:D hold a block from row 3 to 6; the sheet is used to row 9.
  std::vector<ValueBlock> written = {
      Written(2, 1, {{"a", "b", "c"}, {"d", "e", "f"}}),
      Written(4, 1, {{"g", "h", "i"}, {"j", "k", "l"}}),
  };
  FitLayout layout = LayOutFit(written, 1, 3, 9, std::nullopt, 64);
  EXPECT_FALSE(layout.too_scattered);
  EXPECT_EQ(layout.written_cells, 12);
  EXPECT_THAT(layout.copies, ElementsAre(Block{0, 1, 1, 3}, Block{6, 1, 9, 3}));
  ASSERT_EQ(layout.known.size(), 3u);
  EXPECT_EQ(layout.known[2].size(), 4u);

  // A cell written twice counts once, with its last value; a column with
  // other gaps gets rectangles of its own.
  written.push_back(Written(3, 3, {{"again"}}));
  written.push_back(Written(8, 2, {{"below"}}));
  layout = LayOutFit(written, 1, 3, 9, std::nullopt, 64);
  EXPECT_EQ(*layout.known[2][1].value, Value("again"));
  EXPECT_THAT(layout.copies, ElementsAre(Block{0, 1, 1, 1}, Block{6, 1, 9, 1}, Block{0, 2, 1, 2},
                                         Block{6, 2, 7, 2}, Block{9, 2, 9, 2}, Block{0, 3, 1, 3},
                                         Block{6, 3, 9, 3}));
  EXPECT_TRUE(LayOutFit(written, 1, 3, 9, std::nullopt, 6).too_scattered);
}

TEST(ColumnFitPlanTest, TheFilterButtonRowIsCopiedAndCandidatesGoBelowIt) {
  std::vector<std::vector<Value>> rows = {{"Name", "Code"}};
  for (int i = 0; i < 6; ++i) rows.push_back({Value("x"), Value(i % 2 == 0 ? "short" : "long")});
  std::vector<ValueBlock> written = {Written(0, 0, rows)};
  const Block filter{0, 0, 6, 1};
  FitLayout layout = LayOutFit(written, 0, 1, 6, filter, 64);
  EXPECT_EQ(layout.written_cells, 14);
  EXPECT_THAT(layout.copies, ElementsAre(Block{0, 0, 0, 1}));
  EXPECT_EQ(layout.known[0].front().row, 1);

  FitPlan plan = PlanFit(layout, {RunOf(Block{0, 0, 6, 1})}, NoFont);
  ASSERT_EQ(plan.candidates.size(), 1u);
  EXPECT_EQ(plan.candidates[0].area, (Block{1, 0, 2, 1}));
  // One "x" suffices; the shorter column repeats its first candidate.
  EXPECT_THAT(Shown(plan.candidates[0]), ElementsAre("\"x\" \"short\" ", "\"x\" \"long\" "));
  EXPECT_EQ(plan.chosen_cells, 3);
  EXPECT_THAT(plan.plain, ElementsAre(false, false));
}

TEST(ColumnFitPlanTest, EmptyColumnsStayEmptyAndColumnsThePlanCannotTellAreLeftToTheOffice) {
  std::vector<ValueBlock> written = {Written(
      0, 0, {{Value(Null{}), Value(1)}, {Value(""), Value(22)}, {Value(Null{}), Value(333)}})};
  std::vector<FormatRun> runs = {RunOf(Block{0, 0, 2, 1})};
  FitPlan plan = PlanFit(LayOutFit(written, 0, 1, 2, std::nullopt, 64), runs, NoFont);
  ASSERT_EQ(plan.candidates.size(), 1u);
  EXPECT_THAT(Shown(plan.candidates[0]), ElementsAre("- 1 ", "- 22 ", "- 333 "));
  // Measured in the run's font, only the widest number is left.
  EvenWidths font;
  plan = PlanFit(LayOutFit(written, 0, 1, 2, std::nullopt, 64), runs,
                 [&](const FontSpec&) { return &font; });
  EXPECT_THAT(Shown(plan.candidates[0]), ElementsAre("- 333 "));
  EXPECT_EQ(plan.chosen_cells, 1);
  // A column with merged cells is fitted by the office alone; its run's
  // other columns keep their candidates.
  FitLayout merged = LayOutFit(written, 0, 1, 2, std::nullopt, 64);
  merged.merged = {false, true};
  plan = PlanFit(merged, runs, [&](const FontSpec&) { return &font; });
  EXPECT_THAT(plan.plain, ElementsAre(false, true));
  EXPECT_TRUE(plan.candidates.empty());
  EXPECT_EQ(plan.chosen_cells, 0);

  // A filter whose button row lies inside a run: the candidates must go
  // below that row, where this run has no room for three of them.
  written = {Written(0, 0, {{"a"}, {"bb"}, {"head"}, {"ccc"}})};
  FitLayout layout = LayOutFit(written, 0, 0, 3, Block{2, 0, 3, 0}, 64);
  plan = PlanFit(layout, {RunOf(Block{0, 0, 3, 0})}, NoFont);
  EXPECT_TRUE(plan.candidates.empty());
  EXPECT_THAT(plan.plain, ElementsAre(true));
  EXPECT_EQ(plan.chosen_cells, 0);
}

}  // namespace
}  // namespace kestrin::automation::uno
