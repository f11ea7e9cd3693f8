// The program's module state: everything that lives as long as the program
// and is shared by the window and the unattended run. The source and
// destination sides own their parts; ExecF and AppPath belong to start-up;
// the export settings are the 24 values the controls and pattern files hold.
#pragma once

#include <cstdint>
#include <string>

#include "export/export_settings.h"
#include "source/source_state.h"
#include "workbook/workbook_state.h"

namespace kestrin::app {

struct ModuleState {
  source::SourceState source;
  workbook::WorkbookState workbook;
  // 1 during an unattended run and after any export run has returned;
  // 0 from an interactive start until then.
  std::int16_t ExecF = 0;
  // Folder of the program file, always ending in "/".
  std::string AppPath;
  exporting::ExportSettings settings;
};

}  // namespace kestrin::app
