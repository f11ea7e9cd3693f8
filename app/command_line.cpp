#include "app/command_line.h"

#include <cstdlib>

#include "ui/version.h"

namespace kestrin::app {
namespace {

bool Blank(std::string_view s) { return s.find_first_not_of(" \t") == std::string_view::npos; }

constexpr std::chrono::milliseconds kDrawInterval{250};

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  bool help = false, version = false, options_done = false;
  for (const std::string& arg : args) {
    if (!options_done && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        options_done = true;
      } else if (arg == "--batch") {
        line.batch = true;
      } else if (arg == "-q" || arg == "--quiet") {
        line.quiet = true;
      } else if (arg == "--help" || arg == "-h") {
        help = true;
      } else if (arg == "--version") {
        version = true;
      } else if (line.error.empty()) {
        line.error = "不明なオプション " + arg + " です。";
      }
      continue;
    }
    if (Blank(arg)) continue;
    std::string path = arg;
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
      path = path.substr(1, path.size() - 2);
    }
    if (path.empty() && line.error.empty()) {
      line.error = "パターンファイルのパスが空です。";
      continue;
    }
    line.patterns.push_back(std::move(path));
  }
  if (help) {
    line.action = CommandLine::Action::kHelp;
  } else if (version) {
    line.action = CommandLine::Action::kVersion;
  } else if (!line.error.empty()) {
    line.action = CommandLine::Action::kWrongArguments;
  } else if (!line.patterns.empty()) {
    line.action = CommandLine::Action::kRun;
  }
  return line;
}

std::string UsageText() {
  return "使い方: kestrin [--batch] [-q] [パターンファイル.kst ...]\n"
         "\n"
         "  パターンファイルなし  ウィンドウを開きます。\n"
         "  パターンファイルあり  ウィンドウを表示せずに、パターンごとに出力を行って終了します。\n"
         "                        複数のパターンは順に、ひとつのオフィスで実行します。\n"
         "  --batch               画面があっても、メッセージを標準エラーに 1 行ずつ出し、\n"
         "                        確認を待ちません。画面がないとき (DISPLAY も WAYLAND_DISPLAY\n"
         "                        もないとき) は常にこの動作です。出力を終えたパターンの\n"
         "                        メッセージは標準出力に、それ以外は標準エラーに出します。\n"
         "  -q, --quiet           出力を終えたパターンのメッセージと進み具合を出さず、\n"
         "                        エラーだけを出します。\n"
         "  --help                この説明を表示します。\n"
         "  --version             版を表示します。\n"
         "\n"
         "終了コード:\n"
         "  0  すべてのパターンでレコードを出力しました。\n"
         "  1  出力されなかったパターンがあります (確認のメッセージまたはエラー)。\n"
         "  2  読めないパターンファイルがあるか、引数が正しくありません。\n"
         "\n"
         "環境変数:\n"
         "  KESTRIN_OFFICE_PIPE     使う LibreOffice のパイプ名 (既定: kestrin_office_<uid>)\n"
         "  KESTRIN_OFFICE_PROFILE  起動する LibreOffice のプロファイルフォルダ\n"
         "                          (既定: ~/.cache/kestrin/office-profile)\n"
         "  KESTRIN_WINDOWS_PATHS   Windows のパスを読み替える対応表のファイル\n"
         "                          (既定: ~/.config/kestrin/windows-paths)\n";
}

std::string VersionText() {
  return std::string("kestrin ") + KESTRIN_VERSION + "\n" + "Copyright (C) " + KESTRIN_COPYRIGHT +
         "\n" + KESTRIN_LICENCE + "\n";
}

Environment ProcessEnvironment() {
  return [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  };
}

bool IsBatchRun(bool batch_option, const Environment& env) {
  if (batch_option) return true;
  if (env("DISPLAY").empty() && env("WAYLAND_DISPLAY").empty()) return true;
  return env("QT_QPA_PLATFORM").rfind("offscreen", 0) == 0;
}

automation::uno::UnoOptions OfficeOptions(const Environment& env) {
  automation::uno::UnoOptions options;
  options.pipe_name = env("KESTRIN_OFFICE_PIPE");
  options.profile_dir = env("KESTRIN_OFFICE_PROFILE");
  return options;
}

ConsoleProgress::ConsoleProgress(std::FILE* out, bool draw, Clock clock)
    : out_(out), draw_(draw), clock_(std::move(clock)) {}

void ConsoleProgress::SetMaxCountCaption(const std::string& caption) {
  total_ = caption;
  count_.clear();
}

void ConsoleProgress::SetCountCaption(const std::string& caption) {
  count_ = caption;
  if (!draw_) return;
  auto now = clock_();
  if (line_open_ && now - last_draw_ < kDrawInterval && !ReachedTotal()) return;
  last_draw_ = now;
  Draw();
}

void ConsoleProgress::Draw() {
  std::fprintf(out_, "\r%s: %s / %s 件\x1b[K", ui::kTitle, count_.c_str(), total_.c_str());
  std::fflush(out_);
  line_open_ = true;
}

void ConsoleProgress::EndLine() {
  if (!line_open_) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  line_open_ = false;
}

void ConsoleProgress::Reset() {
  EndLine();
  total_.clear();
  count_.clear();
}

std::string ConsoleLine(const std::string& prompt, const std::string& title) {
  std::string line = title + ": ";
  for (std::size_t i = 0; i < prompt.size(); ++i) {
    char c = prompt[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < prompt.size() && prompt[i + 1] == '\n') ++i;
      line += ' ';
    } else {
      line += c;
    }
  }
  return line;
}

void ConsoleMessageBox::Show(const std::string& prompt, const std::string& title) {
  if (progress_) progress_->EndLine();
  std::string line = ConsoleLine(prompt, title) + "\n";
  std::fputs(line.c_str(), out_);
  std::fflush(out_);
}

}  // namespace kestrin::app
