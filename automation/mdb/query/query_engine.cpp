#include "automation/mdb/query/query_engine.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <new>
#include <set>

#include "automation/failure.h"
#include "automation/mdb/query/access_errors.h"
#include "automation/mdb/query/access_functions.h"
#include "automation/mdb/query/access_names.h"
#include "automation/mdb/query/access_sql.h"
#include "automation/mdb/query/rebuild.h"
#include "automation/mdb/query/sqlite_db.h"
#include "automation/mdb/query/translate.h"

namespace kestrin::automation::mdb {

namespace {

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

bool IsTextType(AccessType t) {
  return t == AccessType::kText || t == AccessType::kMemo || t == AccessType::kGuid;
}

// Binds a field value in the engine's storage for the column's type. Values
// of another kind than the column's are stored as the column would hold
// them: a Yes/No as -1/0, a currency as ten-thousandths, a date as a serial.
void Bind(sqlite3_stmt* stmt, int index, const Value& v, AccessType type) {
  if (type == AccessType::kBoolean &&
      (v.kind() == Value::Kind::kInteger || v.kind() == Value::Kind::kDouble)) {
    const bool on = v.kind() == Value::Kind::kInteger ? v.integer() != 0 : v.real() != 0;
    sqlite3_bind_int(stmt, index, on ? -1 : 0);
    return;
  }
  if (type == AccessType::kCurrency) {
    if (v.kind() == Value::Kind::kInteger && v.integer() > -922337203685477 &&
        v.integer() < 922337203685477) {
      sqlite3_bind_int64(stmt, index, v.integer() * 10000);
      return;
    }
    if (v.kind() == Value::Kind::kDouble) {
      if (auto c = fn::CurrencyFromAmount(v.real())) {
        sqlite3_bind_int64(stmt, index, *c);
        return;
      }
    }
  }
  switch (v.kind()) {
    case Value::Kind::kNull:
      sqlite3_bind_null(stmt, index);
      break;
    case Value::Kind::kBoolean:
      sqlite3_bind_int(stmt, index, v.boolean() ? -1 : 0);
      break;
    case Value::Kind::kInteger:
      sqlite3_bind_int64(stmt, index, v.integer());
      break;
    case Value::Kind::kCurrency:
      sqlite3_bind_int64(stmt, index, v.currency().ten_thousandths);
      break;
    case Value::Kind::kDouble:
      sqlite3_bind_double(stmt, index, v.real());
      break;
    case Value::Kind::kDateTime:
      sqlite3_bind_double(stmt, index, v.datetime().serial);
      break;
    case Value::Kind::kText:
      sqlite3_bind_text64(stmt, index, v.text().data(), v.text().size(), SQLITE_STATIC,
                          SQLITE_UTF8);
      break;
    case Value::Kind::kBinary:
      sqlite3_bind_blob64(stmt, index, v.binary().data(), v.binary().size(), SQLITE_STATIC);
      break;
  }
}

// Converts one result cell back to the value Access gives for the column's type.
Value ToValue(sqlite3_stmt* stmt, int col, AccessType type) {
  const int kind = sqlite3_column_type(stmt, col);
  if (kind == SQLITE_NULL) return Value();
  auto text = [&] {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, col));
    return std::string(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(stmt, col)));
  };
  const bool numeric = kind == SQLITE_INTEGER || kind == SQLITE_FLOAT;
  const double real = sqlite3_column_double(stmt, col);
  switch (type) {
    case AccessType::kBoolean:
      if (numeric) return Value(real != 0);
      return Value(text());
    case AccessType::kByte:
    case AccessType::kInteger:
    case AccessType::kLong:
      if (kind == SQLITE_INTEGER)
        return Value(static_cast<std::int64_t>(sqlite3_column_int64(stmt, col)));
      if (kind == SQLITE_FLOAT) {
        if (std::floor(real) == real && std::fabs(real) < 9e15)
          return Value(static_cast<std::int64_t>(real));
        return Value(real);
      }
      return Value(text());
    case AccessType::kCurrency:
      if (kind == SQLITE_INTEGER) return Value(Currency{sqlite3_column_int64(stmt, col)});
      if (kind == SQLITE_FLOAT && std::fabs(real) < 9.2e18)
        return Value(Currency{static_cast<std::int64_t>(fn::BankersRound(real, 0))});
      return Value(text());
    case AccessType::kSingle:
      if (numeric) return Value(fn::SingleAsShown(static_cast<float>(real)));
      return Value(text());
    case AccessType::kDouble:
    case AccessType::kDecimal:
      if (numeric) return Value(real);
      return Value(text());
    case AccessType::kDateTime:
      if (numeric) return Value(DateTime{real});
      return Value(text());
    case AccessType::kBinary:
    case AccessType::kOle:
    case AccessType::kComplex: {
      if (kind == SQLITE_BLOB) {
        const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, col));
        return Value(Binary(p, p + sqlite3_column_bytes(stmt, col)));
      }
      break;
    }
    default:
      break;
  }
  // Text columns (and anything else): numbers become their Access text.
  if (kind == SQLITE_INTEGER) return Value(std::to_string(sqlite3_column_int64(stmt, col)));
  if (kind == SQLITE_FLOAT) return Value(fn::NumberText(real));
  if (kind == SQLITE_BLOB && !IsTextType(type)) {
    const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, col));
    return Value(Binary(p, p + sqlite3_column_bytes(stmt, col)));
  }
  return Value(text());
}

std::string HeadingName(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kNull:
      return "<>";
    case Value::Kind::kBoolean:
      return v.boolean() ? "-1" : "0";
    case Value::Kind::kInteger:
      return std::to_string(v.integer());
    case Value::Kind::kCurrency:
      return fn::NumberText(static_cast<double>(v.currency().ten_thousandths) / 10000.0);
    case Value::Kind::kDouble:
      return fn::NumberText(v.real());
    case Value::Kind::kDateTime:
      return fn::DateText(v.datetime().serial);
    case Value::Kind::kText:
      return v.text();
    case Value::Kind::kBinary:
      break;
  }
  return "<binary>";
}

// Maps a function failure raised inside SQLite to Access's number.
std::int32_t NumberOf(const std::string& message) {
  if (message.find("Type mismatch") != std::string::npos) return err::kTypeMismatch;
  if (message.find("Division by zero") != std::string::npos) return err::kDivisionByZero;
  if (message.find("Overflow") != std::string::npos) return err::kOverflow;
  if (message.find("Invalid procedure call") != std::string::npos)
    return err::kInvalidProcedureCall;
  if (message.find("Invalid use of Null") != std::string::npos) return err::kInvalidUseOfNull;
  if (message.find("out of memory") != std::string::npos) return err::kResourcesExceeded;
  return err::kCannotEvaluate;
}

// Memory a query may take: SQLite's heap (the loaded tables, sorting,
// grouping) and, as much again, the values of its result. A damaged file
// that makes a table or a join look enormous ends here with an error, not
// with the process out of memory.
constexpr std::int64_t kMemoryLimit = std::int64_t{1} << 30;

// Bytes one value of a result takes.
std::int64_t Footprint(const Value& v) {
  std::int64_t n = static_cast<std::int64_t>(sizeof(Value));
  if (v.kind() == Value::Kind::kText) n += static_cast<std::int64_t>(v.text().size());
  if (v.kind() == Value::Kind::kBinary) n += static_cast<std::int64_t>(v.binary().size());
  return n;
}

}  // namespace

TableProvider& TableProvider::ExternalDatabase(const std::string& path) {
  throw AutomationError(err::kFileNotFound,
                        "Could not find file '" + path + "': no other database can be read here.");
}

struct QueryEngine::Impl final : Catalog {
  Impl(TableProvider& t, std::vector<SavedQuery> q) : tables(t), queries(std::move(q)) {
    for (size_t i = 0; i < queries.size(); ++i) by_name.emplace(NameKey(queries[i].name), i);
    // The limit is SQLite's, for the whole process; every engine sets the
    // same one.
    sqlite3_hard_heap_limit64(kMemoryLimit);
    fn::Register(db.get());
  }

  const SavedQuery& Find(const std::string& name) const {
    auto it = by_name.find(NameKey(name));
    if (it == by_name.end()) {
      throw AutomationError(
          err::kItemNotFound,
          "Item not found in this collection: there is no query " + Quoted(name) + ".");
    }
    return queries[it->second];
  }

  // Refuses queries that are not select, union or crosstab queries.
  static void CheckRunnable(const SavedQuery& q) {
    const QueryKind kind = KindOf(q);
    if (kind == QueryKind::kSelect || kind == QueryKind::kUnion || kind == QueryKind::kCrosstab)
      return;
    throw AutomationError(err::kInvalidOperation, "Invalid operation: query " + Quoted(q.name) +
                                                      " is a " + KindName(kind) +
                                                      "; only select, union and crosstab queries "
                                                      "return records.");
  }

  // Analyse, with running out of memory (loading tables) a failure that
  // names the query.
  const Translation& AnalyseWithinMemory(const SavedQuery& q) {
    try {
      return Analyse(q);
    } catch (const std::bad_alloc&) {
      throw AutomationError(err::kResourcesExceeded, "System resource exceeded: query " +
                                                         Quoted(q.name) + " ran out of memory.");
    }
  }

  // The query's translation, made once per engine.
  const Translation& Analyse(const SavedQuery& q) {
    const std::string key = NameKey(q.name);
    if (auto it = analysed.find(key); it != analysed.end()) return it->second;
    if (in_progress.count(key))
      throw AutomationError(err::kCircularQuery,
                            "Circular reference caused by query " + Quoted(q.name) + ".");
    CheckRunnable(q);
    in_progress.insert(key);
    struct Done {
      std::set<std::string>& s;
      std::string k;
      ~Done() { s.erase(k); }
    } done{in_progress, key};
    std::string text;
    try {
      text = RebuildSql(q);
    } catch (const DefinitionError& e) {
      throw AutomationError(err::kSyntax, "Query " + Quoted(q.name) +
                                              " has a malformed definition: " + e.what() + ".");
    }
    sql::Statement st;
    try {
      st = sql::ParseStatement(text);
    } catch (const sql::SqlSyntaxError& e) {
      throw AutomationError(err::kSyntax,
                            "Syntax error in query " + Quoted(q.name) + ": " + e.what() + ".");
    }
    Translation t;
    try {
      t = Translate(st, *this);
    } catch (const TranslateError& e) {
      throw AutomationError(e.number(), "Query " + Quoted(q.name) + ": " + e.what());
    } catch (const SqliteError& e) {
      throw AutomationError(NumberOf(e.what()),
                            "Query " + Quoted(q.name) + " could not be evaluated: " + e.what());
    } catch (const AutomationError& e) {
      // A table that cannot be read, or a query this one is built on.
      const std::string prefix = "Query " + Quoted(q.name);
      if (e.description().rfind(prefix, 0) == 0) throw;
      throw AutomationError(e.number(), prefix + ": " + e.description());
    }
    return analysed.emplace(key, std::move(t)).first->second;
  }

  const SourceInfo& Source(const std::string& name) override {
    const std::string key = NameKey(name);
    if (auto it = sources.find(key); it != sources.end()) return it->second;
    if (auto columns = tables.TableColumns(name)) return LoadTable(key, name, *columns, tables);
    auto q = by_name.find(key);
    if (q == by_name.end()) {
      throw TranslateError(err::kTableNotFound,
                           "The Microsoft Access database engine cannot find the "
                           "input table or query " +
                               Quoted(name) +
                               ". Make sure it exists and that its name is spelled "
                               "correctly.");
    }
    const SavedQuery& sq = queries[q->second];
    const Translation& t = Analyse(sq);
    SourceInfo info;
    info.sql_name = "v" + std::to_string(next_object++);
    for (size_t i = 0; i < t.columns.size(); ++i)
      info.columns.push_back({t.columns[i].name, t.columns[i].type, "c" + std::to_string(i)});
    info.parameters = t.parameters;
    db.Execute("CREATE TEMP VIEW " + QuoteIdentifier(info.sql_name) + " AS " + t.sql);
    return sources.emplace(key, std::move(info)).first->second;
  }

  // A table or query of another database, loaded as a table; keyed apart
  // from the sources of this one.
  const SourceInfo& ExternalSource(const std::string& database, const std::string& name) override {
    const std::string key = NameKey(database) + '\x1F' + NameKey(name);
    if (auto it = sources.find(key); it != sources.end()) return it->second;
    TableProvider& other = tables.ExternalDatabase(database);
    if (auto columns = other.TableColumns(name)) return LoadTable(key, name, *columns, other);
    throw TranslateError(err::kTableNotFound,
                         "The Microsoft Access database engine cannot find the input table or "
                         "query " +
                             Quoted(name) + " in " + Quoted(database) + ".");
  }

  const SourceInfo& LoadTable(const std::string& key, const std::string& name,
                              const std::vector<ColumnInfo>& columns, TableProvider& provider) {
    SourceInfo info;
    info.sql_name = "t" + std::to_string(next_object++);
    info.has_rowid = true;
    std::string create = "CREATE TEMP TABLE " + QuoteIdentifier(info.sql_name) + " (";
    std::string insert = "INSERT INTO " + QuoteIdentifier(info.sql_name) + " VALUES (";
    for (size_t i = 0; i < columns.size(); ++i) {
      const std::string col = "f" + std::to_string(i);
      info.columns.push_back({columns[i].name, columns[i].type, col});
      if (i) {
        create += ", ";
        insert += ", ";
      }
      create += QuoteIdentifier(col);
      if (IsTextType(columns[i].type)) create += " COLLATE access_text";
      insert += "?";
    }
    if (columns.empty()) {
      throw AutomationError(err::kCannotEvaluate, "Table " + Quoted(name) + " has no columns.");
    }
    create += ")";
    insert += ")";
    db.Execute(create);
    try {
      db.Execute("BEGIN");
      SqliteStatement stmt(db.get(), insert);
      const size_t width = columns.size();
      provider.ReadTable(name, [&](std::vector<Value>&& row) {
        if (row.size() != width) {
          throw AutomationError(err::kCannotEvaluate,
                                "Table " + Quoted(name) + " gave a record of " +
                                    std::to_string(row.size()) + " values for " +
                                    std::to_string(width) + " columns.");
        }
        for (size_t i = 0; i < width; ++i)
          Bind(stmt.get(), static_cast<int>(i + 1), row[i], columns[i].type);
        stmt.Step();
        stmt.Reset();
      });
      db.Execute("COMMIT");
    } catch (...) {
      sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      sqlite3_exec(db.get(), ("DROP TABLE IF EXISTS " + QuoteIdentifier(info.sql_name)).c_str(),
                   nullptr, nullptr, nullptr);
      throw;
    }
    return sources.emplace(key, std::move(info)).first->second;
  }

  std::vector<std::pair<std::string, std::string>> Headings(const std::string& query,
                                                            AccessType type) override {
    std::vector<std::pair<std::string, std::string>> out;
    SqliteStatement stmt(db.get(), query);
    while (stmt.Step()) {
      std::string literal;
      switch (sqlite3_column_type(stmt.get(), 0)) {
        case SQLITE_NULL:
          literal = "NULL";
          break;
        case SQLITE_INTEGER:
          literal = std::to_string(sqlite3_column_int64(stmt.get(), 0));
          break;
        case SQLITE_FLOAT: {
          char b[64];
          std::snprintf(b, sizeof b, "%.17g", sqlite3_column_double(stmt.get(), 0));
          literal = b;
          if (literal.find_first_of(".eEn") == std::string::npos) literal += ".0";
          break;
        }
        default: {
          const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt.get(), 0));
          literal = QuoteString(
              std::string(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(stmt.get(), 0))));
          break;
        }
      }
      out.emplace_back(literal, HeadingName(ToValue(stmt.get(), 0, type)));
    }
    return out;
  }

  TableProvider& tables;
  std::vector<SavedQuery> queries;
  std::map<std::string, size_t> by_name;
  SqliteDatabase db;
  std::map<std::string, SourceInfo> sources;
  std::map<std::string, Translation> analysed;
  std::set<std::string> in_progress;
  int next_object = 0;
};

QueryEngine::QueryEngine(TableProvider& tables, std::vector<SavedQuery> queries)
    : impl_(std::make_unique<Impl>(tables, std::move(queries))) {}

QueryEngine::~QueryEngine() = default;

std::string QueryEngine::Sql(const std::string& query) const {
  const SavedQuery& q = impl_->Find(query);
  try {
    return RebuildSql(q);
  } catch (const DefinitionError& e) {
    throw AutomationError(
        err::kSyntax, "Query " + Quoted(q.name) + " has a malformed definition: " + e.what() + ".");
  }
}

std::vector<std::string> QueryEngine::OutputColumnNames(const std::string& query) {
  const Translation& t = impl_->AnalyseWithinMemory(impl_->Find(query));
  std::vector<std::string> names;
  for (const auto& c : t.columns) names.push_back(c.name);
  return names;
}

QueryResult QueryEngine::Run(const std::string& query) {
  const SavedQuery& q = impl_->Find(query);
  const Translation& t = impl_->AnalyseWithinMemory(q);
  const std::size_t expected = t.parameters.size();
  if (expected > 0) {
    throw AutomationError(err::kTooFewParameters,
                          "Too few parameters. Expected " + std::to_string(expected) + ".");
  }
  QueryResult result;
  result.columns = t.columns;
  auto too_big = [&] {
    return AutomationError(err::kResourcesExceeded,
                           "System resource exceeded: the records of query " + Quoted(q.name) +
                               " need more than " + std::to_string(kMemoryLimit >> 20) +
                               " MB of memory.");
  };
  try {
    SqliteStatement stmt(impl_->db.get(), t.sql);
    const int width = static_cast<int>(t.columns.size());
    std::int64_t bytes = 0;
    while (stmt.Step()) {
      std::vector<Value> row;
      row.reserve(t.columns.size());
      for (int i = 0; i < width; ++i) {
        row.push_back(ToValue(stmt.get(), i, t.columns[static_cast<size_t>(i)].type));
        bytes += Footprint(row.back());
      }
      if (bytes > kMemoryLimit) throw too_big();
      result.rows.push_back(std::move(row));
    }
  } catch (const SqliteError& e) {
    throw AutomationError(NumberOf(e.what()),
                          "Query " + Quoted(q.name) + " could not be evaluated: " + e.what());
  } catch (const std::bad_alloc&) {
    throw too_big();
  }
  return result;
}

}  // namespace kestrin::automation::mdb
