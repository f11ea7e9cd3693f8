#include "automation/uno/office_lock.h"

#include <pwd.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "automation/messages.h"

namespace kestrin::automation::uno {
namespace fs = std::filesystem;

namespace {

std::string HostPart(const std::string& host) {
  std::string part = host.substr(0, host.find('.'));
  for (char& c : part) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return part;
}

std::string OwnUserName() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    return found->pw_name;
  }
  return {};
}

std::string OwnHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace

fs::path LockFilePath(const fs::path& document) {
  return document.parent_path() / (".~lock." + document.filename().string() + "#");
}

std::optional<OfficeLock> ParseOfficeLock(const std::string& text) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      fields.back() += text[++i];
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c == ';' || c == '\n' || c == '\r') {
      break;
    } else {
      fields.back() += c;
    }
  }
  if (fields.size() < 4) return std::nullopt;
  OfficeLock lock{fields[0], fields[1], fields[2], fields[3], ""};
  if (fields.size() > 4) lock.profile_url = fields[4];
  return lock;
}

std::optional<OfficeLock> ReadOfficeLock(const fs::path& document) {
  std::ifstream in(LockFilePath(document), std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParseOfficeLock(text);
}

bool TakenByUs(const OfficeLock& lock) {
  const std::string user = OwnUserName();
  return !user.empty() && lock.user == user && HostPart(lock.host) == HostPart(OwnHostName());
}

std::string Holder(const OfficeLock& lock) {
  std::string who = lock.user.empty() ? msg::kHolderUnnamed() : msg::kHolderUser({lock.user});
  if (!lock.author.empty() && lock.author != lock.user)
    who = msg::kHolderAuthor({who, lock.author});
  if (!lock.host.empty()) who = msg::kHolderHost({lock.host, who});
  // "07.12.2026 16:30" -> "2026-12-07 16:30"; any other form as written.
  const std::string& s = lock.since;
  if (s.size() >= 10 && s[2] == '.' && s[5] == '.') {
    who = msg::kHolderSince(
        {who, s.substr(6, 4) + "-" + s.substr(3, 2) + "-" + s.substr(0, 2) + s.substr(10)});
  } else if (!s.empty()) {
    who = msg::kHolderSince({who, s});
  }
  return who;
}

}  // namespace kestrin::automation::uno
