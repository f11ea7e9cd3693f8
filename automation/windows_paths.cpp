#include "automation/windows_paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "automation/letter_case.h"
#include "automation/user_home.h"

namespace kestrin::automation {
namespace {

namespace fs = std::filesystem;

// DAO's "'…' isn't a valid path."
constexpr std::int32_t kInvalidPath = 3044;
// A mapping file longer than this is no mapping file.
constexpr std::size_t kMaxMapFileSize = 1 << 20;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A Windows path taken apart: its root and the names below it, with "." and
// ".." resolved as Windows resolves them (never above the root).
struct WindowsPath {
  std::string root;  // "C:" or "\\server\share"
  std::vector<std::string> names;
};

std::optional<WindowsPath> Split(std::string_view s) {
  WindowsPath p;
  std::size_t at = 0;
  if (s.size() >= 2 && IsAsciiLetter(s[0]) && s[1] == ':') {
    p.root = {static_cast<char>(s[0] & ~0x20), ':'};
    at = 2;
  } else if (s.size() >= 2 && IsSeparator(s[0]) && IsSeparator(s[1])) {
    // \\server\share: two names, neither empty.
    std::size_t server_end = 2;
    while (server_end < s.size() && !IsSeparator(s[server_end])) ++server_end;
    std::size_t share_end = server_end + 1;
    while (share_end < s.size() && !IsSeparator(s[share_end])) ++share_end;
    if (server_end == 2 || server_end >= s.size() || share_end == server_end + 1) {
      return std::nullopt;
    }
    p.root = "\\\\" + std::string(s.substr(2, server_end - 2)) + "\\" +
             std::string(s.substr(server_end + 1, share_end - server_end - 1));
    at = share_end;
  } else {
    return std::nullopt;
  }
  while (at < s.size()) {
    std::size_t end = at;
    while (end < s.size() && !IsSeparator(s[end])) ++end;
    const std::string_view name = s.substr(at, end - at);
    if (name == "..") {
      if (!p.names.empty()) p.names.pop_back();
    } else if (!name.empty() && name != ".") {
      p.names.emplace_back(name);
    }
    at = end + 1;
  }
  return p;
}

std::string Joined(const WindowsPath& p) {
  std::string s = p.root;
  for (const std::string& n : p.names) s += "\\" + n;
  return s;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return LowerLetters(a) == LowerLetters(b);
}

bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t len = lead < 0x80   ? 1
                            : lead < 0xC2 ? 0
                            : lead < 0xE0 ? 2
                            : lead < 0xF0 ? 3
                            : lead < 0xF5 ? 4
                                          : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (std::size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

// The file at folder/names[0]/names[1]/…, each name matched without regard
// to case when no entry has it exactly; nothing when a name matches no
// entry, or several that differ only in case.
std::optional<fs::path> FindIgnoringCase(const fs::path& folder,
                                         const std::vector<std::string>& names) {
  fs::path at = folder;
  for (const std::string& name : names) {
    std::error_code ec;
    if (fs::exists(at / name, ec)) {
      at /= name;
      continue;
    }
    const std::string key = LowerLetters(name);
    std::optional<fs::path> match;
    for (fs::directory_iterator it(at, ec), end; !ec && it != end; it.increment(ec)) {
      if (LowerLetters(it->path().filename().string()) != key) continue;
      if (match) return std::nullopt;
      match = it->path();
    }
    if (!match) return std::nullopt;
    at = *match;
  }
  if (!IsFile(at)) return std::nullopt;
  return at;
}

std::string LocalPath(const std::string& folder, const std::vector<std::string>& names) {
  std::string s = folder;
  for (const std::string& n : names) s += "/" + n;
  return s;
}

std::string FileName(const std::string& stored) {
  std::size_t at = stored.size();
  while (at > 0 && !IsSeparator(stored[at - 1])) --at;
  return stored.substr(at);
}

// A Windows path mapped: the folder of its longest matching prefix, and the
// names below that prefix.
struct Mapped {
  std::string folder;
  std::vector<std::string> names;
};

std::optional<Mapped> Map(const std::vector<WindowsPathMap::Entry>& entries,
                          const WindowsPath& path) {
  const WindowsPathMap::Entry* best = nullptr;
  std::size_t best_names = 0;
  for (const WindowsPathMap::Entry& e : entries) {
    const std::optional<WindowsPath> prefix = Split(e.prefix);
    if (!SameIgnoringCase(prefix->root, path.root) || prefix->names.size() > path.names.size()) {
      continue;
    }
    bool match = true;
    for (std::size_t i = 0; match && i < prefix->names.size(); ++i) {
      match = SameIgnoringCase(prefix->names[i], path.names[i]);
    }
    if (match && (best == nullptr || prefix->names.size() > best_names)) {
      best = &e;
      best_names = prefix->names.size();
    }
  }
  if (best == nullptr) return std::nullopt;
  return Mapped{best->folder, std::vector<std::string>(
                                  path.names.begin() + static_cast<std::ptrdiff_t>(best_names),
                                  path.names.end())};
}

}  // namespace

PathMapError::PathMapError(std::string description)
    : AutomationError(kInvalidPath, std::move(description)) {}

WindowsPathMap WindowsPathMap::Parse(std::string_view text, const std::string& file) {
  WindowsPathMap map;
  map.file_ = file;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  int number = 0;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto fail = [&](const std::string& why) {
      throw PathMapError("The Windows path mapping " + file + ", line " + std::to_string(number) +
                         ": " + why);
    };
    if (!ValidUtf8(line)) fail("the line is not UTF-8 text");
    line = Trimmed(line);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      fail("\"" + std::string(line) + "\" has no \"=\"; write: Windows prefix = folder");
    }
    const std::string_view left = Trimmed(line.substr(0, eq));
    std::string_view right = Trimmed(line.substr(eq + 1));
    const std::optional<WindowsPath> prefix = Split(left);
    if (!prefix) {
      fail("\"" + std::string(left) +
           "\" is no drive letter (C:) or \\\\server\\share name, with or without folders "
           "below it");
    }
    if (right.empty() || right.front() != '/') {
      fail("the folder \"" + std::string(right) + "\" for " + std::string(left) +
           " is not an absolute path (one starting with /)");
    }
    while (right.size() > 1 && right.back() == '/') right.remove_suffix(1);
    const std::string written = Joined(*prefix);
    for (const Entry& e : map.entries_) {
      if (SameIgnoringCase(e.prefix, written)) {
        fail(written + " is mapped already on line " + std::to_string(e.line));
      }
    }
    map.entries_.push_back({written, std::string(right), number});
  }
  return map;
}

std::string WindowsPathsFile() {
  const char* named = std::getenv(kWindowsPathsVariable);
  if (named != nullptr && named[0] != '\0') return named;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const fs::path config = xdg != nullptr && xdg[0] == '/' ? fs::path(xdg) : HomeDir() / ".config";
  return (config / "kestrin" / "windows-paths").string();
}

WindowsPathMap WindowsPathMap::Load() {
  const char* named = std::getenv(kWindowsPathsVariable);
  const bool chosen = named != nullptr && named[0] != '\0';
  std::string file;
  try {
    file = WindowsPathsFile();
  } catch (const AutomationError&) {
    return {};  // no home folder: no mapping file of the user's
  }
  auto cannot_read = [&](const std::string& why) {
    return PathMapError("The Windows path mapping " + file +
                        (chosen ? std::string(" (named by ") + kWindowsPathsVariable + ")" : "") +
                        " cannot be read: " + why);
  };
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (!fs::exists(status)) {
    if (!chosen) {
      WindowsPathMap none;
      none.file_ = file;
      return none;
    }
    throw cannot_read(std::strerror(ENOENT));
  }
  if (!fs::is_regular_file(status)) throw cannot_read("it is not an ordinary file");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw cannot_read(std::strerror(errno));
  std::string text(kMaxMapFileSize + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) throw cannot_read("a read failed");
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kMaxMapFileSize) throw cannot_read("it is longer than 1 MB");
  return Parse(text, file);
}

std::optional<std::string> WindowsPathMap::Rewrite(std::string_view windows_path) const {
  const std::optional<WindowsPath> path = Split(windows_path);
  if (!path) return std::nullopt;
  const std::optional<Mapped> mapped = Map(entries_, *path);
  if (!mapped) return std::nullopt;
  return LocalPath(mapped->folder, mapped->names);
}

std::string WindowsRoot(std::string_view path) {
  const std::optional<WindowsPath> p = Split(path);
  return p ? p->root : std::string();
}

StoredPathSearch LocateStoredPath(const std::string& stored,
                                  const std::function<WindowsPathMap()>& map,
                                  const std::string& beside) {
  StoredPathSearch search;
  search.tried.push_back(stored);
  if (!stored.empty() && IsFile(stored)) {
    search.found = stored;
    return search;
  }
  auto look = [&](const fs::path& folder, const std::vector<std::string>& names) {
    const std::string place = LocalPath(folder.string(), names);
    for (const std::string& t : search.tried) {
      if (t == place) return false;
    }
    search.tried.push_back(place);
    if (std::optional<fs::path> found = FindIgnoringCase(folder, names)) {
      search.found = found->string();
      return true;
    }
    return false;
  };
  if (const std::optional<WindowsPath> path = Split(stored)) {
    const WindowsPathMap mapping = map();
    if (const std::optional<Mapped> mapped = Map(mapping.entries(), *path)) {
      if (look(mapped->folder, mapped->names)) return search;
    } else {
      search.unmapped_root = path->root;
      search.map_file = mapping.file();
    }
  }
  const std::string name = FileName(stored);
  if (!beside.empty() && !name.empty() && name != "." && name != "..") {
    if (look(beside, {name})) return search;
  }
  return search;
}

StoredPathSearch LocateStoredPath(const std::string& stored, const std::string& beside) {
  return LocateStoredPath(stored, &WindowsPathMap::Load, beside);
}

}  // namespace kestrin::automation
