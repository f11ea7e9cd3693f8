// The unattended run: pattern files exported one after the other by an
// export session that nobody watches (no window, no widget).
//
// For each pattern a fresh module state and session are made and started
// as for a command line, the pattern is loaded, the export runs as the run
// button runs it, Access is released and, with Display 1, the workbook left
// by an export that stopped early is closed unsaved. Every message names the
// pattern file it belongs to. A pattern whose records were all written ends
// with "出力、終了しました。" among the notices; any other ends with the faults
// that stopped it and one line saying that its export did not complete. All
// patterns share one office session (the office starts once); it is
// finished at the end.
#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/interrupt.h"
#include "app/office_session.h"
#include "automation/access.h"
#include "ui/message_box.h"

namespace kestrin::app {

struct UnattendedServices {
  automation::AccessServer& access;
  OfficeSession& office;
  // Faults: every message of a pattern that did not complete, and the
  // program's own faults.
  ui::MessageBox& messages;
  ConsoleProgress& progress;
  // The line of a completed export; null: nothing is said on success.
  ui::MessageBox* notices = nullptr;
  // Told the workbook each pattern uses, when signals end the run.
  InterruptWatch* interrupts = nullptr;
};

// The line of a pattern whose export did not complete.
inline constexpr const char* kNotCompleted = "出力は完了しませんでした。";

// Runs each pattern as if it ran alone and returns the highest of their
// exit statuses: kExitExported when the export wrote all its records and
// nothing had to be reported, kExitNotExported when a check refused it, a
// file was missing (told once; the export is not tried), the export ended
// in the error report or the program met an internal fault (reported as
// such), kExitBadInput when the pattern file could not be read, is no
// pattern file, or holds a value that names no option. A pattern that
// cannot be loaded is reported with one message naming the file and the
// line or the step, and is not exported. Finishes the office session.
int RunPatterns(const std::vector<std::string>& patterns, UnattendedServices& services);

}  // namespace kestrin::app
