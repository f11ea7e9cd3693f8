// The workbook choice and the sheet list.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <string>

#include "app/frm_kestrin.h"
#include "app/qt_text.h"
#include "automation/failure.h"
#include "workbook/open_workbook.h"

namespace kestrin::app {

void FrmKestrin::cmdXlFile_Click() {
  Handle("cmdXlFile_Click", [this] {
    // The program's own previous workbook is closed unsaved and its instance
    // quit before the dialog.
    session_.ReadyOffice(!lblXlFile->text().isEmpty());
    const std::string path =
        ui::FileOpenDlg(FileDialogs(), workbook::WorkbookDialogFilters(), ui::CurrentDirectory(),
                        workbook::kWorkbookDialogTitle);
    lblXlFile->setText(Text(path));

    // A cancelled dialog, a file that cannot be opened or no application:
    // quietly, the sheet list as it was unless the workbook opened.
    try {
      session_.OpenWorkbook(path);
      cboSheet->setEnabled(true);
      cboSheet->clear();
      for (const auto& name : session_.SheetNames()) cboSheet->addItem(Text(name));
      cboSheet->setCurrentIndex(0);
      txtMessege->clear();
    } catch (const automation::AutomationError&) {
    }
  });
}

}  // namespace kestrin::app
