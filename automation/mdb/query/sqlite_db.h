// A small RAII wrapper over the SQLite C API: one in-memory database and
// prepared statements over it. Failures throw SqliteError with SQLite's message.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace kestrin::automation::mdb {

class SqliteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, const std::string& sql) : db_(db) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &s, nullptr) !=
        SQLITE_OK) {
      throw SqliteError(sqlite3_errmsg(db));
    }
    stmt_.reset(s);
  }

  sqlite3_stmt* get() const noexcept { return stmt_.get(); }

  // Advances; true while a row is available. Throws on failure.
  bool Step() {
    const int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw SqliteError(sqlite3_errmsg(db_));
  }

  void Reset() {
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
  }

 private:
  struct Finalize {
    void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
  };
  sqlite3* db_;
  std::unique_ptr<sqlite3_stmt, Finalize> stmt_;
};

class SqliteDatabase {
 public:
  SqliteDatabase() {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
      const std::string msg = db ? sqlite3_errmsg(db) : "out of memory";
      sqlite3_close(db);
      throw SqliteError(msg);
    }
    db_.reset(db);
  }

  sqlite3* get() const noexcept { return db_.get(); }

  void Execute(const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : sqlite3_errmsg(db_.get());
      sqlite3_free(err);
      throw SqliteError(msg);
    }
  }

 private:
  struct Close {
    void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
  };
  std::unique_ptr<sqlite3, Close> db_;
};

// "name" with embedded quotes doubled: safe for any identifier.
inline std::string QuoteIdentifier(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// 'text' with embedded quotes doubled: safe for any string literal. Text with
// NUL bytes is emitted as a blob cast to text so nothing is cut short.
inline std::string QuoteString(const std::string& text) {
  if (text.find('\0') != std::string::npos) {
    static const char* hex = "0123456789ABCDEF";
    std::string out = "CAST(X'";
    for (unsigned char c : text) {
      out += hex[c >> 4];
      out += hex[c & 15];
    }
    return out + "' AS TEXT)";
  }
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

}  // namespace kestrin::automation::mdb
