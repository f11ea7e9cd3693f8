#include "automation/user_home.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "automation/failure.h"

namespace kestrin::automation {

std::filesystem::path HomeDir() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::filesystem::path(home);
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return std::filesystem::path(found->pw_dir);
  }
  throw AutomationError(1004,
                        "Cannot tell your home folder: HOME is not set and the user database has "
                        "no home folder for you");
}

}  // namespace kestrin::automation
