// The main window frmKestrin: the controls that hold the export settings,
// the progress display, start-up and shutdown, and the export run.
//
// Controls are public so that the handlers written elsewhere (choosing the
// files, pattern files, keys and menus) and the tests reach them by their
// design names. Positions follow the design in twips, at 15 twips a pixel.
// Every handler runs on the user-interface thread and to completion.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>

#include <cstdint>
#include <memory>

#include "app/guage_line.h"
#include "app/module_state.h"
#include "app/option_pair.h"
#include "automation/access.h"
#include "automation/excel.h"
#include "ui/message_box.h"
#include "ui/progress.h"

namespace kestrin::app {

class WindowProgress;

// What the window drives and whom it tells: the two automation servers,
// the message box, and optionally a progress display that replaces the
// window's own controls (null: the window's labels and gauge).
struct WindowServices {
  automation::AccessServer& access;
  automation::XlServer& excel;
  ui::MessageBox& messages;
  ui::ProgressDisplay* progress = nullptr;
  // The program's command line after the program name, as one text.
  std::string command_line{};
};

class FrmKestrin : public QMainWindow {
 public:
  FrmKestrin(ModuleState& state, WindowServices services);
  ~FrmKestrin() override;

  // --- Start-up and shutdown ---
  // Defaults of the controls and settings; decides between interactive use
  // (ExecF 0) and the unattended run (ExecF 1).
  void Form_Load();
  // Closing the window and the menu entry "終了" end the program alike.
  void Form_Unload();
  void m1z_Click();
  // True once shutdown has run; the window then only closes.
  bool Terminated() const { return terminated_; }

  // --- Export settings ---
  void optTable_Click(std::int16_t index);
  void optMidasi_Click(std::int16_t index);
  void optView_Click(std::int16_t index);
  void optGrid_Click(std::int16_t index);
  void optLine_Click(std::int16_t index);
  void optFilter_Click(std::int16_t index);
  void optPivot_Click(std::int16_t index);
  void chkFitR_Click();
  void chkFitC_Click();
  void txtRow_LostFocus();
  void txtCol_LostFocus();
  // Copies the boxes into the captured settings, in the design's order.
  // Throws AutomationError (13 or 6) at the first box whose text is not a
  // 16-bit number; the settings assigned before it keep their new values.
  void CollectSettings();

  // --- Progress and busy state ---
  // Sets the gauge to `percent` of its full length.
  void GuageVis(std::int16_t percent);
  // Wait cursor for the whole screen and the window disabled / restored.
  void BeginBusy();
  void EndBusy();
  // The display the export engine updates record by record.
  ui::ProgressDisplay& Progress();

  // --- The export run ---
  void cmdExec_Click();

  // --- Choosing the files (source-workbook) ---

  // --- Pattern files (pattern-cli) ---

  // --- Keys and menus (menus-about) ---

  // The design's property: the window sees every key before its controls.
  bool KeyPreview = false;

  // Controls, by frame.
  QGroupBox* Frame3 = nullptr;
  QPushButton* cmdAcFile = nullptr;
  QLabel* lblAcFile = nullptr;
  QGroupBox* Frame2 = nullptr;
  OptionPair* optTable = nullptr;
  QLabel* lblTable = nullptr;
  QComboBox* cboTables = nullptr;
  QComboBox* cboQuerys = nullptr;

  QGroupBox* Frame4 = nullptr;
  QPushButton* cmdXlFile = nullptr;
  QLabel* lblXlFile = nullptr;
  QComboBox* cboSheet = nullptr;

  QGroupBox* Frame9 = nullptr;
  QComboBox* cboKaiGyo = nullptr;
  QLineEdit* txtExpMax = nullptr;
  QLineEdit* txtCls = nullptr;
  QFrame* Frame7 = nullptr;
  OptionPair* optMidasi = nullptr;
  QFrame* Frame8 = nullptr;
  OptionPair* optView = nullptr;
  QLineEdit* txtRow = nullptr;
  QLineEdit* txtCol = nullptr;
  QLabel* lblIti = nullptr;

  QFrame* Frame10 = nullptr;
  OptionPair* optGrid = nullptr;
  QGroupBox* framGrid = nullptr;
  QFrame* Frame1 = nullptr;
  OptionPair* optLine = nullptr;
  QFrame* Frame5 = nullptr;
  OptionPair* optFilter = nullptr;
  QFrame* Frame6 = nullptr;
  QCheckBox* chkFitR = nullptr;
  QCheckBox* chkFitC = nullptr;

  QFrame* Frame11 = nullptr;
  OptionPair* optPivot = nullptr;
  QGroupBox* framPivot = nullptr;
  QLineEdit* txtPivotName = nullptr;
  QComboBox* cboPivotR1 = nullptr;
  QComboBox* cboPivotR2 = nullptr;
  QComboBox* cboPivotC1 = nullptr;
  QComboBox* cboPivotC2 = nullptr;
  QComboBox* cboPivotVal = nullptr;

  QPushButton* cmdExec = nullptr;

  QLabel* lblCount = nullptr;
  QLabel* Label33 = nullptr;
  QLabel* lblMaxCount = nullptr;
  QFrame* Picture1 = nullptr;
  GuageLine* linGuage = nullptr;
  QLineEdit* txtMessege = nullptr;

  // Menu bar.
  QMenu* m1 = nullptr;
  QAction* m1a = nullptr;
  QAction* m1b = nullptr;
  QAction* m1m1 = nullptr;
  QAction* m1z = nullptr;
  QAction* m2 = nullptr;
  QAction* m8 = nullptr;
  QAction* m9 = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildSourceFrame(QWidget* client);
  void BuildDestinationFrame(QWidget* client);
  void BuildOutputFrame(QWidget* client);
  void BuildFormattingFrames(QWidget* client);
  void BuildPivotFrames(QWidget* client);
  void BuildProgress(QWidget* client);
  void BuildMenus();
  // Gives every control its design name as object name.
  void NameControls();
  void ConnectHandlers();

  void ShowMessage(const std::string& prompt);
  void MoveMarker();
  void Shutdown();
  void Terminate();

  ModuleState& state_;
  WindowServices services_;
  std::unique_ptr<WindowProgress> progress_;
  bool busy_cursor_ = false;
  bool terminated_ = false;
};

}  // namespace kestrin::app
