// Writes the bundled sample database: a year of sales slips of a small
// wholesaler, and two saved queries over them. Run by hand when the sample
// should change; the result is committed as sample/sample.mdb.
#include <cstdio>
#include <string>

#include "tests/support/jet4_writer.h"

using namespace kestrin;
using automation::Currency;
using automation::DateTime;
using automation::Null;
using automation::Value;
using testsupport::Jet4Column;
using testsupport::Jet4Database;
using testsupport::Jet4Table;
using Type = automation::mdb::AccessType;

int main(int argc, char** argv) {
  const char* out = argc > 1 ? argv[1] : "sample/sample.mdb";
  const char* branches[] = {"札幌", "仙台", "東京", "名古屋", "大阪", "福岡"};
  struct Item {
    const char* name;
    std::int64_t price;  // yen
  };
  const Item items[] = {{"緑茶 500ml", 120},
                        {"ほうじ茶 2L", 280},
                        {"麦茶パック", 350},
                        {"抹茶ラテ", 180},
                        {"玄米茶", 420}};

  Jet4Table sales{"売上明細",
                  {{"伝票番号", Type::kLong},
                   {"売上日", Type::kDateTime},
                   {"支店", Type::kText, 20},
                   {"商品", Type::kText, 40},
                   {"数量", Type::kInteger},
                   {"単価", Type::kCurrency},
                   {"金額", Type::kCurrency},
                   {"備考", Type::kMemo}},
                  {},
                  {}};
  // A fixed pseudo-random sequence keeps the file the same on every run.
  std::uint32_t seed = 20261207;
  auto next = [&seed](std::uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int i = 0; i < 240; ++i) {
    const Item& item = items[next(5)];
    const std::int64_t qty = 1 + next(48);
    const double day = 46023 + i * 365.0 / 240;  // 2026-01-01 onwards
    Value note = Null{};
    if (i % 17 == 0) note = Value(std::string("納品日変更のため再発行"));
    if (i % 29 == 0) note = Value(std::string("00123"));  // a code that must stay text
    sales.rows.push_back({Value(std::int64_t{10001 + i}),
                          Value(DateTime{static_cast<double>(static_cast<int>(day))}),
                          Value(std::string(branches[next(6)])), Value(std::string(item.name)),
                          Value(qty), Value(Currency{item.price * 10000}),
                          Value(Currency{item.price * qty * 10000}), note});
  }

  Jet4Table branches_table{"支店", {{"支店", Type::kText, 20}, {"地域", Type::kText, 20}}, {}, {}};
  const char* regions[] = {"北海道", "東北", "関東", "中部", "近畿", "九州"};
  for (int i = 0; i < 6; ++i) {
    branches_table.rows.push_back(
        {Value(std::string(branches[i])), Value(std::string(regions[i]))});
  }

  Jet4Database db;
  db.tables = {sales, branches_table};
  // 大口売上: slips of 10,000 yen or more, newest first.
  db.queries.push_back({"大口売上",
                        testsupport::query_flags::kSelect,
                        {{0, "", 0, "", "", 0},
                         {1, "", 1, "", "", 0},
                         {3, "", 0, "", "", 0},
                         {5, "", 0, "売上明細", "", 0},
                         {6, "[売上明細].[伝票番号]", 0, "", "", 0},
                         {6, "[売上明細].[売上日]", 0, "", "", 0},
                         {6, "[売上明細].[支店]", 0, "", "", 0},
                         {6, "[売上明細].[商品]", 0, "", "", 0},
                         {6, "[売上明細].[金額]", 0, "", "", 0},
                         {8, "[売上明細].[金額]>=10000", 0, "", "", 0},
                         {11, "[売上明細].[売上日]", 0, "D", "", 0},
                         {255, "", 0, "", "", 0}}});
  // 地域別売上: sales joined with their branch's region.
  db.queries.push_back({"地域別売上",
                        testsupport::query_flags::kSelect,
                        {{0, "", 0, "", "", 0},
                         {1, "", 1, "", "", 0},
                         {3, "", 0, "", "", 0},
                         {5, "", 0, "売上明細", "", 0},
                         {5, "", 0, "支店", "", 0},
                         {6, "[支店].[地域]", 0, "", "", 0},
                         {6, "[売上明細].[支店]", 0, "", "", 0},
                         {6, "[売上明細].[商品]", 0, "", "", 0},
                         {6, "[売上明細].[数量]", 0, "", "", 0},
                         {6, "[売上明細].[金額]", 0, "", "", 0},
                         {7, "[売上明細].[支店]=[支店].[支店]", 1, "売上明細", "支店", 0},
                         {255, "", 0, "", "", 0}}});
  testsupport::WriteJet4Database(db, out);
  std::printf("wrote %s\n", out);
  return 0;
}
