// What the program relies on of Access and its DAO engine.
//
// The program reads its source database only through these interfaces: the
// Access application (attach or start, open and close the current database)
// and the DAO objects of that database (table and query definitions, their
// fields, and recordsets over a table or a saved select query). One real
// implementation serves them from Access files on disk; tests use in-memory
// doubles. Every member may throw AutomationError with the number and the
// description of the failure; the caller decides what follows.
//
// Objects returned by reference stay valid as long as the object that
// returned them. Nothing here is thread-safe: the program has one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "automation/value.h"

namespace kestrin::automation {

// The Fields collection of a table definition, a query definition or a
// recordset: field names in the order DAO gives them.
class DaoFields {
 public:
  DaoFields() = default;
  DaoFields(const DaoFields&) = delete;
  DaoFields& operator=(const DaoFields&) = delete;
  virtual ~DaoFields() = default;

  virtual int Count() const = 0;
  // Name of field `index` (from 0). Throws 3265 when index is out of range.
  virtual std::string Name(int index) const = 0;
};

class DaoTableDef {
 public:
  DaoTableDef() = default;
  DaoTableDef(const DaoTableDef&) = delete;
  DaoTableDef& operator=(const DaoTableDef&) = delete;
  virtual ~DaoTableDef() = default;

  virtual std::string Name() const = 0;
  virtual const DaoFields& Fields() const = 0;
};

class DaoQueryDef {
 public:
  DaoQueryDef() = default;
  DaoQueryDef(const DaoQueryDef&) = delete;
  DaoQueryDef& operator=(const DaoQueryDef&) = delete;
  virtual ~DaoQueryDef() = default;

  virtual std::string Name() const = 0;
  // DAO's query type code: a base kind (a multiple of 16: 0 select,
  // 16 crosstab, 32 delete, 48 update, 64 append, 80 make-table, 96 data
  // definition, 112 pass-through, 128 union) plus 8 when the query is hidden.
  virtual std::int16_t Type() const = 0;
  // Output columns of the query. May throw when the query cannot be analysed.
  virtual const DaoFields& Fields() const = 0;
};

// TableDefs and QueryDefs. Items are in the order DAO enumerates them
// (catalogue order for tables, system tables included).
template <class Def>
class DaoCollection {
 public:
  DaoCollection() = default;
  DaoCollection(const DaoCollection&) = delete;
  DaoCollection& operator=(const DaoCollection&) = delete;
  virtual ~DaoCollection() = default;

  virtual int Count() const = 0;
  // Item by position from 0. Throws 3265 when index is out of range.
  virtual const Def& Item(int index) const = 0;
  // Item by exact name. Throws 3265 when there is none.
  virtual const Def& Item(std::string_view name) const = 0;
};

// A recordset over every record of a table or saved select query, in DAO's
// default type. A new recordset is positioned on its first record, or at EOF
// when there is none.
class DaoRecordset {
 public:
  DaoRecordset() = default;
  DaoRecordset(const DaoRecordset&) = delete;
  DaoRecordset& operator=(const DaoRecordset&) = delete;
  virtual ~DaoRecordset() = default;

  // True when there is no current record past the last one (DAO's EOF).
  virtual bool Eof() const = 0;
  virtual void MoveFirst() = 0;
  virtual void MoveLast() = 0;
  // Moves past the current record; past the last one Eof() becomes true.
  // Throws 3021 when already at EOF.
  virtual void MoveNext() = 0;
  // Number of records visited so far; exact once MoveLast has been called.
  virtual std::int32_t RecordCount() const = 0;
  virtual void Close() = 0;

  virtual const DaoFields& Fields() const = 0;
  // Fields(index).Value of the current record, null included.
  // Throws 3021 when there is no current record, 3265 for a bad index.
  virtual Value FieldValue(int index) const = 0;
};

// The DAO Database of Access's current database (AcDb).
class DaoDatabase {
 public:
  DaoDatabase() = default;
  DaoDatabase(const DaoDatabase&) = delete;
  DaoDatabase& operator=(const DaoDatabase&) = delete;
  virtual ~DaoDatabase() = default;

  virtual const DaoCollection<DaoTableDef>& TableDefs() const = 0;
  virtual const DaoCollection<DaoQueryDef>& QueryDefs() const = 0;
  // Opens a recordset on a table or a saved query by name. Throws 3078 (no
  // such table or query), 3061 (parameters needed), or another number when the
  // source cannot be read.
  virtual std::unique_ptr<DaoRecordset> OpenRecordset(const std::string& name) = 0;
  // Properties(name).Value = value. May throw (the caller may ignore it).
  virtual void SetProperty(const std::string& name, const Value& value) = 0;
};

// The Access application (AcApp).
class AccessApplication {
 public:
  AccessApplication() = default;
  AccessApplication(const AccessApplication&) = delete;
  AccessApplication& operator=(const AccessApplication&) = delete;
  virtual ~AccessApplication() = default;

  // Makes the file the current database. The user's file is never written.
  // Throws when the file is missing or is not a database the engine can read.
  virtual void OpenCurrentDatabase(const std::string& path, bool exclusive) = 0;
  // Closes the current database; nothing happens when none is open.
  virtual void CloseCurrentDatabase() = 0;
  // DBEngine.Workspaces(0).Databases(0): the current database. Throws 91
  // when none is open.
  virtual std::shared_ptr<DaoDatabase> CurrentDatabase() = 0;
};

// Attach-or-start for Access: the running-object table and the class factory.
class AccessServer {
 public:
  AccessServer() = default;
  AccessServer(const AccessServer&) = delete;
  AccessServer& operator=(const AccessServer&) = delete;
  virtual ~AccessServer() = default;

  // Attaches to a running instance. Throws when none runs.
  virtual std::shared_ptr<AccessApplication> GetObject() = 0;
  // Starts a new, invisible instance. Throws when it cannot be started.
  virtual std::shared_ptr<AccessApplication> CreateObject() = 0;
};

}  // namespace kestrin::automation
