#include "automation/mdb/mdb_source.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "automation/failure.h"
#include "automation/mdb/query/access_errors.h"
#include "automation/mdb/query/access_names.h"

namespace kestrin::automation::mdb {
namespace {

template <class Entry>
const Entry* FindByName(const std::vector<Entry>& entries, const std::string& name) {
  for (const Entry& e : entries) {
    if (e.name == name) return &e;
  }
  for (const Entry& e : entries) {
    if (SameName(e.name, name)) return &e;
  }
  return nullptr;
}

// Runs an engine call, turning any other failure into an AutomationError
// that names the query.
template <class F>
auto WithQueryErrors(const std::string& query, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const AutomationError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw AutomationError(err::kResourcesExceeded,
                          "System resource exceeded: query '" + query + "' ran out of memory.");
  } catch (const std::exception& e) {
    throw AutomationError(err::kReservedError,
                          "Query '" + query + "' cannot be evaluated: " + e.what());
  } catch (...) {
    throw AutomationError(err::kReservedError, "Query '" + query + "' cannot be evaluated.");
  }
}

AccessType TypeForEngine(const jet::Column& c) {
  if (!c.readable) return AccessType::kComplex;
  switch (c.value_type) {
    case jet::kTypeBigInt:
      return AccessType::kLong;  // an integer, as Value gives it
    case jet::kTypeExtDateTime:
      return AccessType::kDateTime;
    default:
      return static_cast<AccessType>(c.value_type);
  }
}

class TableRows final : public RowSource {
 public:
  TableRows(std::shared_ptr<MdbSource> source, jet::JetFile& file,
            std::shared_ptr<const jet::TableDef> def)
      : source_(std::move(source)), reader_(file, std::move(def)) {
    for (const jet::Column& c : reader_.def().columns) names_.push_back(c.name);
  }

  const std::vector<std::string>& names() const override { return names_; }
  std::int64_t size() const override { return reader_.record_count(); }

  const std::vector<Value>& Row(std::int64_t index) override {
    if (!Loaded(index)) {
      // The page holding the record: the last one whose first record is at
      // or before it (usually the next page when reading in order).
      std::size_t lo = 0, hi = reader_.page_count();
      if (page_ != kNone && page_ + 1 < hi && index >= reader_.first_record(page_ + 1))
        lo = page_ + 1;
      while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (reader_.first_record(mid) <= index)
          lo = mid;
        else
          hi = mid;
      }
      page_ = kNone;
      reader_.DecodePage(lo, rows_);
      page_ = lo;
      if (static_cast<std::int64_t>(rows_.size()) != reader_.records_on(lo)) {
        throw AutomationError(err::kDamaged, "The records of table '" + reader_.def().name +
                                                 "' changed while they were read.");
      }
    }
    return rows_[static_cast<std::size_t>(index - reader_.first_record(page_))];
  }

  void CheckReadable(int column) const override {
    const jet::Column& c = reader_.def().columns.at(static_cast<std::size_t>(column));
    if (!c.readable) ThrowUnreadable(c, reader_.def().name);
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  bool Loaded(std::int64_t index) const {
    return page_ != kNone && index >= reader_.first_record(page_) &&
           index < reader_.first_record(page_) + reader_.records_on(page_);
  }

  std::shared_ptr<MdbSource> source_;  // keeps the file open
  jet::TableReader reader_;
  std::vector<std::string> names_;
  std::size_t page_ = kNone;
  std::vector<std::vector<Value>> rows_;
};

class QueryRows final : public RowSource {
 public:
  explicit QueryRows(QueryResult result) : result_(std::move(result)) {
    for (const ColumnInfo& c : result_.columns) names_.push_back(c.name);
  }
  const std::vector<std::string>& names() const override { return names_; }
  std::int64_t size() const override { return static_cast<std::int64_t>(result_.rows.size()); }
  const std::vector<Value>& Row(std::int64_t index) override {
    const std::vector<Value>& row = result_.rows.at(static_cast<std::size_t>(index));
    if (row.size() != names_.size()) {
      throw AutomationError(err::kReservedError, "A query gave a record of the wrong width.");
    }
    return row;
  }
  void CheckReadable(int) const override {}

 private:
  QueryResult result_;
  std::vector<std::string> names_;
};

}  // namespace

void ThrowUnreadable(const jet::Column& c, const std::string& table) {
  std::string why;
  if (c.calculated) {
    why = "it is a calculated field of an unknown result type";
  } else if (c.type == static_cast<int>(AccessType::kComplex)) {
    why = "it is an attachment, multi-value or version-history field";
  } else {
    why = "its data type (code " + std::to_string(c.type) + ") is not supported";
  }
  throw AutomationError(err::kInvalidFieldType, "Field '" + c.name + "' of table '" + table +
                                                    "' cannot be read: " + why + ".");
}

std::shared_ptr<MdbSource> MdbSource::Open(const std::string& path) {
  std::shared_ptr<MdbSource> src(new MdbSource());
  src->file_ = jet::JetFile::Open(path);
  for (const jet::CatalogEntry& e : src->file_->catalog()) {
    if (e.type == jet::kObjectTable || e.type == jet::kObjectLinkedOdbc ||
        e.type == jet::kObjectLinkedTable) {
      src->tables_.push_back(
          TableEntry{e.name, e.type, e.page(), e.database, e.connect, e.foreign_name});
    } else if (e.type == jet::kObjectQuery) {
      src->queries_.push_back(QueryEntry{e.name, e.id, e.flags});
    }
  }
  return src;
}

MdbSource::~MdbSource() {
  engine_.reset();  // it refers to this provider
}

const MdbSource::TableEntry* MdbSource::FindTable(const std::string& name) const {
  return FindByName(tables_, name);
}

const MdbSource::QueryEntry* MdbSource::FindQuery(const std::string& name) const {
  return FindByName(queries_, name);
}

std::shared_ptr<const jet::TableDef> MdbSource::Definition(const TableEntry& table) {
  auto it = definitions_.find(table.page);
  if (it != definitions_.end()) return it->second;
  auto def = file_->ReadTableDef(table.name, table.page);
  definitions_.emplace(table.page, def);
  return def;
}

std::vector<std::string> MdbSource::FieldNames(const TableEntry& table) {
  const Target t = Resolve(table);
  std::vector<std::string> names;
  for (const jet::Column& c : t.source->Definition(*t.table)->columns) names.push_back(c.name);
  return names;
}

std::unique_ptr<RowSource> MdbSource::OpenTable(const TableEntry& table) {
  const Target t = Resolve(table);
  return std::make_unique<TableRows>(t.source, *t.source->file_, t.source->Definition(*t.table));
}

QueryEngine& MdbSource::Engine() {
  if (!engine_) engine_ = std::make_unique<QueryEngine>(*this, ReadSavedQueries());
  return *engine_;
}

QueryResult MdbSource::RunQuery(const QueryEntry& query) {
  return WithQueryErrors(query.name, [&] { return Engine().Run(query.name); });
}

std::unique_ptr<RowSource> MdbSource::OpenQuery(const QueryEntry& query) {
  return std::make_unique<QueryRows>(RunQuery(query));
}

std::vector<std::string> MdbSource::QueryFieldNames(const QueryEntry& query) {
  return WithQueryErrors(query.name, [&] { return Engine().OutputColumnNames(query.name); });
}

std::optional<std::vector<ColumnInfo>> MdbSource::TableColumns(const std::string& name) {
  const TableEntry* entry = FindTable(name);
  if (entry == nullptr) return std::nullopt;
  const Target t = Resolve(*entry);
  std::vector<ColumnInfo> columns;
  for (const jet::Column& c : t.source->Definition(*t.table)->columns)
    columns.push_back({c.name, TypeForEngine(c)});
  return columns;
}

void MdbSource::ReadTable(const std::string& name,
                          const std::function<void(std::vector<Value>&& row)>& row) {
  const TableEntry* t = FindTable(name);
  if (t == nullptr) {
    throw AutomationError(err::kTableNotFound,
                          "The Microsoft Access database engine cannot find the input table "
                          "or query '" +
                              name + "'.");
  }
  std::unique_ptr<RowSource> rows = OpenTable(*t);
  for (std::size_t i = 0; i < rows->names().size(); ++i) rows->CheckReadable(static_cast<int>(i));
  for (std::int64_t i = 0; i < rows->size(); ++i) {
    std::vector<Value> copy = rows->Row(i);
    row(std::move(copy));
  }
}

std::vector<SavedQuery> MdbSource::ReadSavedQueries() {
  std::vector<SavedQuery> result;
  for (const QueryEntry& q : queries_) result.push_back(SavedQuery{q.name, q.flags, {}});
  const TableEntry* t = FindTable("MSysQueries");
  if (t == nullptr || t->type != jet::kObjectTable || queries_.empty()) return result;

  std::unique_ptr<RowSource> rows = OpenTable(*t);
  const std::vector<std::string>& names = rows->names();
  auto column = [&](const char* n) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (SameName(names[i], n)) return static_cast<int>(i);
    }
    throw AutomationError(err::kDamaged, "Cannot read the saved queries of '" + path() +
                                             "': MSysQueries has no column " + n + ".");
  };
  const int attribute = column("Attribute"), expression = column("Expression"),
            flag = column("Flag"), name1 = column("Name1"), name2 = column("Name2"),
            object_id = column("ObjectId"), order = column("Order");
  std::map<std::int32_t, std::size_t> by_id;
  for (std::size_t i = 0; i < queries_.size(); ++i) by_id.emplace(queries_[i].id, i);

  auto integer = [](const Value& v) -> std::int64_t {
    return v.kind() == Value::Kind::kInteger ? v.integer() : 0;
  };
  auto text = [](const Value& v) -> std::string {
    return v.kind() == Value::Kind::kText ? v.text() : std::string();
  };
  for (std::int64_t i = 0; i < rows->size(); ++i) {
    const std::vector<Value>& r = rows->Row(i);
    auto it =
        by_id.find(static_cast<std::int32_t>(integer(r[static_cast<std::size_t>(object_id)])));
    if (it == by_id.end()) continue;
    QueryDefRow d;
    d.attribute = static_cast<int>(integer(r[static_cast<std::size_t>(attribute)]));
    d.expression = text(r[static_cast<std::size_t>(expression)]);
    d.flag = static_cast<int>(integer(r[static_cast<std::size_t>(flag)]));
    d.name1 = text(r[static_cast<std::size_t>(name1)]);
    d.name2 = text(r[static_cast<std::size_t>(name2)]);
    const Value& ord = r[static_cast<std::size_t>(order)];
    if (ord.kind() == Value::Kind::kBinary) {
      // Order is a 4-byte big-endian number.
      std::uint32_t v = 0;
      const Binary& b = ord.binary();
      for (std::size_t k = 0; k < b.size() && k < 4; ++k) v = (v << 8) | b[k];
      d.order = static_cast<std::int32_t>(v);
    }
    result[it->second].rows.push_back(std::move(d));
  }
  return result;
}

}  // namespace kestrin::automation::mdb
