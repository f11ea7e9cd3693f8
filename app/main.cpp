// kestrin: the main window over the Access reader and the office engine, or,
// given pattern files, their unattended exports (see app/command_line.h).
#include <unistd.h>

#include <QApplication>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/desktop.h"
#include "app/frm_kestrin.h"
#include "app/module_state.h"
#include "app/office_session.h"
#include "app/qt_message_box.h"
#include "app/qt_translations.h"
#include "app/unattended_run.h"
#include "automation/mdb/mdb_access.h"
#include "automation/uno/uno_excel.h"

namespace {

using namespace kestrin;

// A batch run's standard error carries only the run's messages: Qt's
// notes about the platform are dropped, its critical errors kept on a line
// of their own.
void BatchQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    std::fprintf(stderr, "%s\n", app::ConsoleLine(text.toStdString(), ui::kTitle).c_str());
  }
}

int WrongArguments(const std::string& error) {
  std::fprintf(stderr, "%s\n", app::ConsoleLine(error + " (kestrin --help)", ui::kTitle).c_str());
  return app::kExitBadInput;
}

}  // namespace

int main(int argc, char** argv) {
  const app::CommandLine line =
      app::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (line.action) {
    case app::CommandLine::Action::kHelp:
      std::fputs(app::UsageText().c_str(), stdout);
      return app::kExitExported;
    case app::CommandLine::Action::kVersion:
      std::fputs(app::VersionText().c_str(), stdout);
      return app::kExitExported;
    case app::CommandLine::Action::kWrongArguments:
      return WrongArguments(line.error);
    default:
      break;
  }
  const app::Environment env = app::ProcessEnvironment();
  const bool batch = app::IsBatchRun(line.batch, env);
  const bool display = !env("DISPLAY").empty() || !env("WAYLAND_DISPLAY").empty();
  if (line.action == app::CommandLine::Action::kWindow && (line.batch || !display)) {
    return WrongArguments(display ? "--batch にはパターンファイルが必要です。"
                                  : "画面がないため、ウィンドウを表示できません。"
                                    "パターンファイルを指定して下さい。");
  }

  // Qt sees none of the user's arguments; a batch run draws nowhere.
  std::vector<std::string> qt_args{argv[0]};
  if (batch) {
    qt_args.insert(qt_args.end(), {"-platform", "offscreen"});
    qInstallMessageHandler(BatchQtMessages);
  }
  std::vector<char*> qt_argv;
  for (auto& arg : qt_args) qt_argv.push_back(arg.data());
  int qt_argc = static_cast<int>(qt_argv.size());
  qt_argv.push_back(nullptr);
  QApplication application(qt_argc, qt_argv.data());
  // Qt's own texts (file dialogs, buttons, context menus) in the user's
  // language, before the first window.
  const std::unique_ptr<QTranslator> qt_texts = app::QtTranslations();
  if (qt_texts) application.installTranslator(qt_texts.get());

  auto access = automation::mdb::MakeMdbAccessServer();
  auto excel = automation::uno::MakeUnoXlServer(app::OfficeOptions(env));

  if (line.action == app::CommandLine::Action::kRun) {
    // The office can show a workbook on an X or a Wayland display.
    app::OfficeSession office(std::move(excel), display);
    app::ConsoleProgress progress(stderr, batch && isatty(STDERR_FILENO) == 1);
    app::ConsoleMessageBox console(stderr, &progress);
    app::QtMessageBox boxes;
    ui::MessageBox& messages = batch ? static_cast<ui::MessageBox&>(console) : boxes;
    app::UnattendedServices services{*access, office, messages, progress};
    return app::RunPatterns(line.patterns, services);
  }

  app::QtMessageBox messages;
  app::QtDesktop desktop;
  app::ModuleState state;
  app::FrmKestrin window(
      state, {.access = *access, .excel = *excel, .messages = messages, .desktop = &desktop});
  messages.SetParent(&window);
  window.Form_Load();
  window.show();
  return application.exec();
}
