#include "app/unattended_run.h"

#include <algorithm>

#include "app/frm_kestrin.h"
#include "app/module_state.h"
#include "pattern/pattern_file.h"

namespace kestrin::app {
namespace {

// Passes every message on and counts them.
class CountingMessageBox : public ui::MessageBox {
 public:
  explicit CountingMessageBox(ui::MessageBox& inner) : inner_(inner) {}
  void Show(const std::string& prompt, const std::string& title) override {
    ++shown;
    inner_.Show(prompt, title);
  }
  int shown = 0;

 private:
  ui::MessageBox& inner_;
};

std::string Described(const automation::AutomationError& e) {
  return e.description() + " (エラーNO:" + std::to_string(e.number()) + ")";
}

int RunPattern(const std::string& path, UnattendedServices& services) {
  ModuleState state;
  CountingMessageBox messages(services.messages);
  services.progress.Reset();
  FrmKestrin window(state, {services.access, services.office, messages, &services.progress, path});
  window.Form_Load();

  int status = kExitExported;
  bool loaded = false;
  try {
    window.PatReadOn(path);
    loaded = true;
  } catch (const pattern::PatternError& e) {
    messages.Show("解析パターン " + path + " を読み込めませんでした。" + Described(e), ui::kTitle);
    status = kExitBadInput;
  } catch (const automation::AutomationError& e) {
    messages.Show("解析パターン " + path + " を読み込めませんでした。" + Described(e), ui::kTitle);
    status = kExitNotExported;
  } catch (const std::exception& e) {
    messages.Show("解析パターン " + path + " を読み込めませんでした。" + std::string(e.what()),
                  ui::kTitle);
    status = kExitNotExported;
  }

  if (loaded) {
    window.cmdExec_Click();
    services.progress.EndLine();
    const bool reported = messages.shown > 0;
    if (reported || !services.progress.ReachedTotal()) {
      status = kExitNotExported;
      if (!reported) messages.Show("レコードは出力されませんでした。", ui::kTitle);
    }
    messages.Show("出力、終了しました。", ui::kTitle);
  }

  state.source.AcDb.reset();
  state.source.AcApp.reset();
  auto& xl = state.workbook.XlApp;
  if (state.settings.Display == 1 && xl) {
    // Each step on its own: a workbook already closed skips only its step.
    try {
      xl->SetDisplayAlerts(false);
    } catch (const std::exception&) {
    }
    try {
      xl->ActiveWorkbook()->Close(false);
    } catch (const std::exception&) {
    }
    try {
      xl->Quit();
    } catch (const std::exception&) {
    }
  }
  xl.reset();
  services.office.EndPattern();
  return status;
}

}  // namespace

int RunPatterns(const std::vector<std::string>& patterns, UnattendedServices& services) {
  int worst = kExitExported;
  for (const std::string& path : patterns) worst = std::max(worst, RunPattern(path, services));
  services.office.Finish();
  return worst;
}

}  // namespace kestrin::app
