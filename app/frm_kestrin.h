// The main window frmKestrin: a view over the export session. Its controls
// show the export settings and the progress; its handlers, named as the
// design names them, hand each event to the session (choosing the files,
// pattern files, the export run, shutdown) or do what only the window does
// (the option rules, the position marker, the lists, keys and menus).
//
// The controls are the window's own; tests and tools reach them by their
// design names, which are their object names (QObject::findChild). One
// table gives each control's design name, its place in the tab order and
// the setting it shows. Positions follow the design in twips, at 15 twips a
// pixel. Every handler runs on the user-interface thread and to completion;
// a handler that meets an internal fault of the program reports it as such
// and leaves the window usable.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/desktop.h"
#include "app/export_session.h"
#include "app/module_state.h"
#include "app/session_view.h"
#include "automation/access.h"
#include "automation/excel.h"
#include "automation/failure.h"
#include "source/field_lists.h"
#include "ui/file_dialogs.h"
#include "ui/message_box.h"
#include "ui/progress.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace kestrin::app {

class FrmAbout;
class GuageLine;
class OptionPair;
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
  // The file dialogs; null: Qt's file dialogs over the window.
  ui::FileDialogs* dialogs = nullptr;
  // Opens files and addresses for the menus and the About box (null: the
  // desktop the window runs on).
  Desktop* desktop = nullptr;
};

class FrmKestrin : public QMainWindow, private SessionView {
 public:
  FrmKestrin(ModuleState& state, WindowServices services);
  ~FrmKestrin() override;

  // --- Start-up and shutdown ---
  // Defaults of the controls and settings, in the design's order; sets
  // ExecF to 0 for interactive use, or to 1 when the command line holds more
  // than blanks.
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

  // --- Progress ---
  // Sets the gauge to `percent` of its full length; at 100 the counts show
  // their final figures too.
  void GuageVis(std::int16_t percent) override;
  // The display the export engine updates record by record: the services'
  // own, else the window's labels and gauge.
  ui::ProgressDisplay& Progress() override;

  // --- The export run ---
  void cmdExec_Click();

  // --- Choosing the files ---
  // The database choice: close the program's own previous database, attach
  // or start Access, the dialog, open, and fill the table and query lists.
  void cmdAcFile_Click();
  // Fill cboTables / cboQuerys from AcDb and pick their first entry, which
  // refreshes the pivot lists. Failures are passed on.
  void TblListSet();
  void QryListSet();
  // An entry picked in cboTables / cboQuerys: the pivot lists are refreshed
  // from it; a failure is reported naming the table or query.
  void cboTables_Click();
  void cboQuerys_Click();
  // Refill the five pivot lists from the table / query of that name.
  // Failures are passed on.
  void TblFieldSet(const std::string& table);
  void QryFieldSet(const std::string& query);
  // The workbook choice: close the program's own previous workbook, attach
  // or start the spreadsheet application, the dialog, open, list the sheets.
  void cmdXlFile_Click();

  // --- Pattern files ---
  // "パターン開く": the open dialog, then PatReadOn; a failure the loading
  // reports ends it quietly.
  void m1a_Click();
  // "パターン保存": the save dialog, then the session saves the settings.
  void m1b_Click();
  // Loads the pattern file into the settings and the controls (see
  // ExportSession::LoadPattern).
  void PatReadOn(const std::string& PatFile);

  // --- Keys and menus ---
  // Enter (KeyAscii 13) moves the focus to the next control of the tab
  // order once the focused control has had the key; other keys pass.
  void Form_KeyPress(std::int16_t& KeyAscii);
  // The desktop's screen-saver or screen-lock settings, where it has some.
  void m2_Click();
  // ReadMe.txt from the program folder, with the desktop's "open" action.
  void m8_Click();
  // Shows the About box, modeless; one at a time.
  void m9_Click();
  // The About box while it is open, else null.
  FrmAbout* About() const;

  // The design's property: the window sees every key before its controls.
  bool KeyPreview = false;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // One control: its design name (also its object name), its place in the
  // tab order (1 first; 0 not a stop; an option pair is one stop), and the
  // setting it shows.
  struct Control {
    QObject* object;
    const char* name;
    int tab = 0;
    std::optional<Setting> setting{};
  };
  std::vector<Control> ControlTable() const;
  std::vector<Control> controls_;
  // The control that shows `setting` (TblName: the box of the current
  // TblKbn).
  QObject* ControlOf(const Setting& setting) const;

  // --- SessionView ---
  void Show(Setting setting) override;
  std::string Shown(Setting setting) const override;
  bool Chosen(NumberSetting option) const override;
  void UnlockChoices() override;
  void EnableSheetList() override;
  void DisableFrameOf(NumberSetting option) override;
  void ShowStatus(const std::string& text) override;
  void BeginBusy() override;
  void EndBusy() override;

  // --- Building ---
  void BuildSourceFrame(QWidget* client);
  void BuildDestinationFrame(QWidget* client);
  void BuildOutputFrame(QWidget* client);
  void BuildFormattingFrames(QWidget* client);
  void BuildPivotFrames(QWidget* client);
  void BuildProgress(QWidget* client);
  void BuildMenus();
  void ConnectHandlers();
  void ConnectKeys();
  void ConnectMenus();

  // Runs a handler the user started. A failure of the program itself (any
  // exception that is not an AutomationError, which every handler handles
  // as its rule says) is reported as the internal fault it is, naming the
  // handler; the window comes back usable.
  void Handle(const char* handler, const std::function<void()>& body);

  // The frames that wait for a database: on or off together.
  void SetChoicesEnabled(bool enabled);
  // The pivot lists refreshed from the entry a list filler just picked.
  void RefreshPivotLists(bool query);
  void FillPivotLists(const std::function<source::PivotFieldEntries()>& read);
  // An entry picked in the table or query list: the pivot lists refreshed
  // from it, a failure reported naming it.
  void PivotListsOfPick(bool query);
  void MoveMarker();
  void MoveFocusToNextStop();
  // The tab order: one control, or the two buttons of an option pair.
  using TabStop = std::pair<QWidget*, QWidget*>;
  std::vector<TabStop> TabOrder() const;
  // The control that Tab and Enter go to from `from` (null: from before the
  // first): the next enabled and visible stop, an option pair at its
  // selected button; null when there is none.
  QWidget* NextTabStop(const QWidget* from) const;
  // The dialogs the choices show: the services' own, else Qt's.
  ui::FileDialogs& FileDialogs();
  exporting::ExportSettings& settings() { return session_.settings(); }
  void Terminate();

  ModuleState& state_;
  WindowServices services_;
  ExportSession session_;
  std::unique_ptr<WindowProgress> progress_;
  bool busy_cursor_ = false;
  bool terminated_ = false;
  std::unique_ptr<ui::FileDialogs> own_dialogs_;
  std::unique_ptr<Desktop> own_desktop_;
  QPointer<FrmAbout> about_;

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
};

}  // namespace kestrin::app
