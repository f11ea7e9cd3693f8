#include "automation/uno/office_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "automation/failure.h"
#include "automation/messages.h"

extern char** environ;

namespace kestrin::automation::uno {

OfficeProcess::OfficeProcess(const std::string& program, const std::vector<std::string>& args,
                             const std::vector<std::string>& env_overrides,
                             const std::filesystem::path& log) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& o : env_overrides) replaced |= o.compare(0, name.size() + 1, name + "=") == 0;
    if (!replaced) env.push_back(entry);
  }
  env.insert(env.end(), env_overrides.begin(), env_overrides.end());

  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setpgroup(&attr, 0);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  int rc = posix_spawn(&pid_, program.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    throw AutomationError(errnum::kCannotCreate,
                          msg::kCannotStartProgram({program, SystemErrorWords(rc)}));
  }
}

OfficeProcess::~OfficeProcess() { Alive(); }

bool OfficeProcess::Alive() {
  if (reaped_) return false;
  int status = 0;
  pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_ || (r < 0 && errno == ECHILD)) {
    reaped_ = true;
    status_ = status;
    return false;
  }
  return true;
}

bool OfficeProcess::WaitExit(std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (Alive()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

void OfficeProcess::Kill() {
  if (pid_ > 0) kill(-pid_, SIGKILL);
  if (!reaped_) {
    int status = 0;
    if (waitpid(pid_, &status, 0) == pid_) status_ = status;
    reaped_ = true;
  }
}

std::vector<pid_t> ProcessesWithArgs(const std::vector<std::string>& args) {
  std::vector<pid_t> found;
  std::error_code ec;
  const uid_t me = getuid();
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    struct stat st {};
    if (stat(entry.path().c_str(), &st) != 0 || st.st_uid != me) continue;
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    std::vector<std::string> argv;
    for (std::string arg; std::getline(in, arg, '\0');) argv.push_back(arg);
    bool all = !argv.empty();
    for (const auto& a : args) all = all && std::find(argv.begin(), argv.end(), a) != argv.end();
    if (all) found.push_back(static_cast<pid_t>(std::stol(name)));
  }
  return found;
}

std::chrono::milliseconds ProcessAge(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return {};
  // Fields after the command name, which is in parentheses and may hold
  // blanks: the start time is field 22 of the line, the 20th after ')'.
  std::istringstream rest(line.substr(line.rfind(')') + 1));
  std::string field;
  for (int i = 0; i < 20 && rest >> field; ++i) {
  }
  double uptime = 0;
  std::ifstream("/proc/uptime") >> uptime;
  const long ticks = sysconf(_SC_CLK_TCK);
  if (field.empty() || ticks <= 0 || uptime <= 0) return {};
  const double age = uptime - std::stod(field) / static_cast<double>(ticks);
  return std::chrono::milliseconds(age > 0 ? static_cast<long long>(age * 1000) : 0);
}

bool KillAndWait(const std::vector<pid_t>& pids, std::chrono::milliseconds limit) {
  for (pid_t pid : pids) kill(pid, SIGKILL);
  return WaitGone(pids, limit);
}

bool WaitGone(const std::vector<pid_t>& pids, std::chrono::milliseconds limit) {
  auto ended = [](pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    // A zombie ('Z') has ended; its parent reaps it.
    return !std::getline(stat, line) || line.find(") Z") != std::string::npos;
  };
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    if (std::all_of(pids.begin(), pids.end(), ended)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::vector<std::filesystem::path> PipeSocketPaths(const std::string& pipe) {
  std::filesystem::path path = PipeSocketPath(pipe);
  if (path.empty()) return {};
  return {path};
}

bool PipeHasSocket(const std::string& pipe) {
  const auto paths = PipeSocketPaths(pipe);
  return std::any_of(paths.begin(), paths.end(), [](const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_socket(std::filesystem::symlink_status(p, ec));
  });
}

void CheckPipeOwner(const std::string& pipe) {
  for (const auto& path : PipeSocketPaths(pipe)) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) continue;
    if (st.st_uid != getuid()) {
      throw AutomationError(errnum::kCannotCreate,
                            msg::kPipeNotOurs({pipe, path.string(), std::to_string(st.st_uid)}));
    }
    if (!S_ISSOCK(st.st_mode)) {
      throw AutomationError(errnum::kCannotCreate, msg::kPipeNotSocket({pipe, path.string()}));
    }
  }
}

std::string LogTail(const std::filesystem::path& log, std::size_t max_bytes) {
  std::ifstream in(log, std::ios::binary);
  if (!in) return {};
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  std::streamoff from = size > static_cast<std::streamoff>(max_bytes) ? size - max_bytes : 0;
  in.seekg(from);
  std::string text(static_cast<size_t>(size - from), '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace kestrin::automation::uno
