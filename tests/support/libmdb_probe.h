// Reads a database back with libmdb for the writer's tests: the catalogue as
// libmdb sees it, column definitions, and rows as typed values decoded from
// the raw fields mdb_crack_row finds (long values followed through libmdb's
// own row lookup), plus a runner for the mdbtools command-line programs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "automation/value.h"

namespace kestrin::testsupport {

struct ProbedObject {
  std::string name;
  int type = 0;             // MSysObjects.Type & 0x7F
  std::uint32_t flags = 0;  // MSysObjects.Flags
  std::uint32_t table_page = 0;
};

struct ProbedColumn {
  std::string name;
  int type = 0;
  int size = 0;
};

struct ProbedTable {
  std::vector<ProbedColumn> columns;
  unsigned num_rows = 0;    // as the table definition says
  int usage_map_type = -1;  // first byte of the usage map
  std::vector<std::vector<automation::Value>> rows;
  std::vector<std::vector<automation::Binary>> raw;  // stored bytes of each field
  std::vector<std::size_t> row_sizes;                // bytes of each row on its page
  std::size_t deleted_slots = 0;                     // slots flagged 0xC000
  std::size_t moved_rows = 0;                        // rows reached through 0x4000 pointers
};

// Rows come in page-scan order as Access defines it: slots flagged 0xC000
// (deleted) and 0x8000 (moved here) are skipped, a slot flagged 0x4000 is
// read where its pointer leads.
// Throws std::runtime_error when libmdb cannot open the file or the table.
std::vector<ProbedObject> ProbeCatalog(const std::filesystem::path& file);
ProbedTable ProbeTable(const std::filesystem::path& file, const std::string& table);

// Runs a command line, returns its standard output; throws std::runtime_error
// when it exits with a failure status.
std::string RunCommand(const std::string& command);

// Single-quoted for the shell.
std::string ShellQuote(const std::string& s);

}  // namespace kestrin::testsupport
