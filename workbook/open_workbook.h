// Opening the destination workbook: the steps of the workbook choice that
// the window and pattern loading share, and the sheet list. They work on
// the module state of the destination side and reach the spreadsheet
// application only through the automation interfaces.
#pragma once

#include <string>
#include <vector>

#include "automation/excel.h"
#include "ui/file_dialogs.h"
#include "workbook/workbook_state.h"

namespace kestrin::workbook {

// The workbook dialog: its title and filter pairs, the one shown first
// covering .xls and .xlsx, then each alone, then all files.
inline constexpr const char* kWorkbookDialogTitle = "Excelファイルの選択";
std::vector<ui::FileFilter> WorkbookDialogFilters();

// Closes the previous workbook without saving and quits the application,
// but only when the program's own instance holds it: a choice has been
// made (lblXlFile_not_empty), XlNewF is not 0 and XlApp still refers to an
// instance. Each step is tried as CloseDownOffice tries it, so a workbook
// or an office the user has closed meanwhile is skipped, and XlApp is empty
// afterwards. When XlApp is already empty (an export saved the workbook and
// quit the application) there is nothing to close and nothing happens.
void CloseOwnWorkbook(WorkbookState& state, bool lblXlFile_not_empty);

// Attaches XlApp to a running instance; when none answers, starts one and
// sets XlNewF to 1. When an instance answers and XlApp already refers to one,
// XlApp is kept: the running instance is the one the program holds, and a
// new reference would neither know its active workbook nor keep alive an
// instance the program started. When neither works, XlApp keeps what it
// held and the failure shows in OpenWorkbook. Never throws.
void AttachOrStartExcel(WorkbookState& state, automation::XlServer& server);

// Opens the file in XlApp; it becomes the active workbook. Throws
// AutomationError when XlApp is empty (91), the path is empty or the file
// cannot be opened.
void OpenWorkbook(WorkbookState& state, const std::string& path);

// The names of every sheet of the active workbook, worksheets and chart
// sheets alike, in sheet order. Throws AutomationError when no workbook is
// open or a sheet cannot be read.
std::vector<std::string> SheetNames(automation::XlApplication& app);

}  // namespace kestrin::workbook
