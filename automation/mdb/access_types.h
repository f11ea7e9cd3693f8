// The column types of Access tables, as a table definition stores their
// codes, and a column as the query engine sees it.
#pragma once

#include <string>

namespace kestrin::automation::mdb {

// Access column type codes, as stored in a table definition.
enum class AccessType : int {
  kBoolean = 1,
  kByte = 2,
  kInteger = 3,
  kLong = 4,
  kCurrency = 5,
  kSingle = 6,
  kDouble = 7,
  kDateTime = 8,
  kBinary = 9,
  kText = 10,
  kOle = 11,
  kMemo = 12,
  kGuid = 15,
  kDecimal = 16,
  kComplex = 18,
};

struct ColumnInfo {
  std::string name;
  AccessType type = AccessType::kText;
};

}  // namespace kestrin::automation::mdb
