#include "automation/mdb/table_view.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

#include "automation/failure.h"
#include "automation/mdb/access_names.h"
#include "automation/mdb/single.h"
#include "automation/messages.h"

namespace kestrin::automation::mdb {
namespace {

// The columns of a table definition by name (as Access compares names);
// -1 for those it lacks.
std::vector<int> ColumnsNamed(const jet::TableDef& def, const std::vector<std::string>& names) {
  std::vector<int> found(names.size(), -1);
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    for (std::size_t k = 0; k < names.size(); ++k) {
      if (found[k] < 0 && SameName(def.columns[i].name, names[k])) found[k] = static_cast<int>(i);
    }
  }
  return found;
}

const jet::CatalogEntry* TableEntry(const jet::JetFile& file, std::int32_t id) {
  for (const jet::CatalogEntry& e : file.catalog()) {
    if (e.id == id && e.type == jet::kObjectTable) return &e;
  }
  return nullptr;
}

// The kind of field a type table stands for, by the names Access gives
// them: MSysComplexType_Attachment, MSysComplexTypeVH_<GUID> (version
// history) and MSysComplexType_<type> (multi-value).
bool KindOf(const std::string& type_table, ComplexField::Kind* kind) {
  auto starts = [&](const char* prefix) { return type_table.rfind(prefix, 0) == 0; };
  if (starts("MSysComplexType_Attachment")) {
    *kind = ComplexField::Kind::kAttachment;
  } else if (starts("MSysComplexTypeVH_")) {
    *kind = ComplexField::Kind::kVersionHistory;
  } else if (starts("MSysComplexType_")) {
    *kind = ComplexField::Kind::kMultiValue;
  } else {
    return false;
  }
  return true;
}

// A value of a multi-value field as the datasheet shows it.
std::string ShownText(const Value& v, int column_type) {
  char buf[40];
  switch (v.kind()) {
    case Value::Kind::kText:
      return v.text();
    case Value::Kind::kInteger:
      return std::to_string(v.integer());
    case Value::Kind::kDouble: {
      const double d = column_type == static_cast<int>(AccessType::kSingle)
                           ? SingleAsShown(static_cast<float>(v.real()))
                           : v.real();
      std::snprintf(buf, sizeof buf, "%.15G", d);
      return buf;
    }
    default:
      return std::string();
  }
}

}  // namespace

std::vector<ComplexField> ReadComplexFields(jet::JetFile& file) {
  std::vector<ComplexField> fields;
  const jet::CatalogEntry* catalogue = nullptr;
  for (const jet::CatalogEntry& e : file.catalog()) {
    if (e.type == jet::kObjectTable && SameName(e.name, "MSysComplexColumns")) catalogue = &e;
  }
  if (catalogue == nullptr) return fields;
  try {
    auto def = file.ReadTableDef(catalogue->name, catalogue->page());
    const std::vector<int> at =
        ColumnsNamed(*def, {"ColumnName", "ComplexTypeObjectID", "FlatTableID", "ComplexID"});
    for (int c : at) {
      if (c < 0) return fields;
    }
    std::vector<bool> wanted(def->columns.size(), false);
    for (int c : at) wanted[static_cast<std::size_t>(c)] = true;
    jet::TableReader reader(file, def);
    std::vector<std::vector<Value>> rows;
    for (std::size_t p = 0; p < reader.page_count(); ++p) {
      reader.DecodePage(p, rows, &wanted);
      for (const std::vector<Value>& row : rows) {
        const Value& name = row[static_cast<std::size_t>(at[0])];
        const Value& type = row[static_cast<std::size_t>(at[1])];
        const Value& hidden = row[static_cast<std::size_t>(at[2])];
        const Value& id = row[static_cast<std::size_t>(at[3])];
        if (name.kind() != Value::Kind::kText || type.kind() != Value::Kind::kInteger ||
            hidden.kind() != Value::Kind::kInteger || id.kind() != Value::Kind::kInteger) {
          continue;
        }
        const jet::CatalogEntry* type_table =
            TableEntry(file, static_cast<std::int32_t>(type.integer()));
        const jet::CatalogEntry* hidden_table =
            TableEntry(file, static_cast<std::int32_t>(hidden.integer()));
        ComplexField f;
        if (type_table == nullptr || hidden_table == nullptr || !KindOf(type_table->name, &f.kind))
          continue;
        f.complex_id = static_cast<std::int32_t>(id.integer());
        f.column = name.text();
        f.hidden_table = hidden_table->name;
        f.hidden_page = hidden_table->page();
        fields.push_back(std::move(f));
      }
    }
  } catch (const AutomationError&) {
    fields.clear();  // the fields stay unknown
  }
  return fields;
}

ComplexValues ReadComplexValues(jet::JetFile& file, const ComplexField& field) {
  auto def = file.ReadTableDef(field.hidden_table, field.hidden_page);
  // The hidden table keys its rows by "_<field>"; the value is "Value" of a
  // multi-value field and "FileName" of an attachment.
  const std::vector<int> at = ColumnsNamed(
      *def,
      {"_" + field.column, field.kind == ComplexField::Kind::kAttachment ? "FileName" : "Value"});
  if (at[0] < 0 || at[1] < 0) {
    file.Damaged(msg::kHiddenTableIncomplete({field.column}));
  }
  const auto key = static_cast<std::size_t>(at[0]);
  const auto value = static_cast<std::size_t>(at[1]);
  const jet::Column& values_column = def->columns[value];
  if (!values_column.readable) {
    throw AutomationError(errnum::kInvalidFieldType,
                          msg::kComplexTypeUnknown({field.column, field.hidden_table,
                                                    std::to_string(values_column.type)}));
  }
  const int value_type = values_column.value_type;
  std::vector<bool> wanted(def->columns.size(), false);
  wanted[key] = wanted[value] = true;
  jet::TableReader reader(file, def);
  ComplexValues values;
  std::vector<std::vector<Value>> rows;
  for (std::size_t p = 0; p < reader.page_count(); ++p) {
    reader.DecodePage(p, rows, &wanted);
    for (const std::vector<Value>& row : rows) {
      if (row[key].kind() != Value::Kind::kInteger || row[value].is_null()) continue;
      std::string& joined = values[row[key].integer()];
      if (!joined.empty()) joined += "; ";
      joined += ShownText(row[value], value_type);
    }
  }
  return values;
}

TableView::TableView(std::shared_ptr<const jet::TableDef> def,
                     const std::vector<ComplexField>& fields, ValuesOf values)
    : def_(std::move(def)), values_(std::move(values)) {
  for (std::size_t i = 0; i < def_->columns.size(); ++i) {
    const jet::Column& c = def_->columns[i];
    Shown s{i};
    if (c.complex_id != 0) {
      for (const ComplexField& f : fields) {
        if (f.complex_id == c.complex_id) s.complex = &f;
      }
      if (s.complex != nullptr && s.complex->kind == ComplexField::Kind::kVersionHistory) {
        reshaped_ = true;  // not a field to DAO
        continue;
      }
      reshaped_ = reshaped_ || s.complex != nullptr;
    }
    s.single = c.readable && c.value_type == static_cast<int>(AccessType::kSingle);
    any_single_ = any_single_ || s.single;
    shown_.push_back(s);
    names_.push_back(c.name);
  }
}

std::vector<ColumnInfo> TableView::Columns() const {
  std::vector<ColumnInfo> columns;
  for (const Shown& s : shown_) {
    const jet::Column& c = def_->columns[s.column];
    AccessType type = AccessType::kComplex;
    if (s.complex != nullptr) {
      type = AccessType::kMemo;
    } else if (c.readable) {
      switch (c.value_type) {
        case jet::kTypeBigInt:
          type = AccessType::kLong;  // an integer, as Value gives it
          break;
        case jet::kTypeExtDateTime:
          type = AccessType::kDateTime;
          break;
        default:
          type = static_cast<AccessType>(c.value_type);
      }
    }
    columns.push_back({c.name, type});
  }
  return columns;
}

const ComplexValues* TableView::ValuesFor(const ComplexField& field) const {
  auto it = loaded_.find(field.complex_id);
  if (it == loaded_.end()) {
    std::shared_ptr<const ComplexValues> values;
    try {
      values = values_(field);
    } catch (const AutomationError&) {
      // The field stays Null; CheckReadable says why.
    }
    it = loaded_.emplace(field.complex_id, std::move(values)).first;
  }
  return it->second.get();
}

void TableView::Apply(std::vector<Value>& record, bool singles_as_shown) const {
  if (Plain(singles_as_shown)) return;
  for (std::size_t j = 0; j < shown_.size(); ++j) {
    const Shown& s = shown_[j];
    Value v = std::move(record[s.column]);
    if (s.complex != nullptr) {
      const ComplexValues* values = ValuesFor(*s.complex);
      auto found = values != nullptr && v.kind() == Value::Kind::kInteger
                       ? values->find(v.integer())
                       : ComplexValues::const_iterator();
      v = values != nullptr && found != values->end() ? Value(found->second) : Value();
    } else if (s.single && singles_as_shown && v.kind() == Value::Kind::kDouble) {
      v = Value(SingleAsShown(static_cast<float>(v.real())));
    }
    record[j] = std::move(v);
  }
  record.resize(shown_.size());
}

void TableView::CheckReadable(int field) const {
  const Shown& s = shown_.at(static_cast<std::size_t>(field));
  const jet::Column& c = def_->columns[s.column];
  if (s.complex != nullptr) {
    if (ValuesFor(*s.complex) == nullptr) values_(*s.complex);  // throws why
  } else if (!c.readable) {
    ThrowUnreadable(c, def_->name);
  }
}

void ThrowUnreadable(const jet::Column& c, const std::string& table) {
  std::string why;
  if (c.calculated) {
    why = msg::kCalculatedUnknown();
  } else if (c.type == static_cast<int>(AccessType::kComplex)) {
    why = msg::kComplexField();
  } else {
    why = msg::kTypeUnsupported({std::to_string(c.type)});
  }
  throw AutomationError(errnum::kInvalidFieldType, msg::kFieldUnreadable({table, c.name, why}));
}

}  // namespace kestrin::automation::mdb
