#include "app/unattended_run.h"

#include <algorithm>

#include "app/export_session.h"
#include "app/module_state.h"
#include "app/session_view.h"
#include "pattern/pattern_file.h"
#include "ui/counting_message_box.h"
#include "ui/error_report.h"

namespace kestrin::app {
namespace {

std::string NotLoaded(const std::string& path, const automation::AutomationError& e) {
  return "解析パターン " + path + " を読み込めませんでした。" + e.description() + " (" +
         ui::ErrorNumber(e.number()) + ")";
}

// Loads the pattern and exports it; the pattern's exit status.
int LoadAndExport(ExportSession& session, HeadlessView& view, const std::string& path,
                  ui::CountingMessageBox& messages, ConsoleProgress& progress) {
  try {
    session.LoadPattern(path, view);
  } catch (const pattern::PatternError& e) {
    messages.Show(NotLoaded(path, e), ui::kTitle);
    return kExitBadInput;
  } catch (const automation::AutomationError& e) {
    messages.Show(NotLoaded(path, e), ui::kTitle);
    return kExitNotExported;
  }
  session.Export(view);
  progress.EndLine();
  int status = kExitExported;
  const bool reported = messages.shown > 0;
  if (reported || !progress.ReachedTotal()) {
    status = kExitNotExported;
    if (!reported) messages.Show("レコードは出力されませんでした。", ui::kTitle);
  }
  messages.Show("出力、終了しました。", ui::kTitle);
  return status;
}

int RunPattern(const std::string& path, UnattendedServices& services) {
  ModuleState state;
  ui::CountingMessageBox messages(services.messages);
  services.progress.Reset();
  ExportSession session(state, {services.access, services.office, messages});
  HeadlessView view(state.settings, services.progress);
  session.StartUp(view, /*unattended=*/true);

  int status = kExitNotExported;
  try {
    status = LoadAndExport(session, view, path, messages, services.progress);
  } catch (const std::exception& fault) {
    services.progress.EndLine();
    ui::ShowInternalFault(messages, "the unattended run of " + path, fault);
  }
  session.EndUnattendedRun();
  services.office.EndPattern();
  return status;
}

}  // namespace

int RunPatterns(const std::vector<std::string>& patterns, UnattendedServices& services) {
  int worst = kExitExported;
  for (const std::string& path : patterns) worst = std::max(worst, RunPattern(path, services));
  try {
    services.office.Finish();
  } catch (const std::exception& fault) {
    ui::ShowInternalFault(services.messages, "the end of the office session", fault);
    worst = std::max(worst, kExitNotExported);
  }
  return worst;
}

}  // namespace kestrin::app
