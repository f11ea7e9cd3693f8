#include "workbook/open_workbook.h"

#include "automation/failure.h"

namespace kestrin::workbook {
namespace {

automation::AutomationError ObjectNotSet() {
  return automation::AutomationError(automation::errnum::kObjectNotSet,
                                     "Object variable or With block variable not set");
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
  state.XlApp->SetDisplayAlerts(false);
  state.XlApp->ActiveWorkbook()->Close(false);
  state.XlApp->Quit();
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
    throw automation::AutomationError(1004, "The file name is empty.");
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
