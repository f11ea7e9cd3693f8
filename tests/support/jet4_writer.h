// Writes Access 2000 (JET4) .mdb files described in test code, so that tests
// and benchmarks can make exactly the databases they need.
//
// A description names user tables (columns, rows of automation::Value, and
// optionally rows to store as deleted or as moved to another page), linked
// tables, and saved queries (MSysObjects flags plus their MSysQueries rows),
// catalogued in MSysObjects in that order after the system objects. The writer
// adds the system catalogue a reader expects: MSysObjects (table definition
// at page 2), MSysACEs, MSysQueries and MSysRelationships, flagged as Access
// flags them (0x80000000), plus the Tables/Databases/Relationships container
// rows. The file opens with libmdb and Debian's mdb-tables, mdb-schema,
// mdb-export and mdb-queries.
//
// What is written, exactly:
//   Boolean   Value(bool), kept in the null mask; never null.
//   Byte      integer 0..255.        Integer  integer -32768..32767.
//   Long      integer fitting int32. Currency Value(Currency), stored as its
//             int64 count of ten-thousandths.
//   Single    double (or integer), stored as float; must fit a float.
//   Double    double (or integer).   Date/Time Value(DateTime), its serial.
//   Text      UTF-8 text of at most max_length UTF-16 code units (characters
//             beyond the BMP take two), stored as UCS-2LE with surrogate
//             pairs; with `compressed`, in the FF FE compressed form (one
//             byte per character for runs of U+0001..U+00FF, two bytes in
//             between, 0x00 switching) whenever that is shorter and no
//             character outside U+0001..U+00FF has a low byte of 0.
//   Memo      UTF-8 text of any length, as Text (compression only up to 1,024
//             characters); OLE: Value(Binary) of any length. Long values of
//             at most inline_long_value_limit bytes stay in the row, longer
//             ones go to LVAL pages: one row when they fit a page (up to
//             4,080 bytes), a chain of rows on several pages otherwise. A row
//             that would outgrow its page moves all its long values out.
//   Binary    Value(Binary) of at most max_length bytes (1..255).
//   GUID      Value(Binary) of 16 bytes in storage order, or text
//             "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (Data1..Data3 stored
//             little-endian, as Windows stores a GUID).
// Every type except Boolean accepts Null. Any other value, a value out of
// range, an invalid UTF-8 text, a row with the wrong number of values, a
// row too long for a page, an empty, over-long (64) or duplicate name
// (tables, linked tables and queries share one namespace with the system
// tables, compared case-insensitively; so do the columns of a table), or an
// unsupported column type (Decimal, Complex) throws Jet4WriteError naming
// the table, row and column.
//
// Ids: a table's MSysObjects Id is the page of its definition (as libmdb
// expects); linked tables and queries get Ids from 0x80000100 upwards.
//
// MSysQueries rows: ObjectId is the query's MSysObjects Id; an empty
// expression, name1 or name2 is written as Null; Flag is always written;
// Order is written as 4 big-endian bytes, or Null when it is 0 (as Access
// leaves it for most rows). Attribute must be 0..255.
//
// Not written: indexes, relationships, properties (LvProp), forms, reports,
// modules, security (MSysACEs stays empty). Files are meant for reading; Access itself may want to
// repair them before changing them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "automation/mdb/query/query_engine.h"
#include "automation/value.h"

namespace kestrin::testsupport {

using automation::mdb::AccessType;
using automation::mdb::QueryDefRow;
using automation::mdb::SavedQuery;

struct Jet4Column {
  std::string name;
  AccessType type = AccessType::kText;
  // Text: characters (1..255); Binary: bytes (1..255). Ignored otherwise.
  int max_length = 255;
  // Text and Memo: use the compressed Unicode form where it is shorter.
  bool compressed = false;
};

struct Jet4Table {
  std::string name;
  std::vector<Jet4Column> columns;  // 1..255 columns
  std::vector<std::vector<automation::Value>> rows;
  // MSysObjects.Flags of the table. Unset means 0: a user table, whatever its
  // name (pass kSystemObjectFlags to make a real system table).
  std::optional<std::int32_t> flags;
  // Indexes into `rows` of rows stored as Access leaves deleted rows: the
  // data stays on the page, its offset entry carries both flag bits (0xC000)
  // and the table's row count leaves it out.
  std::vector<std::size_t> deleted_rows = {};
  // Indexes into `rows` of rows stored as Access stores a row that outgrew
  // its page: the row's own slot holds a 4-byte row pointer and the flag
  // 0x4000; the data sits on a later page of the table in a slot flagged
  // 0x8000, which a page scan must skip. (libmdb 1.0 gets this backwards: it
  // drops the pointer slot and returns the data at the later position.)
  std::vector<std::size_t> moved_rows = {};
};

// A table of another database, catalogued here as Access links it: Type 6
// (another Access file: `database` is its path) or, when `connect` is not
// empty, Type 4 (ODBC: `connect` is the connect string), unless `type` says
// otherwise. `foreign_name` is its name over there. No definition or rows
// are written for it. AccessLink, OdbcLink and FileLink below make the
// entries Access writes.
struct Jet4LinkedTable {
  std::string name;
  std::string foreign_name;
  std::string database;
  std::string connect;
  std::int32_t flags = 0;  // MSysObjects.Flags
  int type = 0;            // MSysObjects.Type; 0: as described above
};

// MSysObjects.Flags Access gives a table linked to another Access file, and
// one linked through ODBC.
inline constexpr std::int32_t kAccessLinkFlags = 0x00200000;
inline constexpr std::int32_t kOdbcLinkFlags = 0x20100000;

// A table linked to table `foreign_name` of the Access file `database`:
// Type 6 with Database and ForeignName, Connect empty.
Jet4LinkedTable AccessLink(std::string name, std::string foreign_name, std::string database);
// A table linked through ODBC: Type 4 with the connect string
// ("ODBC;DSN=…;DATABASE=…") and the server's name of the table.
Jet4LinkedTable OdbcLink(std::string name, std::string foreign_name, std::string connect);
// A table linked to a file that is no Access database, read by one of
// Access's other drivers: Type 6 with Connect naming the driver first
// ("Text;FMT=Delimited;HDR=YES;DATABASE=C:\Export", "Excel 12.0 Xml;HDR=YES;
// DATABASE=C:\a.xlsx"), Database the folder or file, ForeignName the file
// ("kunden#csv") or the sheet ("Tabelle1$").
Jet4LinkedTable FileLink(std::string name, std::string foreign_name, std::string database,
                         std::string connect);

// MSysObjects.Flags Access gives its own system tables.
inline constexpr std::int32_t kSystemObjectFlags = static_cast<std::int32_t>(0x80000000u);

// DAO query type codes as kept in MSysObjects.Flags of a saved query.
namespace query_flags {
inline constexpr std::int32_t kSelect = 0;
inline constexpr std::int32_t kHiddenSelect = 8;
inline constexpr std::int32_t kCrosstab = 16;
inline constexpr std::int32_t kDelete = 32;
inline constexpr std::int32_t kUpdate = 48;
inline constexpr std::int32_t kAppend = 64;
inline constexpr std::int32_t kMakeTable = 80;
inline constexpr std::int32_t kDataDefinition = 96;
inline constexpr std::int32_t kPassThrough = 112;
inline constexpr std::int32_t kUnion = 128;
}  // namespace query_flags

struct Jet4Database {
  std::vector<Jet4Table> tables;               // catalogued in this order, after the system tables
  std::vector<Jet4LinkedTable> linked_tables;  // catalogued after the tables
  std::vector<SavedQuery> queries;             // catalogued in this order, after those
  // Memo and OLE values of at most this many stored bytes stay in the row.
  int inline_long_value_limit = 64;
};

class Jet4WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The whole file as bytes. Throws Jet4WriteError when the description cannot
// be written (see above).
std::vector<std::uint8_t> BuildJet4Database(const Jet4Database& db);

// Builds the file and writes it to `path`, replacing any file there. Throws
// Jet4WriteError as BuildJet4Database does, or when the file cannot be written.
void WriteJet4Database(const Jet4Database& db, const std::filesystem::path& path);

}  // namespace kestrin::testsupport
