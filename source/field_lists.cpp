#include "source/field_lists.h"

#include "export/export_settings.h"

namespace kestrin::source {
namespace {

PivotFieldEntries Entries(const automation::DaoFields& fields) {
  PivotFieldEntries entries;
  entries.second_level.push_back(exporting::kNoField);
  const int count = fields.Count();
  for (int i = 0; i < count; ++i) {
    std::string name = fields.Name(i);
    entries.second_level.push_back(name);
    entries.first_level.push_back(std::move(name));
  }
  return entries;
}

}  // namespace

PivotFieldEntries TableFieldEntries(const automation::DaoDatabase& db, const std::string& table) {
  return Entries(db.TableDefs().Item(table).Fields());
}

PivotFieldEntries QueryFieldEntries(const automation::DaoDatabase& db, const std::string& query) {
  return Entries(db.QueryDefs().Item(query).Fields());
}

}  // namespace kestrin::source
