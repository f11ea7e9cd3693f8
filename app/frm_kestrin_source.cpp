// The database choice and what hangs on it: the table and query lists and
// the five pivot field lists.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/frm_kestrin.h"
#include "app/qt_file_dialogs.h"
#include "app/qt_text.h"
#include "automation/failure.h"
#include "source/open_database.h"
#include "ui/error_report.h"

namespace kestrin::app {
namespace {

void Fill(QComboBox* box, const std::vector<std::string>& entries) {
  for (const auto& e : entries) box->addItem(Text(e));
}

}  // namespace

ui::FileDialogs& FrmKestrin::FileDialogs() {
  if (services_.dialogs != nullptr) return *services_.dialogs;
  if (!own_dialogs_) own_dialogs_ = std::make_unique<QtFileDialogs>(this);
  return *own_dialogs_;
}

void FrmKestrin::cmdAcFile_Click() {
  Handle("cmdAcFile_Click", [this] {
    session_.ReadyAccess(!lblAcFile->text().isEmpty());
    const std::string path = ui::FileOpenDlg(FileDialogs(), source::DatabaseDialogFilters(),
                                             ui::CurrentDirectory(), source::kDatabaseDialogTitle);
    lblAcFile->setText(Text(path));

    // A cancelled dialog, a file that cannot be opened or no Access: quietly.
    try {
      session_.OpenSource(path);
    } catch (const automation::AutomationError&) {
      EndBusy();
      return;
    }

    BeginBusy();
    UnlockChoices();
    // The database is open but its catalogue or a field list could not be
    // read: the window comes back and says so once. A table list whose first
    // table cannot be read (a link to a file that is gone) still lets the
    // query list fill.
    std::optional<automation::AutomationError> failure;
    for (const auto& [status, fill] : {std::pair{"ﾃｰﾌﾞﾙ情報取得中", &FrmKestrin::TblListSet},
                                       std::pair{"ｸｴﾘｰ情報取得中", &FrmKestrin::QryListSet}}) {
      try {
        ShowStatus(status);
        (this->*fill)();
      } catch (const automation::AutomationError& e) {
        if (!failure) failure = e;
      }
    }
    if (failure) {
      txtMessege->clear();
      EndBusy();
      services_.messages.Show("データベースの情報を読み込めませんでした。\r\n" + path + "\r\n" +
                                  ui::ErrorReportPrompt(failure->number(), failure->description()),
                              ui::kTitle);
      return;
    }
    txtMessege->clear();
    EndBusy();
  });
}

void FrmKestrin::TblListSet() {
  setEnabled(false);
  cboTables->clear();
  const std::vector<std::string> names = session_.TableNames();
  Fill(cboTables, names);
  if (!names.empty()) {
    cboTables->setCurrentIndex(0);
    RefreshPivotLists(false);
  }
  setEnabled(true);
}

void FrmKestrin::QryListSet() {
  setEnabled(false);
  cboQuerys->clear();
  const std::vector<std::string> names = session_.QueryNames();
  Fill(cboQuerys, names);
  if (!names.empty()) {
    cboQuerys->setCurrentIndex(0);
    RefreshPivotLists(true);
  }
  setEnabled(true);
}

// The pivot lists refreshed from the entry a list filler just picked, as
// the list's click does it; a failure is passed on to the filler.
void FrmKestrin::RefreshPivotLists(bool query) {
  BeginBusy();
  const std::string name = StdText((query ? cboQuerys : cboTables)->currentText());
  if (query) {
    QryFieldSet(name);
  } else {
    TblFieldSet(name);
  }
  EndBusy();
}

void FrmKestrin::cboTables_Click() {
  Handle("cboTables_Click", [this] { PivotListsOfPick(false); });
}

void FrmKestrin::cboQuerys_Click() {
  Handle("cboQuerys_Click", [this] { PivotListsOfPick(true); });
}

void FrmKestrin::PivotListsOfPick(bool query) {
  const std::string name = StdText((query ? cboQuerys : cboTables)->currentText());
  BeginBusy();
  try {
    if (query) {
      QryFieldSet(name);
    } else {
      TblFieldSet(name);
    }
  } catch (const automation::AutomationError& e) {
    txtMessege->clear();
    EndBusy();
    services_.messages.Show(std::string(query ? "クエリー「" : "テーブル「") + name +
                                "」のフィールドを読み込めませんでした。\r\n" +
                                ui::ErrorReportPrompt(e.number(), e.description()),
                            ui::kTitle);
    return;
  }
  EndBusy();
}

// Clears the five lists, fills them and selects their first entries; the
// lists stay empty when the fields cannot be read.
void FrmKestrin::FillPivotLists(const std::function<source::PivotFieldEntries()>& read) {
  ShowStatus("ﾌｨｰﾙﾄﾞ情報取得中");
  for (QComboBox* box : {cboPivotC1, cboPivotR1, cboPivotVal, cboPivotC2, cboPivotR2}) {
    box->clear();
  }
  const source::PivotFieldEntries entries = read();
  for (QComboBox* box : {cboPivotC1, cboPivotR1, cboPivotVal}) Fill(box, entries.first_level);
  for (QComboBox* box : {cboPivotC2, cboPivotR2}) Fill(box, entries.second_level);
  if (!entries.first_level.empty()) {
    for (QComboBox* box : {cboPivotC1, cboPivotR1, cboPivotVal}) box->setCurrentIndex(0);
  }
  cboPivotC2->setCurrentIndex(0);
  cboPivotR2->setCurrentIndex(0);
  txtMessege->clear();
}

void FrmKestrin::TblFieldSet(const std::string& table) {
  FillPivotLists([&] { return session_.TableFields(table); });
}

void FrmKestrin::QryFieldSet(const std::string& query) {
  FillPivotLists([&] { return session_.QueryFields(query); });
}

}  // namespace kestrin::app
