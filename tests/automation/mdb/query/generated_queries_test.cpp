// Saved queries written into generated Access files, read back through the
// Access interfaces: the MSysQueries rows travel through the file and the
// reader before the engine sees them. Expected results are worked out here
// from the rows the test wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>

#include <unistd.h>

#include "automation/failure.h"
#include "automation/mdb/mdb_access.h"
#include "tests/automation/mdb/query/fake_tables.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/temp_folder.h"

namespace kestrin::automation::mdb {
namespace {

using testing::QueryBuilder;
namespace ts = testsupport;

struct Order {
  std::int64_t id, cust;
  std::int64_t amount;  // ten-thousandths
  double shipped;
  bool paid;
};

class GeneratedQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 250; ++i) {
      orders_.push_back({i, (i * 7) % 18 + 1, (i * 37 % 500) * 10000LL + (i % 4) * 2500,
                         45000.0 + (i % 3) * 400 + i % 30, i % 3 == 0});
    }
    ts::Jet4Table orders{"Orders",
                         {{"OrderID", AccessType::kLong},
                          {"CustID", AccessType::kLong},
                          {"Amount", AccessType::kCurrency},
                          {"Shipped", AccessType::kDateTime},
                          {"Paid", AccessType::kBoolean}},
                         {},
                         {}};
    for (const Order& o : orders_) {
      orders.rows.push_back({Value(o.id), Value(o.cust), Value(Currency{o.amount}),
                             Value(DateTime{o.shipped}), Value(o.paid)});
    }
    ts::Jet4Table customers{
        "Customers", {{"CustID", AccessType::kLong}, {"Name", AccessType::kText, 30}}, {}, {}};
    for (int c = 1; c <= 20; ++c) {
      customers.rows.push_back({Value(std::int64_t{c}), Value("客" + std::to_string(c))});
    }

    ts::Jet4Database file;
    file.tables = {orders, customers};
    file.queries = {
        QueryBuilder("BigPaid")
            .Kind(1)
            .Source("Orders")
            .Output("Orders.OrderID")
            .Output("Orders.Amount")
            .Where("Orders.Paid = True AND Orders.Amount >= 300")
            .OrderBy("Orders.OrderID"),
        QueryBuilder("Totals")
            .Kind(1)
            .Source("Customers")
            .Source("Orders")
            .Output("Customers.CustID")
            .Output("Sum(Orders.Amount)", "Total")
            .Join("Customers", "Orders", "Customers.CustID = Orders.CustID", 2)
            .GroupBy("Customers.CustID")
            .OrderBy("Customers.CustID"),
        QueryBuilder("BigTotals").Kind(1).Options(1).Source("Totals").Where("Total > 4000"),
        QueryBuilder("Top3")
            .Kind(1)
            .Options(0x10, "3")
            .Source("Orders")
            .Output("OrderID")
            .Output("Amount")
            .OrderBy("Amount", true),
        QueryBuilder("ByYear", ts::query_flags::kCrosstab)
            .Kind(6)
            .Source("Orders")
            .Output("CustID", "", 2)
            .Output("Sum(Amount)", "", 0)
            .Output("Format(Shipped, \"yyyy\")", "", 1)
            .GroupBy("CustID", 2)
            .GroupBy("Format(Shipped, \"yyyy\")", 1),
        QueryBuilder("Names", ts::query_flags::kUnion)
            .Kind(9)
            .Row(5, "SELECT Name FROM Customers WHERE CustID <= 2", 0, "", "p1")
            .Row(5, "SELECT \"zz\" FROM Customers WHERE CustID = 1", 0, "", "p2"),
        QueryBuilder("Asks")
            .Kind(1)
            .Row(2, "", 4, "MinAmount")
            .Source("Orders")
            .Output("OrderID")
            .Where("Amount > [MinAmount]"),
        QueryBuilder("Purge", ts::query_flags::kDelete).Kind(5).Source("Orders").Where("Paid"),
    };
    path_ = folder_.path() / "generated.mdb";
    ts::WriteJet4Database(file, path_);
    app_ = MakeMdbAccessServer()->CreateObject();
    app_->OpenCurrentDatabase(path_.string(), false);
    db_ = app_->CurrentDatabase();
  }
  void TearDown() override {
    db_.reset();
    app_.reset();
  }

  std::vector<std::vector<Value>> Rows(const std::string& query) {
    std::vector<std::vector<Value>> rows;
    auto rs = db_->OpenRecordset(query);
    for (; !rs->Eof(); rs->MoveNext()) {
      std::vector<Value> row;
      for (int i = 0; i < rs->Fields().Count(); ++i) row.push_back(rs->FieldValue(i));
      rows.push_back(std::move(row));
    }
    return rows;
  }
  std::int32_t ErrorOf(const std::string& query) {
    try {
      db_->OpenRecordset(query);
    } catch (const AutomationError& e) {
      EXPECT_FALSE(e.description().empty());
      return e.number();
    }
    return 0;
  }

  std::vector<Order> orders_;
  ::kestrin::testing::TempFolder folder_;
  std::filesystem::path path_;
  std::shared_ptr<AccessApplication> app_;
  std::shared_ptr<DaoDatabase> db_;
};

TEST_F(GeneratedQueries, CatalogueCarriesTypesAndOutputNames) {
  const auto& queries = db_->QueryDefs();
  ASSERT_EQ(queries.Count(), 8);
  EXPECT_EQ(queries.Item(std::string_view("BigPaid")).Type(), 0);
  EXPECT_EQ(queries.Item(std::string_view("ByYear")).Type(), 16);
  EXPECT_EQ(queries.Item(std::string_view("Names")).Type(), 128);
  EXPECT_EQ(queries.Item(std::string_view("Purge")).Type(), 32);
  const auto& totals = queries.Item(std::string_view("Totals")).Fields();
  ASSERT_EQ(totals.Count(), 2);
  EXPECT_EQ(totals.Name(0), "CustID");
  EXPECT_EQ(totals.Name(1), "Total");
}

TEST_F(GeneratedQueries, SelectJoinGroupAndQueryOnQuery) {
  std::vector<std::vector<Value>> big_paid;
  std::map<std::int64_t, std::int64_t> totals;
  for (const Order& o : orders_) {
    if (o.paid && o.amount >= 300 * 10000) big_paid.push_back({o.id, Currency{o.amount}});
    totals[o.cust] += o.amount;
  }
  EXPECT_EQ(Rows("BigPaid"), big_paid);

  std::vector<std::vector<Value>> expected_totals, expected_big;
  for (std::int64_t c = 1; c <= 20; ++c) {
    auto it = totals.find(c);
    Value total = it == totals.end() ? Value() : Value(Currency{it->second});
    expected_totals.push_back({c, total});
    if (it != totals.end() && it->second > 4000 * 10000) expected_big.push_back({c, total});
  }
  EXPECT_EQ(Rows("Totals"), expected_totals);
  EXPECT_EQ(Rows("BigTotals"), expected_big);
}

TEST_F(GeneratedQueries, TopWithTiesCrosstabAndUnion) {
  std::vector<std::int64_t> amounts;
  for (const Order& o : orders_) amounts.push_back(o.amount);
  std::sort(amounts.rbegin(), amounts.rend());
  const auto top3 = Rows("Top3");
  const auto tied = std::count(amounts.begin(), amounts.end(), amounts[2]) -
                    std::count(amounts.begin(), amounts.begin() + 2, amounts[2]);
  EXPECT_EQ(top3.size(), 2u + tied);
  for (const auto& row : top3) EXPECT_GE(row[1].currency().ten_thousandths, amounts[2]);

  // One column per year, sums per customer; Null where nothing shipped.
  std::map<std::int64_t, std::map<int, std::int64_t>> sums;
  for (const Order& o : orders_)
    sums[o.cust][o.shipped < 45400 ? 2023 : o.shipped < 45800 ? 2024 : 2025] += o.amount;
  auto rs = db_->OpenRecordset("ByYear");
  ASSERT_EQ(rs->Fields().Count(), 4);
  EXPECT_EQ(rs->Fields().Name(1), "2023");
  EXPECT_EQ(rs->Fields().Name(3), "2025");
  int seen = 0;
  for (; !rs->Eof(); rs->MoveNext(), ++seen) {
    const auto& by_year = sums.at(rs->FieldValue(0).integer());
    for (int y = 0; y < 3; ++y) {
      auto it = by_year.find(2023 + y);
      EXPECT_EQ(rs->FieldValue(1 + y), it == by_year.end() ? Value() : Value(Currency{it->second}));
    }
  }
  EXPECT_EQ(seen, static_cast<int>(sums.size()));

  EXPECT_EQ(Rows("Names"), (std::vector<std::vector<Value>>{{"zz"}, {"客1"}, {"客2"}}));
}

TEST_F(GeneratedQueries, ParametersActionQueriesAndUnknownNamesAreRefused) {
  EXPECT_EQ(ErrorOf("Asks"), 3061);
  EXPECT_NE(ErrorOf("Purge"), 0);
  EXPECT_EQ(ErrorOf("NoSuchQuery"), 3078);
  // The refusals leave the database usable.
  EXPECT_EQ(Rows("Names").size(), 3u);
}

}  // namespace
}  // namespace kestrin::automation::mdb
