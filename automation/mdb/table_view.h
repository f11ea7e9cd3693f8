// A table's records as DAO shows them, from the records as the file holds
// them.
//
// Access 2007 and later keep the values of attachment and multi-value fields
// in hidden tables (one per field, named "f_<GUID>_<field>" and flagged as
// system objects), keyed by a Long that the field holds in the table's row;
// MSysComplexColumns says which hidden table belongs to which field, and the
// kind of field by its type table. An append-only memo adds a hidden
// version-history field of the same kind. DAO shows a multi-value field as
// its values joined by "; " (as the datasheet shows them), an attachment
// field as the file names of its attachments joined by "; ", and leaves the
// version-history field out of the table's fields; the hidden tables are no
// tables to it. A Single reaches a reader of the table as the shortest
// decimal of the stored float (single.h); the query engine computes with the
// stored value.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "automation/mdb/access_types.h"
#include "automation/mdb/jet_file.h"
#include "automation/value.h"

namespace kestrin::automation::mdb {

// A complex field as MSysComplexColumns describes it.
struct ComplexField {
  enum class Kind { kMultiValue, kAttachment, kVersionHistory };
  std::int32_t complex_id = 0;  // what the field's column definition names it by
  std::string column;           // the field's name in its table
  std::string hidden_table;     // the table that holds its values
  std::uint32_t hidden_page = 0;
  Kind kind = Kind::kMultiValue;
};

// The complex fields of the file whose hidden table and kind are known;
// empty for a file without them. A damaged MSysComplexColumns leaves its
// fields unknown (unreadable, as fields of an unknown type are).
std::vector<ComplexField> ReadComplexFields(jet::JetFile& file);

// The values of a complex field by the key its table's rows hold: each
// key's values (multi-value) or file names (attachment) in the order of the
// hidden table's rows, joined by "; ". Throws AutomationError 3049 when the
// hidden table is damaged, 3259 when its values are of an unsupported type.
using ComplexValues = std::unordered_map<std::int64_t, std::string>;
ComplexValues ReadComplexValues(jet::JetFile& file, const ComplexField& field);

class TableView {
 public:
  using ValuesOf = std::function<std::shared_ptr<const ComplexValues>(const ComplexField&)>;

  // `values` is asked for a complex field's values the first time a record
  // needs them.
  TableView(std::shared_ptr<const jet::TableDef> def, const std::vector<ComplexField>& fields,
            ValuesOf values);

  const jet::TableDef& def() const { return *def_; }
  const std::shared_ptr<const jet::TableDef>& def_pointer() const { return def_; }
  // The fields DAO shows, in order.
  const std::vector<std::string>& names() const { return names_; }
  // The same with the type each holds for the query engine (a known complex
  // field holds text).
  std::vector<ColumnInfo> Columns() const;
  // Turns a record as decoded (one value per column of the definition) into
  // the record DAO shows, with Singles as shown or as stored.
  void Apply(std::vector<Value>& record, bool singles_as_shown) const;
  // True when Apply leaves records as they are.
  bool Plain(bool singles_as_shown) const {
    return !reshaped_ && (!singles_as_shown || !any_single_);
  }
  // Throws AutomationError 3259 when the values of shown field `field`
  // cannot be read.
  void CheckReadable(int field) const;

 private:
  struct Shown {
    std::size_t column;                     // in the definition
    const ComplexField* complex = nullptr;  // a known complex field
    bool single = false;
  };
  // The field's values, or nullptr when they cannot be read.
  const ComplexValues* ValuesFor(const ComplexField& field) const;

  std::shared_ptr<const jet::TableDef> def_;
  ValuesOf values_;
  std::vector<Shown> shown_;
  std::vector<std::string> names_;
  bool reshaped_ = false;  // a field left out or a complex field shown
  bool any_single_ = false;
  mutable std::unordered_map<std::int32_t, std::shared_ptr<const ComplexValues>> loaded_;
};

// The error for reading a column this reader cannot give (3259, naming the
// field, the table and why).
[[noreturn]] void ThrowUnreadable(const jet::Column& column, const std::string& table);

}  // namespace kestrin::automation::mdb
