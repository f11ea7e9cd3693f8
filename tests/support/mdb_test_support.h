// Shared helpers of the Access reader tests: sample paths, running Debian's
// mdbtools, parsing their CSV, and rendering our values as mdb-export does.
#pragma once

#include <string>
#include <vector>

#include "automation/access.h"
#include "automation/value.h"
#include "tests/support/print_value.h"

namespace kestrin::mdbtest {

// tests/data/databases/<name>.
std::string SamplePath(const std::string& name);
// Every .mdb and .accdb file in tests/data/databases, sorted.
std::vector<std::string> SampleNames();

// Runs a program with arguments (no shell) and returns its standard output.
std::string RunProgram(const std::vector<std::string>& argv);

struct CsvField {
  std::string text;
  bool quoted = false;
};
using CsvRow = std::vector<CsvField>;
// RFC 4180 records: fields separated by commas, quotes doubled inside quotes,
// line breaks allowed inside quotes.
std::vector<CsvRow> ParseCsv(const std::string& text);

// The arguments that make mdb-export print what MdbExportText renders.
std::vector<std::string> MdbExportArgs(const std::string& file, const std::string& table);

// A date/time serial as "YYYY-MM-DD hh:mm:ss", the way libmdb renders it
// (whole seconds rounded). False outside the range libmdb renders correctly.
bool SerialToText(double serial, std::string* out);

// Opens a sample through a fresh server; the application stays alive as
// long as the returned database.
std::shared_ptr<automation::DaoDatabase> OpenSample(const std::string& name);

// Reads all records of a recordset: one Value per field.
std::vector<std::vector<automation::Value>> ReadAll(automation::DaoRecordset& rs);

}  // namespace kestrin::mdbtest
