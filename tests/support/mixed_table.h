// Records shaped like those of the tables users export, for the pipeline
// benchmark and the column fit's tests: a long-integer key, a 7-digit code
// held as text, names like "Item 123", small integers, currency, doubles
// with many digits, date-times with seconds, Yes/No, four short region
// names and notes with about one Null in eleven. Record `r` from 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "automation/value.h"

namespace kestrin::testsupport {

inline std::vector<automation::Value> MixedRow(int r) {
  static const char* const kRegions[] = {"関東", "関西", "九州", "東北"};
  static const char* const kNotes[] = {"Call back before noon",
                                       "納品済み",
                                       "Check the invoice",
                                       "返品あり",
                                       "Urgent",
                                       "Paid by transfer",
                                       "見積書を送付済み、回答待ち"};
  std::string code = std::to_string((static_cast<std::int64_t>(r) * 7919 + 1234567) % 10000000);
  code.insert(0, 7 - code.size(), '0');
  const double updated =
      43831.0 + r % 1500 + (static_cast<std::int64_t>(r) * 7919 % 86400) / 86400.0;
  std::vector<automation::Value> row;
  row.emplace_back(r + 1);
  row.emplace_back(std::move(code));
  row.emplace_back("Item " + std::to_string(r * 37 % 5000 + 1));
  row.emplace_back(r * 13 % 500);
  row.emplace_back(automation::Currency{static_cast<std::int64_t>(r) * 1234567 % 99999999});
  row.emplace_back((r + 1) / 7.0);
  row.emplace_back(automation::DateTime{updated});
  row.emplace_back(r % 3 != 0);
  row.emplace_back(kRegions[r % 4]);
  if (r % 11 == 0) {
    row.emplace_back(automation::Null{});
  } else {
    row.emplace_back(std::string(kNotes[r % 7]) + (r % 5 == 0 ? " #" + std::to_string(r) : ""));
  }
  return row;
}

}  // namespace kestrin::testsupport
