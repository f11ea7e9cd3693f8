// Tables of other databases: linked tables followed to their back-end, and
// the databases that IN clauses of saved queries name.
#include <filesystem>
#include <optional>
#include <system_error>

#include "automation/failure.h"
#include "automation/mdb/mdb_source.h"
#include "automation/mdb/query/access_errors.h"
#include "automation/mdb/query/access_names.h"
#include "automation/windows_paths.h"

namespace kestrin::automation::mdb {
namespace {

namespace fs = std::filesystem;

// DAO's "The Microsoft Access database engine could not find the object '…'."
constexpr std::int32_t kObjectNotFound = 3011;
// DAO's "Could not find installable ISAM.": a link to a text file, a
// spreadsheet or another file that is no Access database.
constexpr std::int32_t kNoInstallableIsam = 3170;
// Links followed from one table before the chain counts as a circle.
constexpr int kMaxLinkDepth = 8;

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// The connect string with the values of its passwords left out.
std::string WithoutPasswords(const std::string& connect) {
  std::string out;
  std::size_t at = 0;
  while (at <= connect.size()) {
    std::size_t end = connect.find(';', at);
    if (end == std::string::npos) end = connect.size();
    std::string part = connect.substr(at, end - at);
    const std::size_t eq = part.find('=');
    if (eq != std::string::npos) {
      const std::string key = NameKey(part.substr(0, eq));
      if (key == "pwd" || key == "password") part = part.substr(0, eq + 1) + "…";
    }
    out += (at == 0 ? "" : ";") + part;
    at = end + 1;
  }
  return out;
}

// The kind of source a connect string names: the text before its first
// ";" ("Text", "Excel 12.0 Xml", "ODBC"); empty or "MS Access" for Access,
// also when the string starts with a setting (";DATABASE=…", "PWD=…").
std::string Product(const std::string& connect) {
  std::string product = connect.substr(0, connect.find(';'));
  while (!product.empty() && product.back() == ' ') product.pop_back();
  if (product.find('=') != std::string::npos) product.clear();
  return product;
}

bool IsAccess(const std::string& product) {
  return product.empty() || SameName(product, "MS Access");
}

// "Looked at: a; b. No line of F maps Z: to a folder here." for a file
// that was not found.
std::string PlacesLookedAt(const StoredPathSearch& search) {
  std::string text = "Looked at: ";
  for (std::size_t i = 0; i < search.tried.size(); ++i) {
    text += (i == 0 ? "" : "; ") + search.tried[i];
  }
  text += ".";
  if (!search.unmapped_root.empty()) {
    text += " No line of the Windows path mapping " +
            (search.map_file.empty() ? std::string("file") : search.map_file) + " maps " +
            search.unmapped_root + " to a folder here.";
  }
  return text;
}

// The tables of an IN clause's database for the query engine: its tables
// (linked ones followed), else its saved queries, evaluated by its own
// engine.
class ExternalTables final : public TableProvider {
 public:
  // `keep` holds the database open; it is empty when the database is the
  // one that owns this provider.
  ExternalTables(MdbSource& source, std::shared_ptr<MdbSource> keep)
      : source_(&source), keep_(std::move(keep)) {}

  std::optional<std::vector<ColumnInfo>> TableColumns(const std::string& name) override {
    if (auto columns = source_->TableColumns(name)) return columns;
    if (source_->FindQuery(name) == nullptr) return std::nullopt;
    const QueryResult& result = Query(name);
    return result.columns;
  }

  void ReadTable(const std::string& name,
                 const std::function<void(std::vector<Value>&& row)>& row) override {
    if (source_->FindTable(name) != nullptr) return source_->ReadTable(name, row);
    for (const std::vector<Value>& r : Query(name).rows) {
      std::vector<Value> copy = r;
      row(std::move(copy));
    }
  }

 private:
  const QueryResult& Query(const std::string& name) {
    const std::string key = NameKey(name);
    auto it = results_.find(key);
    if (it == results_.end()) {
      it = results_.emplace(key, source_->RunQuery(*source_->FindQuery(name))).first;
    }
    return it->second;
  }

  MdbSource* source_;
  std::shared_ptr<MdbSource> keep_;
  std::map<std::string, QueryResult> results_;
};

}  // namespace

MdbSource::Target MdbSource::Resolve(const TableEntry& table) { return Resolve(table, 0); }

MdbSource::Target MdbSource::Resolve(const TableEntry& table, int depth) {
  if (table.type == jet::kObjectTable) return Target{shared_from_this(), &table};
  const std::string product = Product(table.connect);
  if (table.type == jet::kObjectLinkedOdbc || SameName(product, "ODBC")) {
    throw AutomationError(
        err::kLinkedTable,
        "Table " + Quoted(table.name) + " is linked to " + Quoted(table.foreign_name) +
            " of the ODBC data source " + Quoted(WithoutPasswords(table.connect)) +
            ": its records are on a database server, and only tables linked to Access "
            "databases (.mdb, .accdb) can be read.");
  }
  if (!IsAccess(product)) {
    throw AutomationError(kNoInstallableIsam,
                          "Table " + Quoted(table.name) + " is linked to " +
                              Quoted(table.foreign_name) + " of the " + product + " source " +
                              Quoted(table.database) + " (" + WithoutPasswords(table.connect) +
                              "): only tables linked to Access databases (.mdb, .accdb) can be "
                              "read.");
  }
  const std::string link = "Table " + Quoted(table.name) + " is linked to " +
                           Quoted(table.foreign_name) + " of " + Quoted(table.database);
  if (depth >= kMaxLinkDepth) {
    throw AutomationError(err::kDamaged, link + ", and its links lead more than " +
                                             std::to_string(kMaxLinkDepth) +
                                             " tables on: they go round in a circle.");
  }
  std::error_code ec;
  const fs::path front_end = fs::absolute(path(), ec);
  const StoredPathSearch search = LocateStoredPath(table.database, front_end.parent_path());
  if (search.found.empty()) {
    throw AutomationError(err::kFileNotFound, "Could not find file " + Quoted(table.database) +
                                                  ", the back-end of linked table " +
                                                  Quoted(table.name) + ". " +
                                                  PlacesLookedAt(search));
  }
  std::shared_ptr<MdbSource> back_end;
  try {
    back_end = OpenOther(search.found);
  } catch (const AutomationError& e) {
    throw AutomationError(e.number(),
                          link + ", found at " + Quoted(search.found) + ": " + e.description());
  }
  const TableEntry* target = back_end->FindTable(table.foreign_name);
  if (target == nullptr) {
    throw AutomationError(kObjectNotFound, link + ", found at " + Quoted(search.found) +
                                               ", which has no table " +
                                               Quoted(table.foreign_name) + ".");
  }
  return back_end->Resolve(*target, depth + 1);
}

std::shared_ptr<MdbSource> MdbSource::OpenOther(const std::string& located) {
  std::error_code ec;
  std::string key = fs::weakly_canonical(located, ec).string();
  if (ec) key = fs::absolute(located).string();
  const std::string own = fs::weakly_canonical(path(), ec).string();
  if (!ec && key == own) return shared_from_this();
  auto it = others_.find(key);
  if (it == others_.end()) it = others_.emplace(key, MdbSource::Open(located)).first;
  return it->second;
}

TableProvider& MdbSource::ExternalDatabase(const std::string& stored) {
  const StoredPathSearch search = LocateStoredPath(stored);
  if (search.found.empty()) {
    throw AutomationError(err::kFileNotFound, "Could not find file " + Quoted(stored) +
                                                  ", the database of an IN clause. " +
                                                  PlacesLookedAt(search));
  }
  std::shared_ptr<MdbSource> other = OpenOther(search.found);
  auto it = external_.find(other->path());
  if (it == external_.end()) {
    std::shared_ptr<MdbSource> keep = other.get() == this ? nullptr : other;
    it = external_.emplace(other->path(), std::make_unique<ExternalTables>(*other, keep)).first;
  }
  return *it->second;
}

}  // namespace kestrin::automation::mdb
