// The export session: everything the program does between start-up and its
// end, without any widget. It holds the module state (the two automation
// servers' objects, the flags and the 24 export settings) and performs, in
// the order and with the messages the program has always had, the choice of
// the source database and of the workbook, loading and saving pattern files,
// the export run with its checks, and the office rules of the program's end.
//
// The main window is a view over a session (it implements SessionView and
// calls the session from its handlers); the unattended run drives a session
// with a HeadlessView. Failures the database, the office or a file report
// (AutomationError) are handled as each operation says; any other exception
// is an internal fault and goes to the caller.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/module_state.h"
#include "app/session_view.h"
#include "automation/access.h"
#include "automation/excel.h"
#include "source/field_lists.h"
#include "ui/message_box.h"

namespace kestrin::app {

// What the session drives and whom it tells.
struct SessionServices {
  automation::AccessServer& access;
  automation::XlServer& excel;
  ui::MessageBox& messages;
};

class ExportSession {
 public:
  ExportSession(ModuleState& state, SessionServices services)
      : state_(state), services_(services) {}
  ExportSession(const ExportSession&) = delete;
  ExportSession& operator=(const ExportSession&) = delete;

  ModuleState& state() { return state_; }
  exporting::ExportSettings& settings() { return state_.settings; }

  // --- Start-up and the program's end ---
  // The option settings' defaults, each shown in the view and assigned
  // again after its click handler ran; both "started its own" flags 0;
  // ExecF 1 for an unattended run, else 0.
  void StartUp(SessionView& view, bool unattended);
  // The end through the window or its menu: "終了します。", AcDb and AcApp
  // released, and the office closed down by Display, ExecF and XlNewF,
  // except an office an export has shown the user: that one stays open with
  // what the user has done in it (its own prompts protect unsaved work). A
  // step the office refuses is skipped.
  void Shutdown();
  // The end of an unattended run's pattern: AcDb and AcApp released and,
  // with Display 1, the office closed down (what an export that stopped
  // early left open). XlApp is released.
  void EndUnattendedRun();

  // --- The source database ---
  // Before the database dialog: the program's own previous database is
  // closed (when `chosen_before`) and Access attached or started. Never
  // throws an AutomationError.
  void ReadyAccess(bool chosen_before);
  // Opens the chosen path (MdbPath) as the source database and switches
  // its start-up form off. Throws AutomationError when it cannot be opened
  // (a cancelled dialog's empty path included).
  void OpenSource(const std::string& path);
  // The listed tables and select queries of AcDb; ListCnt becomes their
  // number. Throw AutomationError (91 without a database).
  std::vector<std::string> TableNames();
  std::vector<std::string> QueryNames();
  // The entries of the five pivot lists for a table or query of AcDb.
  // Throw AutomationError.
  source::PivotFieldEntries TableFields(const std::string& table);
  source::PivotFieldEntries QueryFields(const std::string& query);

  // --- The workbook ---
  // Before the workbook dialog: the program's own previous workbook is
  // closed unsaved and its office quit (when `chosen_before`), a step whose
  // workbook or office the user has already closed being skipped; then the
  // office is attached or started. Never throws an AutomationError.
  void ReadyOffice(bool chosen_before);
  // Opens the workbook; it becomes the active one. Throws AutomationError.
  void OpenWorkbook(const std::string& path);
  // The sheets of the active workbook, in order. Throws AutomationError.
  std::vector<std::string> SheetNames();

  // --- Pattern files ---
  // Loads the pattern file into the settings, opens its database and
  // workbook, and shows its values in the view, step by step. An empty
  // path does nothing. A missing database or workbook file is reported and
  // loading goes on. Throws pattern::PatternError when the file cannot be
  // read or an option value names no button (340), AutomationError when the
  // database or the workbook cannot be opened; what was done before stays.
  // "解析パターンを読み込みました。" ends it unless ExecF is 1. Returns false
  // when a file the pattern names was reported missing. In an unattended
  // run whose database and workbook are both there, the office is made
  // ready on a thread of its own while the database opens; its failure is
  // told where the workbook's step tells it, as if it had come in turn.
  bool LoadPattern(const std::string& PatFile, SessionView& view);
  // Saves the settings under the name the save dialog gave: captures the
  // view, refuses an empty name, writes the file and confirms. A text the
  // file cannot hold is refused with a message; a box that is not a number
  // or a file that cannot be written ends it quietly.
  void SavePattern(const std::string& chosen, SessionView& view);
  // Copies what the view's controls hold into the captured settings, in
  // the program's order. Throws AutomationError (13 or 6) at the first box
  // whose text is not a 16-bit number; the settings before it keep their
  // new values.
  void CollectSettings(const SessionView& view);

  // --- The export run ---
  // The run behind "実　　　　行": the file checks, the capture, the pivot
  // checks, the busy state, one call of the engine, and the window back.
  // A box that is not a number ends it without a word. An engine that ends
  // without a word of its own with Display 0 has shown the office.
  void Export(SessionView& view);

 private:
  void Tell(const std::string& prompt);
  // The names a catalogue listing gives; ListCnt becomes their number.
  std::vector<std::string> Listed(std::vector<std::string> (*list)(const automation::DaoDatabase&));

  // True while XlApp is the office an export has shown the user.
  bool OfficeShown() const;

  ModuleState& state_;
  SessionServices services_;
  std::weak_ptr<automation::XlApplication> shown_office_;
  // An unattended run: its pattern's office starts while its database opens.
  bool unattended_ = false;
};

}  // namespace kestrin::app
