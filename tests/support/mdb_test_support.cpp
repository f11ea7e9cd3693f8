#include "tests/support/mdb_test_support.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "automation/mdb/mdb_access.h"

extern char** environ;

namespace kestrin::mdbtest {

std::string SamplePath(const std::string& name) {
  return std::string(KESTRIN_TEST_DATA_DIR) + "/databases/" + name;
}

std::vector<std::string> SampleNames() {
  std::vector<std::string> names;
  for (const auto& e :
       std::filesystem::directory_iterator(std::string(KESTRIN_TEST_DATA_DIR) + "/databases")) {
    const std::string ext = e.path().extension().string();
    if (ext == ".mdb" || ext == ".accdb") names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string RunProgram(const std::vector<std::string>& argv) {
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    throw std::runtime_error("cannot run " + argv[0]);
  }
  std::string text;
  char buf[65536];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
    text.append(buf, static_cast<std::size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return text;
}

std::vector<CsvRow> ParseCsv(const std::string& text) {
  std::vector<CsvRow> rows;
  CsvRow row;
  CsvField field;
  bool in_quotes = false, at_start = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_quotes) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field.text.push_back('"');
          ++i;
        } else {
          in_quotes = false;
        }
      } else {
        field.text.push_back(c);
      }
    } else if (c == '"' && at_start) {
      in_quotes = field.quoted = true;
      at_start = false;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field = CsvField();
      at_start = true;
    } else if (c == '\n') {
      row.push_back(std::move(field));
      rows.push_back(std::move(row));
      field = CsvField();
      row.clear();
      at_start = true;
    } else {
      field.text.push_back(c);
      at_start = false;
    }
  }
  if (!row.empty() || !field.text.empty() || field.quoted) {
    row.push_back(std::move(field));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> MdbExportArgs(const std::string& file, const std::string& table) {
  return {"mdb-export",        "-0", "N",  "-b", "hex", "-D", "%Y-%m-%d %H:%M:%S", "-T",
          "%Y-%m-%d %H:%M:%S", file, table};
}

bool SerialToText(double serial, std::string* out) {
  // libmdb renders serials from 0 to 1,000,000 only (years 1899 to 4637).
  if (!(serial >= 0 && serial < 1000000)) return false;
  long day = static_cast<long>(serial);
  long secs = static_cast<long>(std::fabs(serial - static_cast<double>(day)) * 86400.0 + 0.5);
  day += secs / 86400;
  secs %= 86400;
  // Civil date from days since 1899-12-30 (1899-12-30 is 693593 days after 0001-01-01).
  long z = day - 25569 + 719468;  // days since 0000-03-01 of the 1970-based algorithm
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  const long d = doy - (153 * mp + 2) / 5 + 1;
  const long m = mp < 10 ? mp + 3 : mp - 9;
  const long y = yoe + era * 400 + (m <= 2);
  char buf[128];
  std::snprintf(buf, sizeof buf, "%04ld-%02ld-%02ld %02ld:%02ld:%02ld", y, m, d, secs / 3600,
                (secs / 60) % 60, secs % 60);
  *out = buf;
  return true;
}

std::shared_ptr<automation::DaoDatabase> OpenSample(const std::string& name) {
  auto server = automation::mdb::MakeMdbAccessServer();
  auto app = server->CreateObject();
  app->OpenCurrentDatabase(SamplePath(name), false);
  return app->CurrentDatabase();
}

std::vector<std::vector<automation::Value>> ReadAll(automation::DaoRecordset& rs) {
  std::vector<std::vector<automation::Value>> rows;
  const int n = rs.Fields().Count();
  while (!rs.Eof()) {
    std::vector<automation::Value> row;
    for (int i = 0; i < n; ++i) row.push_back(rs.FieldValue(i));
    rows.push_back(std::move(row));
    rs.MoveNext();
  }
  return rows;
}

}  // namespace kestrin::mdbtest
