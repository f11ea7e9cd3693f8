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
#include "app/interrupt.h"
#include "app/module_state.h"
#include "app/office_session.h"
#include "app/qt_message_box.h"
#include "app/qt_translations.h"
#include "app/unattended_run.h"
#include "automation/mdb/mdb_access.h"
#include "automation/uno/uno_excel.h"

namespace {

using namespace kestrin;

int WrongArguments(const std::string& error) {
  std::fprintf(stderr, "%s\n", app::ConsoleLine(error + " (kestrin --help)", ui::kTitle).c_str());
  return app::kExitBadInput;
}

// A QApplication whose command line is the program name only (Qt sees none
// of the user's arguments), with Qt's own texts (file dialogs, buttons,
// context menus) in the user's language before the first window.
class Application {
 public:
  explicit Application(char* program) : argv_{program, nullptr}, application_(argc_, argv_) {
    if (texts_) application_.installTranslator(texts_.get());
  }
  int exec() { return QApplication::exec(); }

 private:
  int argc_ = 1;
  char* argv_[2];
  QApplication application_;
  std::unique_ptr<QTranslator> texts_ = app::QtTranslations();
};

// The unattended run. A batch run needs nothing of Qt: no QApplication is
// made, so no platform plugin is loaded; its faults go to standard error and
// the line of a completed export to standard output. Otherwise the messages
// are boxes on the screen, and only they need a QApplication. Quiet runs say
// nothing of what went well.
int RunUnattended(const app::CommandLine& line, const app::Environment& env, bool batch,
                  char* program, app::InterruptWatch& interrupts, automation::AccessServer& access,
                  std::unique_ptr<automation::XlServer> excel) {
  // The office can show a workbook on an X or a Wayland display.
  app::OfficeSession office(std::move(excel),
                            !env("DISPLAY").empty() || !env("WAYLAND_DISPLAY").empty());
  app::ConsoleProgress progress(stderr, batch && !line.quiet && isatty(STDERR_FILENO) == 1);
  if (batch) {
    app::ConsoleMessageBox faults(stderr, &progress);
    app::ConsoleMessageBox notices(stdout, &progress);
    app::UnattendedServices services{
        access, office, faults, progress, line.quiet ? nullptr : &notices, &interrupts};
    return app::RunPatterns(line.patterns, services);
  }
  Application application(program);
  app::QtMessageBox boxes;
  app::UnattendedServices services{
      access, office, boxes, progress, line.quiet ? nullptr : &boxes, &interrupts};
  return app::RunPatterns(line.patterns, services);
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

  if (line.action == app::CommandLine::Action::kRun) {
    // First, before any thread starts: the signals that end the run.
    app::InterruptWatch interrupts;
    auto access = automation::mdb::MakeMdbAccessServer();
    return RunUnattended(line, env, batch, argv[0], interrupts, *access,
                         automation::uno::MakeUnoXlServer(app::OfficeOptions(env)));
  }
  auto access = automation::mdb::MakeMdbAccessServer();
  auto excel = automation::uno::MakeUnoXlServer(app::OfficeOptions(env));

  Application application(argv[0]);
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
