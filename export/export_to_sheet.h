// The export engine: writes every record of one table or saved select query
// of the open source database into a sheet of the active workbook, then
// formats the block, builds the pivot table, and shows or saves the workbook.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "automation/access.h"
#include "automation/excel.h"
#include "ui/message_box.h"
#include "ui/progress.h"

namespace kestrin::exporting {

// What the engine works on: the module state it reads (AcDb, XlApp) and the
// window it reports to. After a run that saved the workbook, XlApp is empty.
struct ExportTargets {
  automation::DaoDatabase* AcDb = nullptr;
  std::shared_ptr<automation::XlApplication>& XlApp;
  ui::MessageBox& messages;
  ui::ProgressDisplay& progress;
};

// One export run. Never throws: a missing source file or an empty source is
// reported with its own message; every other failure ends the run through
// the error report ("エラーNO:" number CR LF description), leaving what was
// already written in place, unsaved. StartRow, StartCol, KaiGyo, Midasi and
// Display are normalised in place (values below 1 become 1; Midasi and
// Display above 1 become 0; a negative Midasi becomes 0).
//
// Choices where the old behaviour was unsound: a negative OutGyo writes all
// records; with KaiGyo above 1 the block (clearing for ClsGyo 0, ruled lines,
// AutoFilter, fitted rows and the pivot source) reaches the last written
// record. The block may reach the last row and column of the sheet (its
// workbook's format sets them); a block that would pass the last column ends
// in the error report with number 9, one whose last record would pass the
// last row with number 6, both before anything is cleared or written.
void ExportToSheet(ExportTargets& targets, const std::string& TblName, const std::string& FileMoto,
                   const std::string& ShtName, std::int16_t& StartRow, std::int16_t& StartCol,
                   std::int16_t& KaiGyo, std::int32_t& OutGyo, std::int32_t& ClsGyo,
                   std::int16_t& Midasi, std::int16_t& Display, std::int16_t& Line,
                   std::int16_t& Filter, std::int16_t& FitRow, std::int16_t& FitCol,
                   const std::string& PvtName, const std::string& PvtRow1,
                   const std::string& PvtCol1, const std::string& PvtRow2,
                   const std::string& PvtCol2, const std::string& PvtVal);

}  // namespace kestrin::exporting
