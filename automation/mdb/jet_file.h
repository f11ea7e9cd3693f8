// Read-only access to the pages of an Access file through libmdb, hardened
// against damaged files.
//
// libmdb (mdbtools 1.0) opens the file, reads and decrypts its pages and
// converts JET3 text from the file's code page. Everything that decides where
// libmdb looks is checked here first, because libmdb follows page numbers and
// offsets as it finds them: its table-definition reader chains pages without
// checking them, its usage map reader ends the process on a short read, its
// row cracker reports damaged rows on standard error, and its catalogue
// reader parses every object's property blob. So this layer reads the
// catalogue (MSysObjects), table definitions, usage maps, rows, long-value
// chains and the one property it needs (the result type of calculated
// fields) itself, with every page number, length and offset checked and
// every loop bounded by the file's page count. A row moved to another page is
// read where its slot is, following its pointer, as Access lists it (libmdb
// swaps the meaning of the two row flags and lists the row where its data
// lies). Nothing here writes to standard error.
//
// Failures throw AutomationError with DAO's numbers: 3024 (file not found),
// 3343 (not an Access database), 3049 (damaged database).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "automation/value.h"

namespace kestrin::automation::mdb::jet {

// Access column type codes beyond those of AccessType (query_engine.h).
inline constexpr int kTypeBinaryBlock = 0x11;  // fixed binary block (MSysAccessObjects.Data)
inline constexpr int kTypeBigInt = 0x13;       // "Large Number" (Access 2016)
inline constexpr int kTypeExtDateTime = 0x14;  // "Date/Time Extended" (Access 2019)

// MSysObjects.Type of the objects this reader cares about. (libmdb keeps only
// Type & 0x7F, which mixes reports, -32764, with ODBC links, 4.)
inline constexpr int kObjectTable = 1;
inline constexpr int kObjectLinkedOdbc = 4;
inline constexpr int kObjectQuery = 5;
inline constexpr int kObjectLinkedTable = 6;

struct CatalogEntry {
  std::string name;
  std::int32_t id = 0;
  int type = 0;            // MSysObjects.Type (forms, reports, … are negative)
  std::int32_t flags = 0;  // MSysObjects.Flags
  // Linked tables only: MSysObjects.Database (the other file's path),
  // Connect and ForeignName (the table's name over there).
  std::string database;
  std::string connect;
  std::string foreign_name;
  std::uint32_t page() const { return static_cast<std::uint32_t>(id) & 0x00FFFFFFu; }
};

struct Column {
  std::string name;
  int type = 0;          // Access type code as stored (1..0x14, others unknown)
  int col_num = 0;       // bit in the row's null mask (deleted columns count)
  int var_index = 0;     // entry in the row's variable-length offset table
  int fixed_offset = 0;  // offset of a fixed-length value after the column count
  int size = 0;          // stored length of a fixed value, maximum of a variable one
  bool fixed = false;
  int precision = 0;
  int scale = 0;
  // ACE 2010 calculated field: the value is wrapped in 23 more bytes and
  // stored in the encoding of the expression's result type, which the
  // table's properties (MSysObjects.LvProp, "ResultType") name.
  bool calculated = false;
  int value_type = 0;  // how values are stored: `type`, or the result type
  // False for attachment, multi-value and unknown types, whose values are
  // not in the row, and for calculated fields whose result type is unknown.
  bool readable = true;
};

struct TableDef {
  std::string name;
  std::uint32_t page = 0;                 // first page of the definition
  std::vector<Column> columns;            // in column-number order (libmdb's and mdb-export's)
  int var_columns = 0;                    // variable-length columns in the definition
  std::vector<std::uint32_t> data_pages;  // pages the usage map assigns to the table
};

class JetFile {
 public:
  // Opens the file read-only and reads its catalogue.
  static std::unique_ptr<JetFile> Open(const std::string& path);
  ~JetFile();
  JetFile(const JetFile&) = delete;
  JetFile& operator=(const JetFile&) = delete;

  const std::string& path() const { return path_; }
  bool jet3() const { return jet3_; }
  std::uint32_t page_size() const { return page_size_; }
  std::uint32_t page_count() const { return page_count_; }
  // MSysObjects rows in physical order.
  const std::vector<CatalogEntry>& catalog() const { return catalog_; }

  // The definition of the table whose definition starts at `page`.
  // Throws 3049 when it is damaged.
  std::shared_ptr<const TableDef> ReadTableDef(const std::string& name, std::uint32_t page);

  // --- Used by TableReader -------------------------------------------------
  // Page `pg` in libmdb's page buffer, or throws.
  const std::uint8_t* LoadPage(std::uint32_t pg);
  // A copy of page `pg`, read without disturbing libmdb's page buffer.
  void CopyPage(std::uint32_t pg, std::vector<std::uint8_t>& out);
  // The bytes of a long value (memo, OLE) from its 12-byte row definition.
  std::vector<std::uint8_t> ReadLongValue(const std::uint8_t* def, std::size_t size,
                                          const std::string& where);
  // JET3 text in the file's code page, as UTF-8 (libmdb's iconv conversion).
  std::string Jet3Text(const std::uint8_t* data, std::size_t size);
  // Any text value of this file's version as UTF-8.
  std::string Text(const std::uint8_t* data, std::size_t size);
  void* handle() const { return mdb_; }

  [[noreturn]] void Damaged(const std::string& what) const;

 private:
  JetFile() = default;
  void ReadCatalog();
  // Result types of the calculated fields of the table defined at `page`,
  // from its property blob; empty when there is none or it is damaged.
  std::vector<std::pair<std::string, int>> CalculatedResultTypes(std::uint32_t page);
  std::vector<std::uint32_t> UsageMapPages(std::uint32_t pg_row, std::uint32_t owner,
                                           const std::string& table);
  // Start and length of row `row` of the page in `page`, without its flag bits.
  bool FindRow(const std::uint8_t* page, int row, int* start, int* size, int* flags) const;

  std::string path_;
  void* mdb_ = nullptr;  // MdbHandle*, closed by the destructor
  bool jet3_ = false;
  std::uint32_t page_size_ = 0;
  std::uint32_t page_count_ = 0;
  int row_count_offset_ = 0;
  std::vector<CatalogEntry> catalog_;
  std::vector<std::uint8_t> scratch_;

  friend class TableReader;
};

// The records of one table, read a data page at a time, in the order of the
// usage map and of the rows on each page (the order mdb-export gives).
class TableReader {
 public:
  // Counts the records of every data page; throws 3049 when the table's
  // pages are damaged.
  TableReader(JetFile& file, std::shared_ptr<const TableDef> def);
  ~TableReader();
  TableReader(const TableReader&) = delete;
  TableReader& operator=(const TableReader&) = delete;

  const TableDef& def() const { return *def_; }
  std::int64_t record_count() const { return total_; }
  // Pages with at least one record.
  std::size_t page_count() const { return pages_.size(); }
  std::int64_t first_record(std::size_t page_index) const { return first_[page_index]; }
  std::int64_t records_on(std::size_t page_index) const {
    return first_[page_index + 1] - first_[page_index];
  }
  // Decodes the records of one page into `rows` (replacing its contents):
  // one Value per column, Null for the columns that are not readable and for
  // those that `wanted` (one flag per column) leaves out. A record moved to
  // another page is read where its slot is, as Access lists it; `where`, when
  // given, receives where each record's data lies (page << 16 | row).
  // Throws 3049 for a damaged row.
  void DecodePage(std::size_t page_index, std::vector<std::vector<Value>>& rows,
                  const std::vector<bool>* wanted = nullptr,
                  std::vector<std::uint64_t>* where = nullptr);

 private:
  struct Slot {
    std::uint32_t page;
    int row;
  };
  void CollectSlots(std::uint32_t page, std::vector<Slot>& slots);
  void DecodeRow(std::uint32_t page, int row, std::vector<Value>& out,
                 const std::vector<bool>* wanted);
  Value DecodeField(const Column& col, const std::uint8_t* data, int size, std::uint32_t page,
                    int row);

  JetFile& file_;
  std::shared_ptr<const TableDef> def_;
  // Where one column's value lies in the row being decoded.
  struct Span {
    int start = 0;
    int size = 0;
    bool present = false;  // the row holds a value for the column
    bool null = true;      // its null-mask bit is clear (for Yes/No: False)
  };
  bool CrackRow(const std::uint8_t* page, int start, int size);

  std::vector<std::uint32_t> pages_;
  std::vector<std::int64_t> first_;
  std::int64_t total_ = 0;
  std::vector<Span> spans_;   // one per column
  std::vector<int> offsets_;  // the row's variable-value offsets
};

}  // namespace kestrin::automation::mdb::jet
