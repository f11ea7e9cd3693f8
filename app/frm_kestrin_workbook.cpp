// The workbook choice and the sheet list.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <exception>
#include <string>

#include "app/frm_kestrin.h"
#include "workbook/open_workbook.h"

namespace kestrin::app {

void FrmKestrin::cmdXlFile_Click() {
  auto& wb = state_.workbook;
  // The program's own previous workbook is closed unsaved and its instance
  // quit before the dialog; when that fails the click ends here.
  try {
    workbook::CloseOwnWorkbook(wb, !lblXlFile->text().isEmpty());
  } catch (const std::exception&) {
    return;
  }
  workbook::AttachOrStartExcel(wb, services_.excel);

  const std::string path = ui::FileOpenDlg(FileDialogs(), workbook::WorkbookDialogFilters(),
                                           ui::CurrentDirectory(), workbook::kWorkbookDialogTitle);
  lblXlFile->setText(QString::fromStdString(path));

  // A cancelled dialog, a file that cannot be opened or no application:
  // quietly, the sheet list as it was unless the workbook opened.
  try {
    workbook::OpenWorkbook(wb, path);
    cboSheet->setEnabled(true);
    cboSheet->clear();
    for (const auto& name : workbook::SheetNames(*wb.XlApp)) {
      cboSheet->addItem(QString::fromStdString(name));
    }
    cboSheet->setCurrentIndex(0);
    txtMessege->clear();
  } catch (const std::exception&) {
  }
}

}  // namespace kestrin::app
