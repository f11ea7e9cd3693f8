// The main window with the engine doubles behind it, as the window tests
// use it: a message box that also notes what the window looked like while
// the message was up, and a fake database and workbook already "chosen".
#pragma once

#include <QApplication>
#include <QCursor>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/frm_kestrin.h"
#include "app/guage_line.h"
#include "app/option_pair.h"
#include "tests/doubles/fake_servers.h"
#include "tests/support/controls.h"
#include "tests/support/temp_folder.h"

namespace kestrin::app::testing {

using namespace kestrin::testing;  // the window's controls by design name

namespace fs = std::filesystem;
using automation::Value;

// What the window showed at one moment.
struct WindowLook {
  bool enabled = true;
  bool wait_cursor = false;
  std::string status;
};

inline WindowLook LookAt(FrmKestrin& window) {
  const QCursor* cursor = QApplication::overrideCursor();
  return {window.isEnabled(), cursor != nullptr && cursor->shape() == Qt::WaitCursor,
          Edit(window, "txtMessege")->text().toStdString()};
}

class WatchingMessageBox : public ui::MessageBox {
 public:
  struct Shown {
    std::string prompt;
    std::string title;
    WindowLook look;
  };
  void Show(const std::string& prompt, const std::string& title) override {
    shown.push_back({prompt, title, window ? LookAt(*window) : WindowLook{}});
  }
  std::vector<std::string> Prompts() const {
    std::vector<std::string> prompts;
    for (const auto& s : shown) prompts.push_back(s.prompt);
    return prompts;
  }
  FrmKestrin* window = nullptr;
  std::vector<Shown> shown;
};

using kestrin::testing::TempFolder;

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() {
    window = std::make_unique<FrmKestrin>(
        state, WindowServices{access, excel_server, messages, nullptr, ""});
    messages.window = window.get();
    window->Form_Load();
  }
  ~WindowTest() override {
    while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
  }

  // What choosing the files leaves behind: a database with table T (and
  // query Q) open as AcDb, a workbook with sheet S active in XlApp, the
  // paths in the file labels and the frames enabled.
  void ChooseFiles(int records = 3) {
    database = std::make_shared<kestrin::testing::FakeDatabase>();
    std::vector<std::vector<Value>> rows;
    const char* branches[] = {"東", "西", "南"};
    for (int i = 0; i < records; ++i) {
      rows.push_back({Value(std::string(branches[i % 3])),
                      Value(std::string("品") + std::to_string(i % 2)), Value(100 + i)});
    }
    database->AddTable("T", {"支店", "商品", "金額"}, rows);
    database->AddQuery("Q", 0, {"支店", "商品", "金額"}, rows);
    state.source.AcDb = database;
    source_path = folder.path() / "source.mdb";
    std::ofstream(source_path) << "x";

    excel = std::make_shared<kestrin::testing::FakeExcel>();
    excel->AddFile("/book.xls", {"S", "Other"});
    excel->OpenForTest("/book.xls");
    state.workbook.XlApp = excel;

    Label(*window, "lblAcFile")->setText(QString::fromStdString(source_path.string()));
    Label(*window, "lblXlFile")->setText(QStringLiteral("/book.xls"));
    Combo(*window, "cboTables")->setEditText(QStringLiteral("T"));
    Combo(*window, "cboSheet")->setEditText(QStringLiteral("S"));
    for (QWidget* frame : std::initializer_list<QWidget*>{
             Widget(*window, "Frame2"), Widget(*window, "Frame4"), Widget(*window, "Frame9")}) {
      frame->setEnabled(true);
    }
  }

  void SetPivot(const char* r1, const char* r2, const char* c1, const char* c2, const char* val) {
    Combo(*window, "cboPivotR1")->setEditText(QString::fromUtf8(r1));
    Combo(*window, "cboPivotR2")->setEditText(QString::fromUtf8(r2));
    Combo(*window, "cboPivotC1")->setEditText(QString::fromUtf8(c1));
    Combo(*window, "cboPivotC2")->setEditText(QString::fromUtf8(c2));
    Combo(*window, "cboPivotVal")->setEditText(QString::fromUtf8(val));
  }

  kestrin::testing::FakeSheet& Sheet() { return excel->active_workbook()->Sheet("S"); }

  kestrin::testing::FakeAccessServer access;
  kestrin::testing::FakeXlServer excel_server;
  WatchingMessageBox messages;
  ModuleState state;
  std::unique_ptr<FrmKestrin> window;
  TempFolder folder;
  std::shared_ptr<kestrin::testing::FakeDatabase> database;
  std::shared_ptr<kestrin::testing::FakeExcel> excel;
  fs::path source_path;
};

}  // namespace kestrin::app::testing
