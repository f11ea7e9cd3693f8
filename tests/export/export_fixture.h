// A ready export: an in-memory database and spreadsheet, the recording
// message box and progress, a real source file on disk, and the 20 settings
// with the values a user starts from.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "export/export_to_sheet.h"
#include "tests/doubles/fake_access.h"
#include "tests/doubles/fake_excel.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/temp_folder.h"

namespace kestrin::testing {

struct ExportSettings {
  std::string TblName = "T";
  std::string FileMoto;
  std::string ShtName = "Sheet1";
  std::int16_t StartRow = 1, StartCol = 1, KaiGyo = 1;
  std::int32_t OutGyo = 0, ClsGyo = 0;
  std::int16_t Midasi = 1, Display = 0;
  std::int16_t Line = 0, Filter = 0, FitRow = 0, FitCol = 0;
  std::string PvtName = "0", PvtRow1 = "0", PvtCol1 = "0", PvtRow2 = "0", PvtCol2 = "0",
              PvtVal = "0";
};

class ExportTest : public ::testing::Test {
 protected:
  ExportTest() {
    source_path_ = folder_.path() / "source.mdb";
    std::ofstream(source_path_) << "source";
    s.FileMoto = source_path_.string();
    workbook = &excel->AddFile("/books/out.xls", {"Sheet1", "Sheet2", "Sheet3"});
    excel->OpenForTest("/books/out.xls");
  }

  // A table T of `records` rows: ID (1..n), Name ("n<i>"), Amount (currency).
  void AddNumberedTable(int records, std::string name = "T") {
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= records; ++i) {
      rows.push_back({i, "n" + std::to_string(i), automation::Currency{i * 10000}});
    }
    db.AddTable(std::move(name), {"ID", "Name", "Amount"}, std::move(rows));
  }

  void Run() {
    exporting::ExportTargets targets{&db, xl, box, progress};
    exporting::ExportToSheet(targets, s.TblName, s.FileMoto, s.ShtName, s.StartRow, s.StartCol,
                             s.KaiGyo, s.OutGyo, s.ClsGyo, s.Midasi, s.Display, s.Line, s.Filter,
                             s.FitRow, s.FitCol, s.PvtName, s.PvtRow1, s.PvtCol1, s.PvtRow2,
                             s.PvtCol2, s.PvtVal);
  }

  FakeSheet& sheet(const std::string& name = "Sheet1") { return workbook->Sheet(name); }
  bool Called(const std::string& call) const {
    const auto& c = excel->calls();
    return std::find(c.begin(), c.end(), call) != c.end();
  }
  bool CalledWithPrefix(const std::string& prefix) const {
    for (const auto& c : excel->calls()) {
      if (c.starts_with(prefix)) return true;
    }
    return false;
  }
  std::vector<std::string> CallsWithPrefix(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : excel->calls()) {
      if (c.starts_with(prefix)) out.push_back(c);
    }
    return out;
  }

  FakeDatabase db;
  std::shared_ptr<FakeExcel> excel = std::make_shared<FakeExcel>();
  std::shared_ptr<automation::XlApplication> xl = excel;
  FakeWorkbook* workbook = nullptr;
  RecordingMessageBox box;
  RecordingProgress progress;
  ExportSettings s;

 private:
  ::kestrin::testing::TempFolder folder_;
  std::filesystem::path source_path_;
};

}  // namespace kestrin::testing
