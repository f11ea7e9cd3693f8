// The window's pattern files: the dialogs of saving and loading; the session
// saves the settings and loads a file into them and into the controls.
#include <string>
#include <vector>

#include "app/frm_kestrin.h"
#include "automation/failure.h"
#include "ui/file_dialogs.h"

namespace kestrin::app {
namespace {

std::vector<ui::FileFilter> PatternFilters() { return {{"解析ﾊﾟﾀｰﾝ(*.kst)", "*.kst"}}; }

}  // namespace

void FrmKestrin::m1b_Click() {
  Handle("m1b_Click", [this] {
    const std::string chosen = ui::FileSaveDlg(FileDialogs(), PatternFilters(),
                                               ui::CurrentDirectory(), "解析用パターンの保存");
    session_.SavePattern(chosen, *this);
  });
}

void FrmKestrin::m1a_Click() {
  Handle("m1a_Click", [this] {
    const std::string path = ui::FileOpenDlg(FileDialogs(), PatternFilters(),
                                             ui::CurrentDirectory(), "解析用パターンの選択");
    try {
      PatReadOn(path);
    } catch (const automation::AutomationError&) {
      // Loading stopped where it failed; what it did before stays.
    }
  });
}

void FrmKestrin::PatReadOn(const std::string& PatFile) { session_.LoadPattern(PatFile, *this); }

}  // namespace kestrin::app
