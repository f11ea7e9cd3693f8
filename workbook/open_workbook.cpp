#include "workbook/open_workbook.h"

#include "automation/failure.h"
#include "automation/messages.h"
#include "workbook/office_close_down.h"

namespace kestrin::workbook {
namespace {

automation::AutomationError ObjectNotSet() {
  return automation::StandardError(automation::errnum::kObjectNotSet);
}

}  // namespace

std::vector<ui::FileFilter> WorkbookDialogFilters() {
  return {{"Excel(*.xls;*.xlsx)", "*.xls;*.xlsx"},
          {"Excel(*.xls)", "*.xls"},
          {"Excel(*.xlsx)", "*.xlsx"},
          ui::AllFilesFilter()};
}

void CloseOwnWorkbook(WorkbookState& state, bool lblXlFile_not_empty) {
  if (!lblXlFile_not_empty || state.XlNewF == 0 || !state.XlApp) return;
  // The user may have closed the workbook or the whole office since: a
  // step whose object is gone is skipped, and a new choice can follow.
  CloseDownOffice(*state.XlApp);
  state.XlApp.reset();
}

void AttachOrStartExcel(WorkbookState& state, automation::XlServer& server) {
  std::shared_ptr<automation::XlApplication> running;
  try {
    running = server.GetObject();
  } catch (const automation::AutomationError&) {
  }
  if (running) {
    // The instance that answers is the one the program already holds, if it
    // holds one: its reference is kept, for the application reaches its
    // active workbook, and an instance the program started ends with the
    // reference that started it.
    if (!state.XlApp) state.XlApp = std::move(running);
    return;
  }
  try {
    state.XlApp = server.CreateObject();
    state.XlNewF = 1;
  } catch (const automation::AutomationError&) {
  }
}

void OpenWorkbook(WorkbookState& state, const std::string& path) {
  if (!state.XlApp) throw ObjectNotSet();
  if (path.empty()) {
    throw automation::AutomationError(automation::errnum::kAppDefined,
                                      automation::msg::kEmptyFileName());
  }
  state.XlApp->WorkbooksOpen(path);
}

std::vector<std::string> SheetNames(automation::XlApplication& app) {
  auto sheets = app.ActiveWorkbook()->Sheets();
  const int count = sheets->Count();
  std::vector<std::string> names;
  names.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
  for (int i = 1; i <= count; ++i) names.push_back(sheets->Item(i)->Name());
  return names;
}

}  // namespace kestrin::workbook
