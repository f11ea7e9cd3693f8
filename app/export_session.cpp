#include "app/export_session.h"

#include <algorithm>
#include <future>
#include <limits>

#include "app/export_run.h"
#include "automation/failure.h"
#include "automation/messages.h"
#include "export/integer_text.h"
#include "pattern/pattern_file.h"
#include "pattern/pattern_paths.h"
#include "source/catalogue.h"
#include "source/open_database.h"
#include "ui/counting_message_box.h"
#include "workbook/office_close_down.h"
#include "workbook/open_workbook.h"

namespace kestrin::app {
namespace {

using S = exporting::ExportSettings;

// The option settings' defaults at start-up, in the order they are set.
struct OptionDefault {
  NumberSetting setting;
  std::int16_t value;
};
constexpr OptionDefault kOptionDefaults[] = {
    {&S::TblKbn, 0}, {&S::Midasi, 1}, {&S::Display, 0}, {&S::GridF, 1},  {&S::PivotF, 1},
    {&S::Line, 1},   {&S::Filter, 1}, {&S::FitRow, 1},  {&S::FitCol, 1},
};

// The captured settings, in the order the capture takes them from their
// controls: paths, names, the five numbers, the pivot texts.
const Setting kCaptured[] = {
    &S::FileMoto, &S::FileSaki, &S::TblName, &S::ShtName, &S::StartRow,
    &S::StartCol, &S::KaiGyo,   &S::OutGyo,  &S::ClsGyo,  &S::PvtName,
    &S::PvtRow1,  &S::PvtRow2,  &S::PvtCol1, &S::PvtCol2, &S::PvtVal,
};

constexpr const char* kRepeatedPivotFields = "ピボットテーブルの項目名が重複してます。";

std::int16_t Count16(std::size_t n) {
  return static_cast<std::int16_t>(
      std::min<std::size_t>(n, std::numeric_limits<std::int16_t>::max()));
}

// AcDb, or the failure DAO gives for an object that is not set.
automation::DaoDatabase& Database(const source::SourceState& src) {
  if (!src.AcDb) {
    throw automation::StandardError(automation::errnum::kObjectNotSet);
  }
  return *src.AcDb;
}

// Runs an open step of pattern loading, naming what it opened in its
// failure.
template <class Step>
void Opening(automation::Message what, const std::string& path, Step step) {
  try {
    step();
  } catch (const automation::AutomationError& e) {
    throw automation::AutomationError(e.number(), what({path, e.description()}));
  }
}

// Shows an option setting loaded from a pattern file; a value that names
// no button ends the load, as selecting a button that does not exist would.
void ShowOption(SessionView& view, const S& s, NumberSetting option, const char* key,
                const std::string& PatFile) {
  const std::int16_t value = s.*option;
  if (value != 0 && value != 1) {
    throw pattern::PatternError(automation::errnum::kNoSuchControl,
                                automation::msg::kNoOptionButton(
                                    {PatFile, key, std::to_string(value), std::to_string(value)}));
  }
  view.Show(option);
}

}  // namespace

void ExportSession::Tell(const std::string& prompt) { services_.messages.Show(prompt, ui::kTitle); }

// --- Start-up and the program's end ---

void ExportSession::StartUp(SessionView& view, bool unattended) {
  for (const OptionDefault& d : kOptionDefaults) {
    // The click handler the view runs sets the same value; a check box
    // already checked runs none, so the value is set either way.
    settings().*d.setting = d.value;
    view.Show(d.setting);
    settings().*d.setting = d.value;
  }
  state_.workbook.XlNewF = 0;
  state_.source.AcNewF = 0;
  state_.ExecF = unattended ? 1 : 0;
  unattended_ = unattended;
}

void ExportSession::Shutdown() {
  Tell("終了します。");
  state_.source.AcDb.reset();
  state_.source.AcApp.reset();

  const std::int16_t display = settings().Display;
  const bool own_office = state_.workbook.XlNewF == 1;
  bool close_down = false;
  if (display == 1) {
    close_down = true;
  } else if (display == 0) {
    close_down = state_.ExecF == 0 || own_office;
  } else {
    // Only a pattern file gives other values. An office the program
    // started that no export has shown would otherwise run on unseen.
    close_down = own_office && state_.ExecF == 0;
  }
  if (close_down && state_.workbook.XlApp && !OfficeShown()) {
    workbook::CloseDownOffice(*state_.workbook.XlApp);
  }
}

bool ExportSession::OfficeShown() const {
  const auto& office = state_.workbook.XlApp;
  return office && !shown_office_.expired() && !shown_office_.owner_before(office) &&
         !office.owner_before(shown_office_);
}

void ExportSession::EndUnattendedRun() {
  state_.source.AcDb.reset();
  state_.source.AcApp.reset();
  auto& xl = state_.workbook.XlApp;
  if (settings().Display == 1 && xl) workbook::CloseDownOffice(*xl);
  xl.reset();
}

// --- The source database ---

void ExportSession::ReadyAccess(bool chosen_before) {
  source::CloseOwnDatabase(state_.source, chosen_before);
  source::AttachOrStartAccess(state_.source, services_.access);
}

void ExportSession::OpenSource(const std::string& path) {
  state_.source.MdbPath = path;
  source::OpenSourceDatabase(state_.source);
  // The reader opens databases read-only, so this write never reaches the
  // user's file; it is tried and its failure ignored.
  source::HideStartupForm(state_.source);
}

std::vector<std::string> ExportSession::Listed(
    std::vector<std::string> (*list)(const automation::DaoDatabase&)) {
  auto& src = state_.source;
  src.ListCnt = 0;
  std::vector<std::string> names = list(Database(src));
  src.ListCnt = Count16(names.size());
  return names;
}

std::vector<std::string> ExportSession::TableNames() { return Listed(source::ListedTableNames); }

std::vector<std::string> ExportSession::QueryNames() { return Listed(source::ListedQueryNames); }

source::PivotFieldEntries ExportSession::TableFields(const std::string& table) {
  return source::TableFieldEntries(Database(state_.source), table);
}

source::PivotFieldEntries ExportSession::QueryFields(const std::string& query) {
  return source::QueryFieldEntries(Database(state_.source), query);
}

// --- The workbook ---

void ExportSession::ReadyOffice(bool chosen_before) {
  workbook::CloseOwnWorkbook(state_.workbook, chosen_before);
  workbook::AttachOrStartExcel(state_.workbook, services_.excel);
}

void ExportSession::OpenWorkbook(const std::string& path) {
  workbook::OpenWorkbook(state_.workbook, path);
}

std::vector<std::string> ExportSession::SheetNames() {
  if (!state_.workbook.XlApp) {
    throw automation::StandardError(automation::errnum::kObjectNotSet);
  }
  return workbook::SheetNames(*state_.workbook.XlApp);
}

// --- Pattern files ---

bool ExportSession::LoadPattern(const std::string& PatFile, SessionView& view) {
  if (PatFile.empty()) return true;
  S& s = settings();
  pattern::PatFileRead(PatFile, s);
  view.UnlockChoices();

  // A file the pattern names: shown in its label, then reported missing
  // (loading goes on) or opened. Paths saved on Windows are looked for here
  // through the user's mapping, and the settings take the path found.
  bool all_found = true;
  auto open_named = [&](TextSetting path, const pattern::PatternFile& file,
                        automation::Message what, const auto& open) {
    view.Show(path);
    if (!file.found) {
      all_found = false;
      services_.messages.Show(file.message, ui::kShortTitle);
    } else {
      Opening(what, s.*path, open);
    }
  };
  const pattern::PatternFile database = pattern::LocatePatternFile(s.FileMoto);
  const pattern::PatternFile book = pattern::LocatePatternFile(s.FileSaki);
  // The office takes longer to start than the database to open: an
  // unattended run that will need both starts the office first. Only the
  // office side is touched on that thread; get() below waits for it and
  // passes on its failure. Leaving early waits for it too (the future's
  // destructor), and the office is then ended as any other.
  std::future<void> office;
  if (unattended_ && database.found && book.found) {
    office = std::async(std::launch::async, [this] { ReadyOffice(/*chosen_before=*/true); });
  }

  s.FileMoto = database.path;
  state_.source.MdbPath = s.FileMoto;
  open_named(&S::FileMoto, database, automation::msg::kCannotOpenDatabase, [&] {
    ReadyAccess(/*chosen_before=*/true);
    source::OpenSourceDatabase(state_.source);
  });

  ShowOption(view, s, &S::TblKbn, "TblKbn", PatFile);
  view.Show(&S::TblName);

  s.FileSaki = book.path;
  open_named(&S::FileSaki, book, automation::msg::kCannotOpenWorkbook, [&] {
    if (office.valid()) {
      office.get();
    } else {
      ReadyOffice(/*chosen_before=*/true);
    }
    OpenWorkbook(s.FileSaki);
  });

  view.EnableSheetList();
  view.Show(&S::ShtName);
  for (NumberSetting number : {&S::StartRow, &S::StartCol, &S::KaiGyo, &S::OutGyo, &S::ClsGyo}) {
    view.Show(number);
  }

  ShowOption(view, s, &S::Midasi, "Midasi", PatFile);
  ShowOption(view, s, &S::Display, "Display", PatFile);
  ShowOption(view, s, &S::GridF, "GridF", PatFile);
  if (s.GridF == 1) {
    ShowOption(view, s, &S::Line, "Line", PatFile);
    ShowOption(view, s, &S::Filter, "Filter", PatFile);
    view.Show(&S::FitRow);
    view.Show(&S::FitCol);
  } else {
    view.DisableFrameOf(&S::GridF);
  }

  ShowOption(view, s, &S::PivotF, "PivotF", PatFile);
  if (s.PivotF == 1) {
    for (TextSetting text :
         {&S::PvtName, &S::PvtCol1, &S::PvtCol2, &S::PvtRow1, &S::PvtRow2, &S::PvtVal}) {
      view.Show(text);
    }
  } else {
    view.DisableFrameOf(&S::PivotF);
  }

  if (state_.ExecF != 1) Tell("解析パターンを読み込みました。");
  return all_found;
}

void ExportSession::SavePattern(const std::string& chosen, SessionView& view) {
  try {
    const std::string file = pattern::PatternSaveName(chosen);
    CollectSettings(view);
    if (file.empty()) {
      Tell("ファイル名を入力して下さい。");
      return;
    }
    pattern::WritePatternFile(file, settings());
    Tell("解析パターン登録が完了しました。");
  } catch (const pattern::PatternError& e) {
    // Text the file cannot hold is refused with a word; a file that cannot
    // be written ends the save quietly, the old file as it was.
    if (e.number() == 5) Tell("解析パターンを保存できませんでした。\r\n" + e.description());
  } catch (const automation::AutomationError&) {
    // A box that is not a 16-bit number: nothing is written.
  }
}

void ExportSession::CollectSettings(const SessionView& view) {
  S& s = settings();
  for (const Setting& setting : kCaptured) {
    if (const auto* text = std::get_if<TextSetting>(&setting)) {
      s.** text = view.Shown(setting);
    } else {
      s.*std::get<NumberSetting>(setting) = exporting::TextToInt16(view.Shown(setting));
    }
  }
}

// --- The export run ---

void ExportSession::Export(SessionView& view) {
  if (view.Shown(&S::FileMoto).empty()) {
    Tell("mdbファイルを選択して下さい。");
    return;
  }
  if (view.Shown(&S::FileSaki).empty()) {
    Tell("xlsファイルを選択して下さい。");
    return;
  }
  try {
    view.GuageVis(0);
    CollectSettings(view);
    S& s = settings();
    const bool formatting = view.Chosen(&S::GridF);
    const bool pivot = view.Chosen(&S::PivotF);
    if (pivot) {
      if (s.Midasi != 1) {
        Tell("「見出し」を有りに設定して下さい。");
        return;
      }
      if (PivotFieldsRepeat(s)) {
        Tell(kRepeatedPivotFields);
        return;
      }
      view.ShowStatus("EXCELへ出力中");
    }
    view.BeginBusy();
    if (pivot && SecondPivotFieldsRepeat(s)) {
      Tell(kRepeatedPivotFields);
      view.EndBusy();
      return;
    }
    ui::CountingMessageBox engine_messages(services_.messages);
    exporting::ExportTargets targets{state_.source.AcDb.get(), state_.workbook.XlApp,
                                     engine_messages, view.Progress()};
    CallExportToSheet(targets, s, formatting, pivot);
    if (s.Display == 0 && engine_messages.shown == 0) shown_office_ = state_.workbook.XlApp;
    view.GuageVis(100);
    view.ShowStatus("");
    state_.ExecF = 1;
    view.EndBusy();
  } catch (const automation::AutomationError&) {
    // The run's own failures (a box that is not a 16-bit number) end it
    // without a word; the window is usable again.
    view.EndBusy();
  }
}

}  // namespace kestrin::app
