#include "automation/mdb/mdb_source.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "automation/failure.h"
#include "automation/mdb/access_names.h"
#include "automation/messages.h"

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

// DAO's order: by name, without regard to case.
template <class Entry>
void SortByName(std::vector<Entry>& entries) {
  std::vector<std::pair<std::string, Entry>> keyed;
  for (Entry& e : entries) keyed.emplace_back(NameKey(e.name), std::move(e));
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  entries.clear();
  for (auto& k : keyed) entries.push_back(std::move(k.second));
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
    throw AutomationError(errnum::kResourcesExceeded, msg::kQueryOutOfMemory({query}));
  } catch (const std::exception& e) {
    throw AutomationError(errnum::kReservedError, msg::kQueryCannotRunWhy({query, e.what()}));
  } catch (...) {
    throw AutomationError(errnum::kReservedError, msg::kQueryCannotRun({query}));
  }
}

class TableRows final : public RowSource {
 public:
  TableRows(std::shared_ptr<MdbSource> source, jet::JetFile& file,
            std::shared_ptr<const TableView> view, bool singles_as_shown)
      : source_(std::move(source)),
        view_(std::move(view)),
        reader_(file, view_->def_pointer()),
        singles_as_shown_(singles_as_shown) {}

  const std::vector<std::string>& names() const override { return view_->names(); }
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
        throw AutomationError(errnum::kDamaged, msg::kRecordsChanged({reader_.def().name}));
      }
      if (!view_->Plain(singles_as_shown_)) {
        for (std::vector<Value>& row : rows_) view_->Apply(row, singles_as_shown_);
      }
    }
    return rows_[static_cast<std::size_t>(index - reader_.first_record(page_))];
  }

  void CheckReadable(int column) const override { view_->CheckReadable(column); }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  bool Loaded(std::int64_t index) const {
    return page_ != kNone && index >= reader_.first_record(page_) &&
           index < reader_.first_record(page_) + reader_.records_on(page_);
  }

  std::shared_ptr<MdbSource> source_;  // keeps the file open
  std::shared_ptr<const TableView> view_;
  jet::TableReader reader_;
  bool singles_as_shown_;
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
      throw AutomationError(errnum::kReservedError, std::string(msg::kWrongWidth.text));
    }
    return row;
  }
  void CheckReadable(int) const override {}

 private:
  QueryResult result_;
  std::vector<std::string> names_;
};

}  // namespace

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
  src->complex_fields_ = ReadComplexFields(*src->file_);
  std::erase_if(src->tables_, [&](const TableEntry& t) {
    return t.type == jet::kObjectTable &&
           std::any_of(src->complex_fields_.begin(), src->complex_fields_.end(),
                       [&](const ComplexField& f) { return f.hidden_page == t.page; });
  });
  SortByName(src->tables_);
  SortByName(src->queries_);
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

std::shared_ptr<const TableView> MdbSource::View(const TableEntry& table) {
  auto it = views_.find(table.page);
  if (it != views_.end()) return it->second;
  auto values = [this](const ComplexField& field) {
    auto found = complex_values_.find(field.complex_id);
    if (found == complex_values_.end()) {
      found = complex_values_
                  .emplace(field.complex_id,
                           std::make_shared<const ComplexValues>(ReadComplexValues(*file_, field)))
                  .first;
    }
    return found->second;
  };
  auto view = std::make_shared<const TableView>(Definition(table), complex_fields_, values);
  views_.emplace(table.page, view);
  return view;
}

std::vector<std::string> MdbSource::FieldNames(const TableEntry& table) {
  const Target t = Resolve(table);
  return t.source->View(*t.table)->names();
}

std::unique_ptr<RowSource> MdbSource::OpenTable(const TableEntry& table, bool singles_as_shown) {
  const Target t = Resolve(table);
  return std::make_unique<TableRows>(t.source, *t.source->file_, t.source->View(*t.table),
                                     singles_as_shown);
}

SavedQueryEngine& MdbSource::Engine() {
  if (!engine_) engine_ = MakeSavedQueryEngine(*this, ReadSavedQueries());
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
  return t.source->View(*t.table)->Columns();
}

void MdbSource::ReadTable(const std::string& name,
                          const std::function<void(std::vector<Value>&& row)>& row) {
  const TableEntry* t = FindTable(name);
  if (t == nullptr) {
    throw StandardError(errnum::kTableNotFound, {name});
  }
  std::unique_ptr<RowSource> rows = OpenTable(*t, false);
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
    throw AutomationError(errnum::kDamaged, msg::kNoQueriesColumn({path(), n}));
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
