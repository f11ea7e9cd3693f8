// The records every export benchmark writes: ten fields cycling through a
// number, a text, a double and a date, so that every kind of cell is timed.
#pragma once

#include <string>
#include <vector>

#include "automation/value.h"

namespace kestrin::bench {

inline constexpr int kBenchFields = 10;

inline std::vector<automation::Value> BenchRow(int r) {
  std::vector<automation::Value> row;
  row.reserve(kBenchFields);
  for (int f = 0; f < kBenchFields; ++f) {
    switch (f % 4) {
      case 0:
        row.emplace_back(r * 10 + f);
        break;
      case 1:
        row.emplace_back("text " + std::to_string(r));
        break;
      case 2:
        row.emplace_back(r * 0.25);
        break;
      default:
        row.emplace_back(automation::DateTime{40000.0 + r});
        break;
    }
  }
  return row;
}

}  // namespace kestrin::bench
