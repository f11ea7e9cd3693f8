#include "tests/doubles/fake_access.h"

#include <algorithm>
#include <deque>

namespace kestrin::testing {

using automation::AutomationError;
namespace errnum = automation::errnum;

namespace {

class FakeFields : public automation::DaoFields {
 public:
  explicit FakeFields(const std::vector<std::string>& names) : names_(names) {}
  int Count() const override { return static_cast<int>(names_.size()); }
  std::string Name(int index) const override {
    if (index < 0 || index >= Count()) {
      throw AutomationError(errnum::kItemNotFound, "Item not found in this collection.");
    }
    return names_[index];
  }

 private:
  const std::vector<std::string>& names_;
};

class FakeDef : public automation::DaoTableDef, public automation::DaoQueryDef {
 public:
  explicit FakeDef(FakeSource source) : source_(std::move(source)), fields_(source_.fields) {}
  std::string Name() const override { return source_.name; }
  std::int16_t Type() const override { return source_.type; }
  const automation::DaoFields& Fields() const override { return fields_; }
  FakeSource& source() { return source_; }

 private:
  FakeSource source_;
  FakeFields fields_;
};

template <class Def>
class FakeCollection : public automation::DaoCollection<Def> {
 public:
  explicit FakeCollection(const std::deque<FakeDef>& defs) : defs_(defs) {}
  int Count() const override { return static_cast<int>(defs_.size()); }
  const Def& Item(int index) const override {
    if (index < 0 || index >= Count()) {
      throw AutomationError(errnum::kItemNotFound, "Item not found in this collection.");
    }
    return defs_[index];
  }
  const Def& Item(std::string_view name) const override {
    for (const auto& d : defs_) {
      if (d.Name() == name) return d;
    }
    throw AutomationError(errnum::kItemNotFound, "Item not found in this collection.");
  }

 private:
  const std::deque<FakeDef>& defs_;
};

}  // namespace

class FakeDatabase::Defs {
 public:
  Defs() : tables(defs), queries(defs) {}
  std::deque<FakeDef> defs;  // stable addresses
  FakeCollection<automation::DaoTableDef> tables;
  FakeCollection<automation::DaoQueryDef> queries;
};

class FakeDatabase::Recordset : public automation::DaoRecordset {
 public:
  Recordset(FakeDatabase& db, const FakeSource& source)
      : db_(db), source_(source), fields_(source.fields) {}

  bool Eof() const override { return pos_ >= Size(); }
  void MoveFirst() override {
    db_.calls_.push_back("MoveFirst");
    pos_ = 0;
  }
  void MoveLast() override {
    db_.calls_.push_back("MoveLast");
    if (Size() == 0) throw AutomationError(errnum::kNoCurrentRecord, "No current record.");
    pos_ = Size() - 1;
    visited_ = Size();
  }
  void MoveNext() override {
    if (Eof()) throw AutomationError(errnum::kNoCurrentRecord, "No current record.");
    ++pos_;
    visited_ = std::max(visited_, std::min(pos_ + 1, Size()));
  }
  std::int32_t RecordCount() const override {
    db_.calls_.push_back("RecordCount");
    return visited_;
  }
  void Close() override { db_.calls_.push_back("Close"); }
  const automation::DaoFields& Fields() const override { return fields_; }
  Value FieldValue(int index) const override {
    ++db_.field_value_calls_;
    if (Eof()) throw AutomationError(errnum::kNoCurrentRecord, "No current record.");
    if (db_.field_failure_ && db_.field_failure_->first == pos_) throw db_.field_failure_->second;
    const auto& row = source_.rows[pos_];
    if (index < 0 || index >= static_cast<int>(row.size())) {
      throw AutomationError(errnum::kItemNotFound, "Item not found in this collection.");
    }
    return row[index];
  }

 private:
  std::int32_t Size() const { return static_cast<std::int32_t>(source_.rows.size()); }
  FakeDatabase& db_;
  const FakeSource& source_;
  FakeFields fields_;
  std::int32_t pos_ = 0;
  // DAO's count before MoveLast is the number of records visited so far.
  std::int32_t visited_ = source_.rows.empty() ? 0 : 1;
};

FakeDatabase::FakeDatabase()
    : tables_(std::make_unique<Defs>()), queries_(std::make_unique<Defs>()) {}
FakeDatabase::~FakeDatabase() = default;

FakeSource& FakeDatabase::AddTable(std::string name, std::vector<std::string> fields,
                                   std::vector<std::vector<Value>> rows) {
  return tables_->defs
      .emplace_back(FakeSource{std::move(name), 0, std::move(fields), std::move(rows)})
      .source();
}

FakeSource& FakeDatabase::AddQuery(std::string name, std::int16_t type,
                                   std::vector<std::string> fields,
                                   std::vector<std::vector<Value>> rows) {
  return queries_->defs
      .emplace_back(FakeSource{std::move(name), type, std::move(fields), std::move(rows)})
      .source();
}

void FakeDatabase::FailFieldValueAt(std::int32_t record, AutomationError error) {
  field_failure_.emplace(record, std::move(error));
}

const automation::DaoCollection<automation::DaoTableDef>& FakeDatabase::TableDefs() const {
  return tables_->tables;
}
const automation::DaoCollection<automation::DaoQueryDef>& FakeDatabase::QueryDefs() const {
  return queries_->queries;
}

std::unique_ptr<automation::DaoRecordset> FakeDatabase::OpenRecordset(const std::string& name) {
  calls_.push_back("OpenRecordset(" + name + ")");
  for (auto* defs : {tables_.get(), queries_.get()}) {
    for (auto& d : defs->defs) {
      if (d.Name() == name) return std::make_unique<Recordset>(*this, d.source());
    }
  }
  throw AutomationError(3078, "The database engine cannot find the input table or query '" + name +
                                  "'. Make sure it exists and that its name is spelled correctly.");
}

void FakeDatabase::SetProperty(const std::string& name, const Value& value) {
  properties_[name] = value;
}

}  // namespace kestrin::testing
