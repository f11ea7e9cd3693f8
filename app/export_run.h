// The call of the export engine as the export run makes it: the pivot
// checks on the choices, and the 20 arguments in one of the four shapes
// (table formatting on or off, times pivot table on or off). Shared by the
// window, the sample program and the benchmarks; no user interface here.
#pragma once

#include "export/export_settings.h"
#include "export/export_to_sheet.h"

namespace kestrin::app {

// The first-level test of the pivot choices: row field 1, column field 1
// and the data field must differ pairwise. True when two are equal.
bool PivotFieldsRepeat(const exporting::ExportSettings& s);

// The second-level test, by which of the two optional fields is used ("なし"
// means not used): both used, they must differ; only row field 2, it must
// differ from column field 1; only column field 2, it must differ from row
// field 1. True when the pair compared is equal.
bool SecondPivotFieldsRepeat(const exporting::ExportSettings& s);

// Calls ExportToSheet once. StartRow, StartCol, KaiGyo, OutGyo and ClsGyo
// go as copies; Midasi and Display as the settings themselves, so that the
// engine's normalisation of them stays in the settings. Without formatting,
// Line, Filter, FitRow and FitCol go as 0; without pivot, the six pivot
// texts go as "0", and with pivot a second field showing "なし" goes as "0".
void CallExportToSheet(exporting::ExportTargets& targets, exporting::ExportSettings& s,
                       bool formatting, bool pivot);

}  // namespace kestrin::app
