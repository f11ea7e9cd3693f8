#include "automation/uno/backup.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <vector>

#include "automation/failure.h"

namespace kestrin::automation::uno {
namespace fs = std::filesystem;

namespace {

fs::path CacheHome() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') return fs::path(xdg);
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return fs::path(home) / ".cache";
  return fs::temp_directory_path();
}

std::string Stamp(std::chrono::system_clock::time_point now) {
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// For "<stem>-YYYYMMDD-HHMMSS[-n]<ext>" gives the sort key (stamp, n);
// false for any other name.
bool BackupKey(const std::string& name, const std::string& stem, const std::string& ext,
               std::pair<std::string, long>& key) {
  if (name.size() < stem.size() + 1 + 15 + ext.size()) return false;
  if (name.compare(0, stem.size() + 1, stem + "-") != 0) return false;
  if (name.compare(name.size() - ext.size(), ext.size(), ext) != 0) return false;
  std::string middle = name.substr(stem.size() + 1, name.size() - stem.size() - 1 - ext.size());
  std::string stamp = middle.substr(0, 15);
  if (stamp[8] != '-') return false;
  for (size_t i = 0; i < stamp.size(); ++i) {
    if (i != 8 && (stamp[i] < '0' || stamp[i] > '9')) return false;
  }
  long n = 1;
  if (middle.size() > 15) {
    std::string suffix = middle.substr(15);
    if (suffix.size() < 2 || suffix[0] != '-' || suffix.size() > 8) return false;
    if (!std::all_of(suffix.begin() + 1, suffix.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return false;
    n = std::stol(suffix.substr(1));
  }
  key = {stamp, n};
  return true;
}

}  // namespace

fs::path DefaultBackupDir() { return CacheHome() / "kestrin" / "backups"; }
fs::path DefaultProfileDir() { return CacheHome() / "kestrin" / "office-profile"; }

fs::path BackUpWorkbook(const fs::path& workbook, const fs::path& dir,
                        std::chrono::system_clock::time_point now, std::size_t keep) {
  std::error_code ec;
  if (!fs::is_regular_file(workbook, ec)) {
    throw AutomationError(
        1004, "Cannot back up '" + workbook.string() + "' before saving: the file is missing");
  }
  fs::create_directories(dir, ec);
  if (ec) {
    throw AutomationError(1004, "Cannot create the backup folder '" + dir.string() +
                                    "': " + ec.message() + "; the workbook was not saved");
  }
  const std::string stem = workbook.stem().string();
  const std::string ext = workbook.extension().string();
  const std::string base = stem + "-" + Stamp(now);
  fs::path target = dir / (base + ext);
  for (int n = 2; fs::exists(target, ec); ++n) {
    target = dir / (base + "-" + std::to_string(n) + ext);
  }
  fs::copy_file(workbook, target, fs::copy_options::none, ec);
  if (!ec && fs::file_size(target, ec) != fs::file_size(workbook)) {
    ec = std::make_error_code(std::errc::io_error);
  }
  if (ec) {
    fs::remove(target, ec);
    throw AutomationError(1004, "Cannot back up '" + workbook.string() + "' to '" +
                                    target.string() + "': " + ec.message() +
                                    "; the workbook was not saved");
  }

  std::vector<std::pair<std::pair<std::string, long>, fs::path>> backups;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::pair<std::string, long> key;
    if (BackupKey(entry.path().filename().string(), stem, ext, key)) {
      backups.emplace_back(key, entry.path());
    }
  }
  if (backups.size() > keep) {
    std::sort(backups.begin(), backups.end());
    for (size_t i = 0; i + keep < backups.size(); ++i) fs::remove(backups[i].second, ec);
  }
  return target;
}

}  // namespace kestrin::automation::uno
