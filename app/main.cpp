// kestrin: the main window over the Access reader and the office engine.
#include <QApplication>

#include <cstdio>
#include <string>

#include "app/frm_kestrin.h"
#include "app/module_state.h"
#include "app/qt_message_box.h"
#include "automation/mdb/mdb_access.h"
#include "automation/uno/uno_excel.h"

int main(int argc, char** argv) {
  using namespace kestrin;
  QApplication application(argc, argv);

  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }

  auto access = automation::mdb::MakeMdbAccessServer();
  auto excel = automation::uno::MakeUnoXlServer(automation::uno::UnoOptions{});
  app::QtMessageBox messages;
  app::ModuleState state;
  app::FrmKestrin window(state, {*access, *excel, messages, nullptr, command_line});
  messages.SetParent(&window);
  window.Form_Load();
  if (state.ExecF == 1) {
    std::fprintf(stderr, "kestrin: running a pattern file unattended is not available yet\n");
    return 2;
  }
  window.show();
  return application.exec();
}
