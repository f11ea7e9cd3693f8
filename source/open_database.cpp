#include "source/open_database.h"

#include "automation/failure.h"

namespace kestrin::source {

std::vector<ui::FileFilter> DatabaseDialogFilters() {
  return {{"Access(*.mdb;*.accdb)", "*.mdb;*.accdb"},
          {"Access(*.mdb)", "*.mdb"},
          {"Access(*.accdb)", "*.accdb"},
          ui::AllFilesFilter()};
}

void CloseOwnDatabase(SourceState& state, bool lblAcFile_not_empty) {
  if (!lblAcFile_not_empty || state.AcNewF == 0) return;
  // An instance the program started and can no longer close is released
  // all the same, so that the next choice starts afresh.
  if (state.AcApp) {
    try {
      state.AcApp->CloseCurrentDatabase();
    } catch (const automation::AutomationError&) {
    }
  }
  state.AcDb.reset();
  state.AcApp.reset();
}

void AttachOrStartAccess(SourceState& state, automation::AccessServer& server) {
  try {
    state.AcApp = server.GetObject();
    return;
  } catch (const automation::AutomationError&) {
  }
  try {
    state.AcApp = server.CreateObject();
    state.AcNewF = 1;
  } catch (const automation::AutomationError&) {
  }
}

void OpenSourceDatabase(SourceState& state) {
  if (!state.AcApp) {
    throw automation::AutomationError(automation::errnum::kObjectNotSet,
                                      "Object variable or With block variable not set");
  }
  state.AcApp->OpenCurrentDatabase(state.MdbPath, false);
  state.AcDb = state.AcApp->CurrentDatabase();
}

void HideStartupForm(SourceState& state) {
  if (!state.AcDb) return;
  try {
    state.AcDb->SetProperty("StartupForm", automation::Value(std::string("(表示しない)")));
  } catch (const automation::AutomationError&) {
  }
}

}  // namespace kestrin::source
