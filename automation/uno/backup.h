// Copies of workbooks taken before they are saved over.
//
// A backup of "<folder>/Report.xls" taken at 2026-12-07 09:30:05 local time is
// "<backup folder>/Report-20261207-093005.xls"; a second one in the same
// second gets "-2", "-3", ... before the extension. After each copy only the
// newest `keep` backups of that workbook (same stem and extension) are kept;
// backups of other workbooks are not touched.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

namespace kestrin::automation::uno {

// The default backup folder: $XDG_CACHE_HOME/kestrin/backups when that
// variable holds an absolute path, else $HOME/.cache/kestrin/backups.
std::filesystem::path DefaultBackupDir();
// Same rule for the private office's profile: .../kestrin/office-profile.
std::filesystem::path DefaultProfileDir();

// Copies `workbook` into `dir` (created when missing) and prunes older
// backups. Returns the path of the copy. Throws AutomationError 1004 with the
// reason when the workbook cannot be read or the copy cannot be written
// completely; a failed pruning is not an error.
std::filesystem::path BackUpWorkbook(const std::filesystem::path& workbook,
                                     const std::filesystem::path& dir,
                                     std::chrono::system_clock::time_point now,
                                     std::size_t keep = 20);

}  // namespace kestrin::automation::uno
