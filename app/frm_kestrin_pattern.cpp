// The window's pattern files: the dialogs of saving and loading; the session
// saves the settings and loads a file into them and into the controls.
#include <string>
#include <vector>

#include "app/frm_kestrin.h"
#include "automation/failure.h"
#include "pattern/pattern_file.h"
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
    } catch (const pattern::PatternError& e) {
      // A file that is no pattern file changed nothing and is told; any
      // other failure ends the load quietly, what it did before staying.
      if (e.number() == pattern::kNotAPatternFile) {
        services_.messages.Show("解析パターンを読み込めませんでした。\r\n" + e.description(),
                                ui::kTitle);
      }
    } catch (const automation::AutomationError&) {
    }
  });
}

void FrmKestrin::PatReadOn(const std::string& PatFile) { session_.LoadPattern(PatFile, *this); }

}  // namespace kestrin::app
