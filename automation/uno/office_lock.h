// The lock file an office keeps beside a document it has open for editing:
// "<folder>/.~lock.<file name>#", one line of comma-separated fields ended
// by ';' (a backslash escapes ',', ';' and itself):
//   author, system user, host, "DD.MM.YYYY HH:MM", profile URL
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kestrin::automation::uno {

struct OfficeLock {
  std::string author;  // the name set in that office, often empty
  std::string user;    // the system user
  std::string host;
  std::string since;  // as written: "07.12.2026 16:30"
  std::string profile_url;
};

std::filesystem::path LockFilePath(const std::filesystem::path& document);

// Parses one lock file's text; nullopt when it has fewer than four fields.
std::optional<OfficeLock> ParseOfficeLock(const std::string& text);

// The lock beside `document`, or nullopt when there is none or it cannot be
// read or parsed.
std::optional<OfficeLock> ReadOfficeLock(const std::filesystem::path& document);

// True when the lock was taken by this user on this host (host names are
// compared up to their first dot, ignoring case): an office of ours, running
// or one that ended without removing it.
bool TakenByUs(const OfficeLock& lock);

// "alice (Alice Smith) on host pc2 since 2026-12-07 16:30", for messages.
std::string Holder(const OfficeLock& lock);

}  // namespace kestrin::automation::uno
