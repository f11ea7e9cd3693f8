// The database choice and what hangs on it: the table and query lists and
// the five pivot field lists.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <exception>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "app/frm_kestrin.h"
#include "app/qt_file_dialogs.h"
#include "automation/failure.h"
#include "source/catalogue.h"
#include "source/field_lists.h"
#include "source/open_database.h"

namespace kestrin::app {
namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

std::int16_t Count16(std::size_t n) {
  return static_cast<std::int16_t>(
      std::min<std::size_t>(n, std::numeric_limits<std::int16_t>::max()));
}

void Fill(QComboBox* box, const std::vector<std::string>& entries) {
  for (const auto& e : entries) box->addItem(Text(e));
}

// AcDb, or the failure DAO gives for an object that is not set.
automation::DaoDatabase& Database(const source::SourceState& src) {
  if (!src.AcDb) {
    throw automation::StandardError(automation::errnum::kObjectNotSet);
  }
  return *src.AcDb;
}

std::string Describe(const std::exception& e) {
  if (const auto* a = dynamic_cast<const automation::AutomationError*>(&e)) {
    return "エラーNO:" + std::to_string(a->number()) + "\r\n" + a->description();
  }
  return e.what();
}

// The pivot lists refreshed from the entry a list filler just picked, as
// the list's click does it; a failure is passed on to the filler.
void RefreshNested(FrmKestrin& w, bool query) {
  w.BeginBusy();
  const std::string name = (query ? w.cboQuerys : w.cboTables)->currentText().toStdString();
  if (query) {
    w.QryFieldSet(name);
  } else {
    w.TblFieldSet(name);
  }
  w.EndBusy();
}

}  // namespace

ui::FileDialogs& FrmKestrin::FileDialogs() {
  if (services_.dialogs != nullptr) return *services_.dialogs;
  if (!own_dialogs_) own_dialogs_ = std::make_unique<QtFileDialogs>(this);
  return *own_dialogs_;
}

void FrmKestrin::cmdAcFile_Click() {
  auto& src = state_.source;
  source::CloseOwnDatabase(src, !lblAcFile->text().isEmpty());
  source::AttachOrStartAccess(src, services_.access);

  const std::string path = ui::FileOpenDlg(FileDialogs(), source::DatabaseDialogFilters(),
                                           ui::CurrentDirectory(), source::kDatabaseDialogTitle);
  src.MdbPath = path;
  lblAcFile->setText(Text(path));

  // A cancelled dialog, a file that cannot be opened or no Access: quietly.
  try {
    source::OpenSourceDatabase(src);
  } catch (const std::exception&) {
    EndBusy();
    return;
  }
  // The reader opens databases read-only, so this write never reaches the
  // user's file; it is tried and its failure ignored.
  source::HideStartupForm(src);

  BeginBusy();
  for (QWidget* frame :
       std::initializer_list<QWidget*>{Frame2, Frame4, Frame9, framGrid, framPivot}) {
    frame->setEnabled(true);
  }
  cboSheet->setEnabled(false);
  try {
    // Shown at once: the lists are filled without returning to the event loop.
    txtMessege->setText(QStringLiteral("ﾃｰﾌﾞﾙ情報取得中"));
    txtMessege->repaint();
    TblListSet();
    txtMessege->setText(QStringLiteral("ｸｴﾘｰ情報取得中"));
    txtMessege->repaint();
    QryListSet();
  } catch (const std::exception& e) {
    // The database is open but its catalogue or a field list could not be
    // read: the window comes back and says so once.
    txtMessege->clear();
    EndBusy();
    ShowMessage("データベースの情報を読み込めませんでした。\r\n" + path + "\r\n" + Describe(e));
    return;
  }
  txtMessege->clear();
  EndBusy();
}

void FrmKestrin::TblListSet() {
  setEnabled(false);
  cboTables->clear();
  state_.source.ListCnt = 0;
  const auto names = source::ListedTableNames(Database(state_.source));
  Fill(cboTables, names);
  state_.source.ListCnt = Count16(names.size());
  if (state_.source.ListCnt != 0) {
    cboTables->setCurrentIndex(0);
    RefreshNested(*this, false);
  }
  setEnabled(true);
}

void FrmKestrin::QryListSet() {
  setEnabled(false);
  cboQuerys->clear();
  state_.source.ListCnt = 0;
  const auto names = source::ListedQueryNames(Database(state_.source));
  Fill(cboQuerys, names);
  state_.source.ListCnt = Count16(names.size());
  if (state_.source.ListCnt != 0) {
    cboQuerys->setCurrentIndex(0);
    RefreshNested(*this, true);
  }
  setEnabled(true);
}

void FrmKestrin::cboTables_Click() {
  const std::string name = cboTables->currentText().toStdString();
  BeginBusy();
  try {
    TblFieldSet(name);
  } catch (const std::exception& e) {
    txtMessege->clear();
    EndBusy();
    ShowMessage("テーブル「" + name + "」のフィールドを読み込めませんでした。\r\n" + Describe(e));
    return;
  }
  EndBusy();
}

void FrmKestrin::cboQuerys_Click() {
  const std::string name = cboQuerys->currentText().toStdString();
  BeginBusy();
  try {
    QryFieldSet(name);
  } catch (const std::exception& e) {
    txtMessege->clear();
    EndBusy();
    ShowMessage("クエリー「" + name + "」のフィールドを読み込めませんでした。\r\n" + Describe(e));
    return;
  }
  EndBusy();
}

namespace {

// Clears the five lists, fills them and selects their first entries; the
// lists stay empty when the fields cannot be read.
void FillPivotLists(FrmKestrin& w, const std::function<source::PivotFieldEntries()>& read) {
  w.txtMessege->setText(QStringLiteral("ﾌｨｰﾙﾄﾞ情報取得中"));
  w.txtMessege->repaint();
  for (QComboBox* box : {w.cboPivotC1, w.cboPivotR1, w.cboPivotVal, w.cboPivotC2, w.cboPivotR2}) {
    box->clear();
  }
  const source::PivotFieldEntries entries = read();
  for (QComboBox* box : {w.cboPivotC1, w.cboPivotR1, w.cboPivotVal}) Fill(box, entries.first_level);
  for (QComboBox* box : {w.cboPivotC2, w.cboPivotR2}) Fill(box, entries.second_level);
  if (!entries.first_level.empty()) {
    for (QComboBox* box : {w.cboPivotC1, w.cboPivotR1, w.cboPivotVal}) box->setCurrentIndex(0);
  }
  w.cboPivotC2->setCurrentIndex(0);
  w.cboPivotR2->setCurrentIndex(0);
  w.txtMessege->clear();
}

}  // namespace

void FrmKestrin::TblFieldSet(const std::string& table) {
  auto db = state_.source.AcDb;  // held while the lists are filled
  FillPivotLists(*this, [&] { return source::TableFieldEntries(Database(state_.source), table); });
}

void FrmKestrin::QryFieldSet(const std::string& query) {
  auto db = state_.source.AcDb;  // held while the lists are filled
  FillPivotLists(*this, [&] { return source::QueryFieldEntries(Database(state_.source), query); });
}

}  // namespace kestrin::app
