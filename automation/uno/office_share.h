// Runs of the program that share one office.
//
// Runs started together (cron entries of the same minute) reach the same
// office on the same pipe, and only one of them starts it. Each run holds a
// share of the office for as long as it uses it, and the office is ended
// only by the run that leaves it last:
// - the share is a read lock on byte 0 of a lock file in the office's
//   profile folder, held from attaching or starting until leaving;
// - the turn is a write lock on byte 1 of that file: one run at a time
//   attaches, starts an office, or leaves. Whoever starts an office keeps
//   the turn until the office answers, so that runs started together end up
//   with one office;
// - a run that leaves while others hold shares and wants the office ended
//   writes the office's process id into the file; the last run to leave
//   ends that office, provided it is still the office started with the same
//   arguments (a process of this user whose command line holds them all).
// The locks are open-file-description locks: they belong to this object,
// not to the process, and the system drops them when a run ends in any way.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrin::automation::uno {

class OfficeShare {
 public:
  // Opens (creating it, mode 0600) the lock file and waits up to `limit`
  // for the turn. `office_args` name an office that a run of the program
  // started (its pipe and profile arguments). Throws AutomationError 429
  // when the file cannot be opened or another run keeps the turn longer.
  static std::unique_ptr<OfficeShare> TakeTurn(const std::filesystem::path& file,
                                               std::vector<std::string> office_args,
                                               std::chrono::milliseconds limit);
  OfficeShare(const OfficeShare&) = delete;
  OfficeShare& operator=(const OfficeShare&) = delete;
  // Drops the share and the turn without ending anything.
  ~OfficeShare();

  // With the turn: a share of the office now attached or started.
  void Join();
  // With the turn: the office started by this run, whose launcher is
  // `launcher`; any wish about an earlier office is forgotten.
  void Started(pid_t launcher);
  // Lets other runs attach, start or leave.
  void EndTurn();

  enum class Wish {
    kEnd,   // this run started the office and would end it
    kKeep,  // the office shows the user a workbook: it stays
    kNone,  // this run only attached
  };
  // Leaves the office: waits up to `limit` for the turn, and when no other
  // run holds a share, calls `end` (holding the turn) if this run wants the
  // office ended, or, with kNone, if a run that left earlier wanted it ended
  // and that office still runs; such an office is killed when it has not
  // gone 15 s after `end`. A run that leaves before others with kEnd leaves
  // the ending to the last one; kKeep forgets such a wish. Returns whether
  // `end` was called. `end` must not throw; nothing here throws.
  bool Leave(Wish wish, const std::function<void()>& end, std::chrono::milliseconds limit);

  // For a run interrupted by a signal, from any thread: every share of this
  // process leaves its office at once as Leave() does, waiting up to `limit`
  // for the turn; an office this run started is ended (its processes
  // killed) unless another run still uses it, which then ends it as the
  // last to leave. Returns the user installation URLs of the offices ended,
  // as the office writes them into the lock files beside its documents.
  static std::vector<std::string> LeaveAllOnInterrupt(std::chrono::milliseconds limit);

 private:
  OfficeShare(int fd, std::vector<std::string> office_args);
  // Takes the lock on `byte`, trying for up to `limit` (zero: once).
  bool Lock(short type, off_t byte, std::chrono::milliseconds limit);
  void Unlock(off_t byte);
  pid_t Wished() const;
  void SetWished(pid_t pid);

  int fd_;
  std::vector<std::string> office_args_;
  pid_t started_ = -1;  // the launcher of the office this run started
  bool turn_ = false;
  bool joined_ = false;
};

// The lock file of the office whose profile folder is `profile_dir`.
std::filesystem::path OfficeShareFile(const std::filesystem::path& profile_dir);

}  // namespace kestrin::automation::uno
