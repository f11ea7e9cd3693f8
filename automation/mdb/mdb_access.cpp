#include "automation/mdb/mdb_access.h"

#include <algorithm>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "automation/failure.h"
#include "automation/mdb/mdb_source.h"
#include "automation/mdb/query/access_errors.h"

namespace kestrin::automation::mdb {
namespace {

[[noreturn]] void ItemNotFound() {
  throw AutomationError(err::kItemNotFound, "Item not found in this collection.");
}

class NameList final : public DaoFields {
 public:
  explicit NameList(std::vector<std::string> names) : names_(std::move(names)) {}
  int Count() const override { return static_cast<int>(names_.size()); }
  std::string Name(int index) const override {
    if (index < 0 || index >= Count()) ItemNotFound();
    return names_[static_cast<std::size_t>(index)];
  }

 private:
  std::vector<std::string> names_;
};

class TableDefImpl final : public DaoTableDef {
 public:
  TableDefImpl(std::shared_ptr<MdbSource> source, const MdbSource::TableEntry& entry)
      : source_(std::move(source)), entry_(entry) {}
  std::string Name() const override { return entry_.name; }
  // Read on first use; a linked table's are those of the table it links to.
  const DaoFields& Fields() const override {
    if (!fields_) fields_ = std::make_unique<NameList>(source_->FieldNames(entry_));
    return *fields_;
  }

 private:
  std::shared_ptr<MdbSource> source_;
  const MdbSource::TableEntry& entry_;
  mutable std::unique_ptr<NameList> fields_;
};

class QueryDefImpl final : public DaoQueryDef {
 public:
  QueryDefImpl(std::shared_ptr<MdbSource> source, const MdbSource::QueryEntry& entry)
      : source_(std::move(source)), entry_(entry) {}
  std::string Name() const override { return entry_.name; }
  // DAO's type code is kept in the query's MSysObjects flags.
  std::int16_t Type() const override { return static_cast<std::int16_t>(entry_.flags & 0xF8); }
  // Analysed by the query engine on first use.
  const DaoFields& Fields() const override {
    if (!fields_) fields_ = std::make_unique<NameList>(source_->QueryFieldNames(entry_));
    return *fields_;
  }

 private:
  std::shared_ptr<MdbSource> source_;
  const MdbSource::QueryEntry& entry_;
  mutable std::unique_ptr<NameList> fields_;
};

template <class Def, class Impl>
class Collection final : public DaoCollection<Def> {
 public:
  void Add(std::unique_ptr<Impl> item) { items_.push_back(std::move(item)); }
  int Count() const override { return static_cast<int>(items_.size()); }
  const Def& Item(int index) const override {
    if (index < 0 || index >= Count()) ItemNotFound();
    return *items_[static_cast<std::size_t>(index)];
  }
  const Def& Item(std::string_view name) const override {
    for (const auto& item : items_) {
      if (item->Name() == name) return *item;
    }
    ItemNotFound();
  }

 private:
  std::vector<std::unique_ptr<Impl>> items_;
};

class RecordsetImpl final : public DaoRecordset {
 public:
  explicit RecordsetImpl(std::unique_ptr<RowSource> rows)
      : rows_(std::move(rows)), fields_(rows_->names()), size_(rows_->size()) {}

  bool Eof() const override {
    Open();
    return position_ >= size_;
  }
  void MoveFirst() override {
    Open();
    if (size_ == 0) NoCurrentRecord();
    position_ = 0;
  }
  void MoveLast() override {
    Open();
    if (size_ == 0) NoCurrentRecord();
    position_ = size_ - 1;
  }
  void MoveNext() override {
    if (Eof()) NoCurrentRecord();
    ++position_;
  }
  // Exact from the start: the record count comes from the data pages.
  std::int32_t RecordCount() const override {
    Open();
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(size_, std::numeric_limits<std::int32_t>::max()));
  }
  void Close() override {
    Open();
    rows_.reset();
  }
  const DaoFields& Fields() const override {
    Open();
    return fields_;
  }
  Value FieldValue(int index) const override {
    RowSource& rows = Open();
    if (index < 0 || index >= fields_.Count()) ItemNotFound();
    if (position_ >= size_) NoCurrentRecord();
    rows.CheckReadable(index);
    return rows.Row(position_)[static_cast<std::size_t>(index)];
  }

 private:
  [[noreturn]] static void NoCurrentRecord() {
    throw AutomationError(err::kNoCurrentRecord, "No current record.");
  }
  RowSource& Open() const {
    if (!rows_) throw AutomationError(err::kObjectClosed, "Object invalid or no longer set.");
    return *rows_;
  }

  std::unique_ptr<RowSource> rows_;
  NameList fields_;
  std::int64_t size_ = 0;
  std::int64_t position_ = 0;
};

class DatabaseImpl final : public DaoDatabase {
 public:
  explicit DatabaseImpl(std::shared_ptr<MdbSource> source) : source_(std::move(source)) {
    for (const MdbSource::TableEntry& t : source_->tables()) {
      tables_.Add(std::make_unique<TableDefImpl>(source_, t));
    }
    for (const MdbSource::QueryEntry& q : source_->queries()) {
      queries_.Add(std::make_unique<QueryDefImpl>(source_, q));
    }
  }

  const DaoCollection<DaoTableDef>& TableDefs() const override { return tables_; }
  const DaoCollection<DaoQueryDef>& QueryDefs() const override { return queries_; }

  // A table or a saved query: exact names first, then ignoring case.
  std::unique_ptr<DaoRecordset> OpenRecordset(const std::string& name) override {
    const MdbSource::TableEntry* table = nullptr;
    const MdbSource::QueryEntry* query = nullptr;
    for (const auto& t : source_->tables()) {
      if (t.name == name) table = &t;
    }
    if (table == nullptr) {
      for (const auto& q : source_->queries()) {
        if (q.name == name) query = &q;
      }
    }
    if (table == nullptr && query == nullptr) {
      table = source_->FindTable(name);
      if (table == nullptr) query = source_->FindQuery(name);
    }
    if (table != nullptr) return std::make_unique<RecordsetImpl>(source_->OpenTable(*table));
    if (query != nullptr) return std::make_unique<RecordsetImpl>(source_->OpenQuery(*query));
    throw AutomationError(err::kTableNotFound,
                          "The Microsoft Access database engine cannot find the input table or "
                          "query '" +
                              name +
                              "'. Make sure it exists and that its name is spelled "
                              "correctly.");
  }

  void SetProperty(const std::string& name, const Value&) override {
    throw AutomationError(err::kReadOnly,
                          "Cannot update. Database or object is read-only "
                          "(property '" +
                              name + "' of '" + source_->path() + "').");
  }

 private:
  std::shared_ptr<MdbSource> source_;
  Collection<DaoTableDef, TableDefImpl> tables_;
  Collection<DaoQueryDef, QueryDefImpl> queries_;
};

class ApplicationImpl final : public AccessApplication {
 public:
  void OpenCurrentDatabase(const std::string& path, bool) override {
    if (database_) throw AutomationError(err::kAlreadyOpen, "You already have the database open.");
    database_ = std::make_shared<DatabaseImpl>(MdbSource::Open(path));
  }
  void CloseCurrentDatabase() override { database_.reset(); }
  std::shared_ptr<DaoDatabase> CurrentDatabase() override {
    if (!database_) {
      throw AutomationError(err::kObjectNotSet, "Object variable or With block variable not set");
    }
    return database_;
  }

 private:
  std::shared_ptr<DatabaseImpl> database_;
};

class MdbAccessServer final : public AccessServer {
 public:
  std::shared_ptr<AccessApplication> GetObject() override {
    running_.erase(
        std::remove_if(running_.begin(), running_.end(),
                       [](const std::weak_ptr<ApplicationImpl>& w) { return w.expired(); }),
        running_.end());
    if (running_.empty()) {
      throw AutomationError(
          err::kCannotCreateObject,
          "ActiveX component can't create object (no Access.Application is running).");
    }
    return running_.front().lock();
  }
  std::shared_ptr<AccessApplication> CreateObject() override {
    auto app = std::make_shared<ApplicationImpl>();
    running_.push_back(app);
    return app;
  }

 private:
  // The running-object table: registered weakly, so an application ends when
  // the program lets go of it.
  std::vector<std::weak_ptr<ApplicationImpl>> running_;
};

}  // namespace

std::unique_ptr<AccessServer> MakeMdbAccessServer() { return std::make_unique<MdbAccessServer>(); }

}  // namespace kestrin::automation::mdb
