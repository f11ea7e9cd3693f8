// Shared set-up for the writer's tests: a scratch folder per test and helpers
// to write a description there and read it back with libmdb and mdbtools.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/jet4_writer.h"
#include "tests/support/libmdb_probe.h"
#include "tests/support/temp_folder.h"

namespace kestrin::testsupport {

class WriterTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const Jet4Database& db, const std::string& name = "test.mdb") {
    auto path = dir_ / name;
    WriteJet4Database(db, path);
    return path;
  }

  static std::string Tool(const std::string& args, const std::filesystem::path& file,
                          const std::string& after = "") {
    return RunCommand(args + " " + ShellQuote(file.string()) + (after.empty() ? "" : " " + after));
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::string line;
    for (char c : text) {
      if (c == '\n') {
        out.push_back(line);
        line.clear();
      } else {
        line.push_back(c);
      }
    }
    if (!line.empty()) out.push_back(line);
    return out;
  }

  ::kestrin::testing::TempFolder folder_;
  std::filesystem::path dir_ = folder_.path();
};

}  // namespace kestrin::testsupport
