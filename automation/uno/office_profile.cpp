#include "automation/uno/office_profile.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <vector>

#include "automation/messages.h"

namespace kestrin::automation::uno {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFile = "registrymodifications.xcu";
// The office keeps one setting per line, written as these are.
constexpr std::string_view kUiStart =
    R"(<item oor:path="/org.openoffice.Office.Linguistic/General"><prop oor:name="UILocale")";
constexpr std::string_view kJapaneseUi =
    R"(<item oor:path="/org.openoffice.Office.Linguistic/General"><prop oor:name="UILocale" oor:op="fuse"><value>ja</value></prop></item>)";
constexpr std::string_view kHeader =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    "\n"
    R"(<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">)";
constexpr std::string_view kEnd = "</oor:items>";
// The office's own locale, which it sorts by (pivot table items, for one),
// whatever locale its environment gives it.
constexpr std::string_view kLocaleStart =
    R"(<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale")";
constexpr std::string_view kJapaneseLocale =
    R"(<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse"><value>ja-JP</value></prop></item>)";
constexpr std::string_view kVersionStart =
    R"(<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion")";

// What becomes of one setting: `item` is put in place of any line starting
// with `start`, or added; or, with `remove`, only a line equal to `item` is
// taken out.
struct Edit {
  std::string_view start;
  std::string_view item;
  bool remove = false;
};

// Applies `edit` to the lines of a settings file; true when they changed.
bool Apply(std::vector<std::string>& lines, const Edit& edit) {
  bool changed = false, found = false;
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    size_t start = line.find(edit.start);
    size_t stop = start == std::string::npos ? start : line.find("</item>", start);
    if (stop == std::string::npos) {
      out.push_back(line);
      continue;
    }
    found = true;
    stop += std::string_view("</item>").size();
    // The line may also hold the end tag or, in theory, another setting.
    std::string before = line.substr(0, start), item = line.substr(start, stop - start),
                after = line.substr(stop);
    if (!before.empty()) out.push_back(before);
    if (!edit.remove) {
      changed |= item != edit.item;
      out.emplace_back(edit.item);
    } else if (item == edit.item) {
      changed = true;
    } else {
      out.push_back(item);
    }
    if (!after.empty()) out.push_back(after);
  }
  if (!edit.remove && !found) {
    size_t at = out.size();
    for (size_t i = 0; i < out.size(); ++i) {
      if (out[i].find(kEnd) != std::string::npos) at = i;
    }
    if (at == out.size()) {
      // Not a settings file the office wrote: start it afresh.
      out = {std::string(kHeader), std::string(kEnd)};
      at = 1;
    }
    // The end tag may share its line with the last setting.
    std::string end_line = out[at];
    size_t pos = end_line.find(kEnd);
    out.erase(out.begin() + static_cast<std::ptrdiff_t>(at));
    std::vector<std::string> replacement;
    if (pos > 0) replacement.push_back(end_line.substr(0, pos));
    replacement.emplace_back(edit.item);
    replacement.push_back(end_line.substr(pos));
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), replacement.begin(),
               replacement.end());
    changed = true;
  }
  lines = std::move(out);
  return changed;
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void WriteWhole(const fs::path& path, const std::string& text) {
  fs::path temp = path;
  temp += ".kestrin-new";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) Fail(msg::kCannotWriteFile({temp.string()}));
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      ::unlink(temp.c_str());
      errno = e;
      Fail(msg::kCannotWriteFile({temp.string()}));
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    errno = e;
    Fail(msg::kCannotWriteFile({temp.string()}));
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    errno = e;
    Fail(msg::kCannotReplaceFile({path.string()}));
  }
}

}  // namespace

std::string MessagesLocaleName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return "C";
}

bool IsUtf8Locale(const std::string& name) {
  locale_t locale = newlocale(LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return false;
  const bool utf8 = std::string_view(nl_langinfo_l(CODESET, locale)) == "UTF-8";
  freelocale(locale);
  return utf8;
}

std::string OfficeCharacterType() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] == '\0') continue;
    if (IsUtf8Locale(value)) return value;
    break;
  }
  return "C.UTF-8";
}

std::vector<std::string> OfficeLocaleEnvironment() {
  std::vector<std::string> env = {"LC_CTYPE=" + OfficeCharacterType()};
  const char* all = std::getenv("LC_ALL");
  if (all != nullptr && all[0] != '\0') {
    env.emplace_back("LC_ALL=");
    env.push_back("LC_MESSAGES=" + MessagesLocaleName());
  }
  return env;
}

bool IsJapaneseLocale(std::string_view name) {
  if (!name.starts_with("ja")) return false;
  return name.size() == 2 || name[2] == '_' || name[2] == '-' || name[2] == '.' || name[2] == '@';
}

std::string OfficeVersion(const fs::path& program_dir) {
  // The installation's own settings name it, as <value>7.4</value> in the
  // ooSetupVersion property of the Setup component's Product node.
  std::ifstream in(program_dir / ".." / "share" / "registry" / "main.xcd", std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  const size_t setup = text.find(R"(oor:name="Setup" oor:package="org.openoffice")");
  if (setup == std::string::npos) return "";
  const size_t prop = text.find(R"(<prop oor:name="ooSetupVersion">)", setup);
  if (prop == std::string::npos) return "";
  const size_t open = text.find("<value>", prop);
  const size_t close = open == std::string::npos ? open : text.find("</value>", open);
  if (close == std::string::npos || close - open > 40) return "";
  std::string version = text.substr(open + 7, close - open - 7);
  // Digits and dots only: the value goes into the profile's settings as it is.
  if (version.empty() || version.find_first_not_of("0123456789.") != std::string::npos) {
    return "";
  }
  return version;
}

void PrepareOfficeProfile(const fs::path& installation, bool japanese_ui,
                          std::string_view office_version) {
  const fs::path user_dir = installation / "user";
  const fs::path file = user_dir / kFile;
  std::vector<std::string> lines;
  {
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  bool changed = Apply(lines, Edit{kUiStart, kJapaneseUi, !japanese_ui});
  changed |= Apply(lines, Edit{kLocaleStart, kJapaneseLocale});
  if (!office_version.empty()) {
    const std::string mark = std::string(kVersionStart) + R"( oor:op="fuse"><value>)" +
                             std::string(office_version) + "</value></prop></item>";
    changed |= Apply(lines, Edit{kVersionStart, mark});
  }
  if (!changed) return;
  for (const fs::path& dir : {installation, user_dir}) {
    if (fs::is_directory(dir)) continue;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) throw std::system_error(ec, msg::kCannotMakeFolder({dir.string()}));
    ::chmod(dir.c_str(), 0700);
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  WriteWhole(file, text);
}

}  // namespace kestrin::automation::uno
