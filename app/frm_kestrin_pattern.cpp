// The window's pattern files: saving the settings, choosing a file to load,
// and loading one into the settings and the controls (also the first step
// of the unattended run).
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <string>
#include <vector>

#include "app/frm_kestrin.h"
#include "app/option_pair.h"
#include "pattern/pattern_file.h"
#include "pattern/pattern_paths.h"
#include "source/open_database.h"
#include "ui/file_dialogs.h"
#include "workbook/open_workbook.h"

namespace kestrin::app {
namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

std::vector<ui::FileFilter> PatternFilters() { return {{"解析ﾊﾟﾀｰﾝ(*.kst)", "*.kst"}}; }

// Selects button `value` of the pair; a value that names no button ends
// the load, as a button that does not exist would.
void SelectOption(OptionPair& pair, std::int16_t value, const char* key,
                  const std::string& PatFile) {
  if (value != 0 && value != 1) {
    throw pattern::PatternError(340, PatFile + ": " + key + "=" + std::to_string(value) +
                                         ": there is no option button " + std::to_string(value) +
                                         " (only 0 and 1)");
  }
  pair.Select(value);
}

// Runs an open step, naming what it opened in its failure.
template <class Step>
void Opening(const std::string& what, const std::string& path, Step step) {
  try {
    step();
  } catch (const automation::AutomationError& e) {
    throw automation::AutomationError(
        e.number(), "cannot open the " + what + " " + path + ": " + e.description());
  }
}

}  // namespace

void FrmKestrin::m1b_Click() {
  try {
    const std::string chosen = ui::FileSaveDlg(FileDialogs(), PatternFilters(),
                                               ui::CurrentDirectory(), "解析用パターンの保存");
    const std::string file = pattern::PatternSaveName(chosen);
    CollectSettings();
    if (file.empty()) {
      ShowMessage("ファイル名を入力して下さい。");
      return;
    }
    pattern::WritePatternFile(file, state_.settings);
    ShowMessage("解析パターン登録が完了しました。");
  } catch (const pattern::PatternError& e) {
    // Text the file cannot hold is refused with a word; a file that cannot
    // be written ends the save quietly, the old file as it was.
    if (e.number() == 5) {
      ShowMessage("解析パターンを保存できませんでした。\r\n" + e.description());
    }
  } catch (const std::exception&) {
    // A box that is not a 16-bit number: nothing is written.
  }
}

void FrmKestrin::m1a_Click() {
  try {
    const std::string path = ui::FileOpenDlg(FileDialogs(), PatternFilters(),
                                             ui::CurrentDirectory(), "解析用パターンの選択");
    PatReadOn(path);
  } catch (const std::exception&) {
    // Loading stopped where it failed; what it did before stays.
  }
}

void FrmKestrin::PatReadOn(const std::string& PatFile) {
  if (PatFile.empty()) return;
  auto& s = state_.settings;
  pattern::PatFileRead(PatFile, s);

  for (QWidget* frame :
       std::initializer_list<QWidget*>{Frame2, Frame4, Frame9, framGrid, framPivot}) {
    frame->setEnabled(true);
  }
  cboSheet->setEnabled(false);

  // Paths saved on Windows are looked for here through the user's mapping.
  const pattern::PatternFile database = pattern::LocatePatternFile(s.FileMoto);
  s.FileMoto = database.path;
  auto& src = state_.source;
  src.MdbPath = s.FileMoto;
  lblAcFile->setText(Text(s.FileMoto));
  if (!database.found) {
    services_.messages.Show(database.message, ui::kShortTitle);
  } else {
    Opening("database", s.FileMoto, [&] {
      source::CloseOwnDatabase(src, !lblAcFile->text().isEmpty());
      source::AttachOrStartAccess(src, services_.access);
      source::OpenSourceDatabase(src);
    });
  }

  SelectOption(*optTable, s.TblKbn, "TblKbn", PatFile);
  (s.TblKbn == 0 ? cboTables : cboQuerys)->setEditText(Text(s.TblName));

  const pattern::PatternFile book = pattern::LocatePatternFile(s.FileSaki);
  s.FileSaki = book.path;
  lblXlFile->setText(Text(s.FileSaki));
  if (!book.found) {
    services_.messages.Show(book.message, ui::kShortTitle);
  } else {
    auto& wb = state_.workbook;
    Opening("workbook", s.FileSaki, [&] {
      workbook::CloseOwnWorkbook(wb, !lblXlFile->text().isEmpty());
      workbook::AttachOrStartExcel(wb, services_.excel);
      workbook::OpenWorkbook(wb, lblXlFile->text().toStdString());
    });
  }

  cboSheet->setEnabled(true);
  cboSheet->setEditText(Text(s.ShtName));

  txtRow->setText(QString::number(s.StartRow));
  txtCol->setText(QString::number(s.StartCol));
  cboKaiGyo->setEditText(QString::number(s.KaiGyo));
  txtExpMax->setText(QString::number(s.OutGyo));
  txtCls->setText(QString::number(s.ClsGyo));

  SelectOption(*optMidasi, s.Midasi, "Midasi", PatFile);
  SelectOption(*optView, s.Display, "Display", PatFile);
  SelectOption(*optGrid, s.GridF, "GridF", PatFile);

  if (s.GridF == 1) {
    SelectOption(*optLine, s.Line, "Line", PatFile);
    SelectOption(*optFilter, s.Filter, "Filter", PatFile);
    chkFitR->setChecked(s.FitRow == 1);
    chkFitC->setChecked(s.FitCol == 1);
  } else {
    framGrid->setEnabled(false);
  }

  SelectOption(*optPivot, s.PivotF, "PivotF", PatFile);

  if (s.PivotF == 1) {
    txtPivotName->setText(Text(s.PvtName));
    cboPivotC1->setEditText(Text(s.PvtCol1));
    cboPivotC2->setEditText(Text(s.PvtCol2));
    cboPivotR1->setEditText(Text(s.PvtRow1));
    cboPivotR2->setEditText(Text(s.PvtRow2));
    cboPivotVal->setEditText(Text(s.PvtVal));
  } else {
    framPivot->setEnabled(false);
  }

  if (state_.ExecF != 1) ShowMessage("解析パターンを読み込みました。");
}

}  // namespace kestrin::app
