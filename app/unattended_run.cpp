#include "app/unattended_run.h"

#include <algorithm>

#include "app/export_session.h"
#include "app/module_state.h"
#include "app/session_view.h"
#include "automation/messages.h"
#include "pattern/pattern_file.h"
#include "ui/counting_message_box.h"
#include "ui/error_report.h"

namespace kestrin::app {
namespace {

// Passes every message on, its prompt led by the pattern file's path.
class PatternMessages : public ui::MessageBox {
 public:
  PatternMessages(ui::MessageBox& inner, const std::string& path) : inner_(inner), path_(path) {}
  void Show(const std::string& prompt, const std::string& title) override {
    inner_.Show(path_ + ": " + prompt, title);
  }

 private:
  ui::MessageBox& inner_;
  const std::string& path_;
};

// The view of a run nobody watches that tells the interrupt watch which
// workbook the pattern is about to open.
class WatchedView : public HeadlessView {
 public:
  WatchedView(const exporting::ExportSettings& settings, ui::ProgressDisplay& progress,
              InterruptWatch* interrupts)
      : HeadlessView(settings, progress), settings_(settings), interrupts_(interrupts) {}
  void Show(Setting setting) override {
    if (interrupts_ != nullptr && setting == Setting(&exporting::ExportSettings::FileSaki)) {
      interrupts_->SetWorkbook(settings_.FileSaki);
    }
  }

 private:
  const exporting::ExportSettings& settings_;
  InterruptWatch* interrupts_;
};

std::string NotLoaded(const automation::AutomationError& e) {
  return "解析パターンを読み込めませんでした。" + e.description() + " (" +
         ui::ErrorNumber(e.number()) + ")";
}

// Loads the pattern and exports it; the pattern's exit status.
int LoadAndExport(ExportSession& session, HeadlessView& view, const std::string& path,
                  ui::CountingMessageBox& messages, ConsoleProgress& progress) {
  bool all_found = false;
  try {
    all_found = session.LoadPattern(path, view);
  } catch (const pattern::PatternError& e) {
    messages.Show(NotLoaded(e), ui::kTitle);
    return kExitBadInput;
  } catch (const automation::AutomationError& e) {
    messages.Show(NotLoaded(e), ui::kTitle);
    return kExitNotExported;
  }
  // A missing file has been told; the export would only tell it again.
  if (all_found) session.Export(view);
  progress.EndLine();
  return messages.shown == 0 && progress.ReachedTotal() ? kExitExported : kExitNotExported;
}

int RunPattern(const std::string& path, UnattendedServices& services) {
  ModuleState state;
  PatternMessages faults(services.messages, path);
  ui::CountingMessageBox messages(faults);
  services.progress.Reset();
  ExportSession session(state, {services.access, services.office, messages});
  WatchedView view(state.settings, services.progress, services.interrupts);
  session.StartUp(view, /*unattended=*/true);

  int status = kExitNotExported;
  try {
    status = LoadAndExport(session, view, path, messages, services.progress);
  } catch (const std::exception& fault) {
    services.progress.EndLine();
    ui::ShowInternalFault(messages, automation::msg::kUnattendedRunOf({path}), fault);
  }
  if (status == kExitExported) {
    if (services.notices != nullptr) {
      PatternMessages(*services.notices, path).Show("出力、終了しました。", ui::kTitle);
    }
  } else if (status == kExitNotExported) {
    messages.Show(kNotCompleted, ui::kTitle);
  }
  session.EndUnattendedRun();
  services.office.EndPattern();
  if (services.interrupts != nullptr) services.interrupts->SetWorkbook("");
  return status;
}

}  // namespace

int RunPatterns(const std::vector<std::string>& patterns, UnattendedServices& services) {
  int worst = kExitExported;
  for (const std::string& path : patterns) worst = std::max(worst, RunPattern(path, services));
  try {
    services.office.Finish();
  } catch (const std::exception& fault) {
    ui::ShowInternalFault(services.messages, automation::msg::kOfficeSessionEnd(), fault);
    worst = std::max(worst, kExitNotExported);
  }
  return worst;
}

}  // namespace kestrin::app
