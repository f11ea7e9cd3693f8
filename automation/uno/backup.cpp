#include "automation/uno/backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <system_error>
#include <vector>

#include "automation/failure.h"
#include "automation/messages.h"
#include "automation/uno/user_dirs.h"

namespace kestrin::automation::uno {
namespace fs = std::filesystem;

namespace {

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
    throw AutomationError(errnum::kAppDefined, msg::kBackupMissing({workbook.string()}));
  }
  try {
    MakePrivateDir(dir);
  } catch (const AutomationError& e) {
    throw AutomationError(e.number(), msg::kNotSaved({e.description()}));
  }
  const std::string stem = workbook.stem().string();
  const std::string ext = workbook.extension().string();
  const std::string base = stem + "-" + Stamp(now);
  auto failed = [&](const std::string& why) {
    return AutomationError(
        errnum::kAppDefined,
        msg::kNotSaved({msg::kBackupFailed({workbook.string(), dir.string(), why})}));
  };

  // The copy is made under a temporary name and given its backup name only
  // once complete, so that a copy cut short never looks like a backup.
  std::string temp = (dir / ".kestrin-partial-XXXXXX").string();
  const int fd = mkstemp(temp.data());
  if (fd < 0) throw failed(SystemErrorWords(errno));
  struct RemoveTemp {
    std::string path;
    ~RemoveTemp() {
      if (!path.empty()) unlink(path.c_str());
    }
  } remove_temp{temp};
  close(fd);
  fs::copy_file(workbook, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec && fs::file_size(temp, ec) != fs::file_size(workbook)) {
    ec = std::make_error_code(std::errc::io_error);
  }
  if (!ec) {
    // The copy takes the workbook's mode: the backup is for the user alone.
    const int sync_fd = open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (sync_fd < 0 || fchmod(sync_fd, 0600) != 0 || fsync(sync_fd) != 0) {
      ec = std::error_code(errno, std::generic_category());
    }
    if (sync_fd >= 0) close(sync_fd);
  }
  if (ec) throw failed(SystemErrorWords(ec.value()));
  // link() never replaces a file: a name taken meanwhile gets the next number.
  fs::path target = dir / (base + ext);
  for (int n = 2;; ++n) {
    if (link(temp.c_str(), target.c_str()) == 0) break;
    if (errno == EPERM || errno == EOPNOTSUPP) {  // a file system without links
      if (!fs::exists(target, ec)) {
        if (std::rename(temp.c_str(), target.c_str()) != 0) throw failed(SystemErrorWords(errno));
        remove_temp.path.clear();
        break;
      }
    } else if (errno != EEXIST) {
      throw failed(SystemErrorWords(errno));
    }
    target = dir / (base + "-" + std::to_string(n) + ext);
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
