#include "export/export_to_sheet.h"

#include <filesystem>
#include <new>
#include <system_error>

#include "automation/failure.h"
#include "export/column_letters.h"
#include "export/pivot_table.h"
#include "export/sheet_formatting.h"
#include "ui/error_report.h"

namespace kestrin::exporting {

namespace {

using automation::AutomationError;

std::string CellRef(std::int64_t row, std::int64_t col) {
  return "r" + std::to_string(row) + "c" + std::to_string(col);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

template <class T>
T& Require(T* object, const char* what) {
  if (object == nullptr) {
    throw AutomationError(
        automation::errnum::kObjectNotSet,
        std::string("Object variable or With block variable not set (") + what + ")");
  }
  return *object;
}

// The block address: first column letter, first row, ":", last column
// letter, last row.
std::string BlockAddress(int first_col, std::int64_t first_row, int last_col,
                         std::int64_t last_row) {
  return ColTbl(first_col - 1) + std::to_string(first_row) + ":" + ColTbl(last_col - 1) +
         std::to_string(last_row);
}

// Refuses a block that would pass the last column or the last row of the
// sheet, before anything is cleared or written: the sheet's own grid is the
// limit (an .xls sheet ends at row 65,536 and column IV, an .xlsx sheet at
// row 1,048,576 and column XFD).
void CheckFitsTheSheet(automation::XlSheet& sheet, std::int64_t last_col, std::int32_t RecCnt,
                       std::int64_t last_record_row) {
  const std::int32_t last_sheet_col = sheet.ColumnsCount();
  if (last_col > last_sheet_col) {
    throw AutomationError(automation::errnum::kSubscriptOutOfRange,
                          "Subscript out of range: the block would need sheet column " +
                              std::to_string(last_col) + ", beyond column " +
                              ColTbl(last_sheet_col - 1) + " (" + std::to_string(last_sheet_col) +
                              ")");
  }
  const std::int32_t last_sheet_row = sheet.RowsCount();
  if (last_record_row > last_sheet_row) {
    throw AutomationError(automation::errnum::kOverflow,
                          "Overflow: record " + std::to_string(RecCnt) + " would go to row " +
                              std::to_string(last_record_row) + ", beyond row " +
                              std::to_string(last_sheet_row));
  }
}

}  // namespace

void ExportToSheet(ExportTargets& targets, const std::string& TblName, const std::string& FileMoto,
                   const std::string& ShtName, std::int16_t& StartRow, std::int16_t& StartCol,
                   std::int16_t& KaiGyo, std::int32_t& OutGyo, std::int32_t& ClsGyo,
                   std::int16_t& Midasi, std::int16_t& Display, std::int16_t& Line,
                   std::int16_t& Filter, std::int16_t& FitRow, std::int16_t& FitCol,
                   const std::string& PvtName, const std::string& PvtRow1,
                   const std::string& PvtCol1, const std::string& PvtRow2,
                   const std::string& PvtCol2, const std::string& PvtVal) {
  std::unique_ptr<automation::DaoRecordset> rs;
  try {
    if (StartRow < 1) StartRow = 1;
    if (StartCol < 1) StartCol = 1;
    if (KaiGyo < 1) KaiGyo = 1;
    if (Midasi > 1 || Midasi < 0) Midasi = 0;
    if (Display > 1) Display = 0;

    if (!FileExists(FileMoto)) {
      targets.messages.Show("ファイル " + FileMoto + " は見つかりません。", ui::kShortTitle);
      return;
    }

    rs = Require(targets.AcDb, "source database").OpenRecordset(TblName);
    if (rs->Eof()) {
      targets.messages.Show(TblName + " にはレコードが 1件もありません。処理を中止します。",
                            ui::kShortTitle);
      return;
    }
    rs->MoveLast();
    std::int32_t RecCnt = rs->RecordCount();
    if (OutGyo > 0 && OutGyo <= RecCnt) RecCnt = OutGyo;
    targets.progress.SetMaxCountCaption(std::to_string(RecCnt));

    automation::XlApplication& xl = Require(targets.XlApp.get(), "spreadsheet application");
    auto sheet = xl.ActiveWorkbook()->Sheets()->Item(ShtName);
    sheet->Activate();

    const int FldCnt = rs->Fields().Count();
    // Rows and columns are counted in 64 bits here so that no count or step
    // can wrap.
    const std::int64_t first_record_row = std::int64_t{StartRow} + Midasi;
    const std::int64_t last_record_row =
        first_record_row + (std::int64_t{RecCnt} - 1) * std::int64_t{KaiGyo};
    CheckFitsTheSheet(*sheet, std::int64_t{StartCol} + FldCnt - 1, RecCnt, last_record_row);
    const int last_col = StartCol + FldCnt - 1;
    const std::string OutRange = BlockAddress(StartCol, StartRow, last_col, last_record_row);

    if (ClsGyo == 0) {
      xl.Range(OutRange)->Clear();
    } else if (ClsGyo > 0) {
      xl.Range(BlockAddress(StartCol, StartRow, last_col, first_record_row + ClsGyo - 1))->Clear();
    }

    if (Midasi == 1) {
      const auto& fields = rs->Fields();
      for (int i = 0; i < FldCnt; ++i) {
        xl.Goto(CellRef(StartRow, StartCol + i));
        xl.ActiveCell()->SetValue(fields.Name(i));
      }
    }

    rs->MoveFirst();
    std::int64_t row = first_record_row;
    for (std::int32_t k = 0; k < RecCnt; ++k) {
      for (int i = 0; i < FldCnt; ++i) {
        xl.Goto(CellRef(row, StartCol + i));
        xl.ActiveCell()->SetValue(rs->FieldValue(i));
      }
      targets.progress.SetCountCaption(std::to_string(k + 1));
      targets.progress.SetGaugeX2(
          static_cast<float>(static_cast<double>(k + 1) / RecCnt * ui::kGaugeFullLength));
      rs->MoveNext();
      row += KaiGyo;
    }
    rs->Close();

    FormatSheet(xl, OutputBlock{OutRange, StartRow, last_record_row, StartCol, last_col}, Line,
                Filter, FitRow, FitCol);
    CreatePivotTable(xl, ShtName, OutRange, PvtName, PvtRow1, PvtCol1, PvtRow2, PvtCol2, PvtVal);

    if (Display == 1) {
      xl.SetDisplayAlerts(false);
      xl.ActiveWorkbook()->Save();
      xl.Quit();
      targets.XlApp.reset();
    } else {
      xl.Goto(PvtName == "0" ? CellRef(StartRow, StartCol) : "r1c1");
      xl.SetVisible(true);
    }
  } catch (const AutomationError& e) {
    ui::ShowErrorReport(targets.messages, e.number(), e.description());
  } catch (const std::bad_alloc&) {
    ui::ShowErrorReport(targets.messages, 7, "Out of memory");
  } catch (const std::exception& e) {
    // Anything else that escapes the automation layer is still reported, as
    // the runtime's "Internal error", rather than ending the program; its
    // text is kept only when it reads as a sentence, not as a type or
    // function name of the library that raised it.
    const std::string what = e.what();
    const bool sentence =
        what.find(' ') != std::string::npos && what.find("::") == std::string::npos;
    ui::ShowErrorReport(targets.messages, 51,
                        sentence ? "Internal error: " + what : std::string("Internal error"));
  }
}

}  // namespace kestrin::exporting
