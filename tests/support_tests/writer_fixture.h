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
#include "tests/support_tests/libmdb_probe.h"

namespace kestrin::testsupport {

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string leaf = "kestrin_jet4_" + std::string(info->test_suite_name()) + "_" + info->name() +
                       "_" + std::to_string(::getpid());
    std::replace(leaf.begin(), leaf.end(), '/', '_');  // parameterised tests
    dir_ = std::filesystem::temp_directory_path() / leaf;
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

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

  std::filesystem::path dir_;
};

}  // namespace kestrin::testsupport
