#include "automation/uno/user_dirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "automation/failure.h"
#include "automation/messages.h"

namespace kestrin::automation::uno {
namespace fs = std::filesystem;

namespace {

constexpr ErrorNumber kFailed = errnum::kAppDefined;

std::string UserName(uid_t uid) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return msg::kFolderUid({std::to_string(uid)});
}

[[noreturn]] void Refuse(const fs::path& dir, const std::string& why) {
  throw AutomationError(kFailed, msg::kFolderRefused({dir.string(), why}));
}

// The folder exists or is made here; it must then be this user's own.
void CheckOwn(const fs::path& dir) {
  struct stat link {};
  if (lstat(dir.c_str(), &link) != 0) Refuse(dir, SystemErrorWords(errno));
  const uid_t me = geteuid();
  if (link.st_uid != me) Refuse(dir, msg::kFolderOwner({UserName(link.st_uid)}));
  struct stat target = link;
  if (S_ISLNK(link.st_mode) && stat(dir.c_str(), &target) != 0) {
    Refuse(dir, msg::kFolderBadLink({SystemErrorWords(errno)}));
  }
  if (!S_ISDIR(target.st_mode)) Refuse(dir, msg::kFolderNotFolder());
  if (target.st_uid != me) Refuse(dir, msg::kFolderLeadsTo({UserName(target.st_uid)}));
  if ((target.st_mode & S_IWOTH) != 0) Refuse(dir, msg::kFolderWorldWritable());
}

}  // namespace

fs::path CacheHome() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') return fs::path(xdg);
  return HomeDir() / ".cache";
}

void MakePrivateDir(const fs::path& dir, std::size_t own_levels) {
  const fs::path absolute = fs::absolute(dir).lexically_normal();
  std::vector<fs::path> chain;  // from the root down to `absolute`
  for (fs::path p = absolute; !p.empty() && p != p.root_path(); p = p.parent_path()) {
    chain.insert(chain.begin(), p);
    if (p.parent_path() == p) break;
  }
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const bool own = i + own_levels >= chain.size();
    if (mkdir(chain[i].c_str(), 0700) == 0) {
      chmod(chain[i].c_str(), 0700);  // whatever the umask took away or left
    } else if (errno != EEXIST) {
      throw AutomationError(kFailed,
                            msg::kCannotCreateFolder({chain[i].string(), SystemErrorWords(errno)}));
    }
    if (own) CheckOwn(chain[i]);
  }
}

fs::path PrivateCacheDir(const std::string& name) {
  fs::path dir = CacheHome() / "kestrin" / name;
  MakePrivateDir(dir, 2);
  return dir;
}

}  // namespace kestrin::automation::uno
