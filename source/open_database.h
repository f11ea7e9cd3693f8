// Opening the source database: the steps of the database choice that the
// window and pattern loading share. Each works on the module state of the
// source side and reaches Access only through the automation interfaces.
#pragma once

#include <string>
#include <vector>

#include "automation/access.h"
#include "source/source_state.h"
#include "ui/file_dialogs.h"

namespace kestrin::source {

// The database dialog: its title and filter pairs, the one shown first
// covering .mdb and .accdb, then each alone, then all files.
inline constexpr const char* kDatabaseDialogTitle = "Accessファイルの選択";
std::vector<ui::FileFilter> DatabaseDialogFilters();

// Closes and releases the previous database, but only when the program's
// own Access holds it: a choice has been made (lblAcFile_not_empty) and
// AcNewF is not 0. Then AcDb and AcApp are empty afterwards, also when the
// close itself failed (the instance is the program's own and is let go).
// A database open in an Access the program attached to is left alone.
// Never throws.
void CloseOwnDatabase(SourceState& state, bool lblAcFile_not_empty);

// Attaches AcApp to a running Access; when none runs, starts one and sets
// AcNewF to 1. When neither works, AcApp keeps what it held (empty on a
// first choice) and the failure shows in OpenSourceDatabase. Never throws.
void AttachOrStartAccess(SourceState& state, automation::AccessServer& server);

// Opens MdbPath shared as Access's current database and takes its DAO
// database as AcDb. Throws AutomationError when AcApp is empty (91), the path
// is empty or the file cannot be opened; AcDb is then left as it was.
void OpenSourceDatabase(SourceState& state);

// Sets the database property "StartupForm" to "(表示しない)"; every failure
// (no such property, a database opened read-only) is ignored. Does nothing
// when AcDb is empty.
void HideStartupForm(SourceState& state);

}  // namespace kestrin::source
