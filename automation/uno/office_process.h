// A private office process started by this program.
//
// The office is started from an argument list (never through a shell) in a
// process group of its own, with standard input from /dev/null and standard
// output and error appended to a log file. The launcher forks the office
// proper, which stays in the same group, so Kill() ends both.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "automation/uno/office_paths.h"

namespace kestrin::automation::uno {

class OfficeProcess {
 public:
  // Starts `program` with `args` (argv[1...]) and the current environment
  // plus `env_overrides` ("NAME=value" entries replace same-named ones).
  // Throws AutomationError 429 when the program cannot be started.
  OfficeProcess(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::string>& env_overrides, const std::filesystem::path& log);
  OfficeProcess(const OfficeProcess&) = delete;
  OfficeProcess& operator=(const OfficeProcess&) = delete;
  // Leaves a running office running (it may hold the user's visible
  // workbook); only reaps it when it has already ended.
  ~OfficeProcess();

  pid_t pid() const { return pid_; }
  // False once the launcher has ended (the office has ended or crashed).
  bool Alive();
  // Exit status as waitpid reports it, once !Alive().
  int status() const { return status_; }
  // Waits up to `limit` for the launcher to end; true when it has.
  bool WaitExit(std::chrono::milliseconds limit);
  // Sends SIGKILL to the whole process group and reaps the launcher.
  void Kill();

 private:
  pid_t pid_ = -1;
  // Kill() may run on a watchdog thread while the owner polls Alive().
  std::atomic<bool> reaped_{false};
  std::atomic<int> status_{0};
};

// Processes of this user whose command line holds each of `args` as one
// argument: an office started with them (its launcher and the office proper).
std::vector<pid_t> ProcessesWithArgs(const std::vector<std::string>& args);

// How long the process has been running; zero when that cannot be read.
std::chrono::milliseconds ProcessAge(pid_t pid);

// Waits up to `limit` until each process has ended (a zombie counts, its
// parent reaps it); true when they have.
bool WaitGone(const std::vector<pid_t>& pids, std::chrono::milliseconds limit);

// Sends SIGKILL to each process and waits up to `limit` until all have
// ended; true when they have.
bool KillAndWait(const std::vector<pid_t>& pids, std::chrono::milliseconds limit);

// The socket file an office listening on `pipe` makes, as the office's own
// routines place it (PipeSocketPath); none when they cannot make one.
std::vector<std::filesystem::path> PipeSocketPaths(const std::string& pipe);

// True when one of those files is there as a socket: an office made it, and
// may still be listening.
bool PipeHasSocket(const std::string& pipe);

// Throws AutomationError 429 when a file on the pipe's path is not a socket
// of this user: someone else could listen there and receive what the
// program sends to its office.
void CheckPipeOwner(const std::string& pipe);

// The last `max_bytes` of a log file, for error descriptions.
std::string LogTail(const std::filesystem::path& log, std::size_t max_bytes = 600);

}  // namespace kestrin::automation::uno
