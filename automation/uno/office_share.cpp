#include "automation/uno/office_share.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "automation/failure.h"
#include "automation/messages.h"
#include "automation/uno/office_process.h"

namespace kestrin::automation::uno {
namespace {

constexpr off_t kShareByte = 0;
constexpr off_t kTurnByte = 1;

// The shares this process holds, for leaving them all when a signal ends
// the run: the one process-wide list the program keeps, as a signal is.
std::mutex& SharesMutex() {
  static std::mutex mutex;
  return mutex;
}
std::vector<OfficeShare*>& Shares() {
  static std::vector<OfficeShare*> shares;
  return shares;
}

constexpr std::string_view kInstallationArg = "-env:UserInstallation=";

}  // namespace

std::filesystem::path OfficeShareFile(const std::filesystem::path& profile_dir) {
  return profile_dir / "office-runs.lock";
}

OfficeShare::OfficeShare(int fd, std::vector<std::string> office_args)
    : fd_(fd), office_args_(std::move(office_args)) {
  std::lock_guard<std::mutex> lock(SharesMutex());
  Shares().push_back(this);
}

OfficeShare::~OfficeShare() {
  {
    std::lock_guard<std::mutex> lock(SharesMutex());
    std::erase(Shares(), this);
  }
  ::close(fd_);
}

std::vector<std::string> OfficeShare::LeaveAllOnInterrupt(std::chrono::milliseconds limit) {
  std::lock_guard<std::mutex> lock(SharesMutex());
  std::vector<std::string> ended;
  for (OfficeShare* share : Shares()) {
    const std::vector<std::string>& args = share->office_args_;
    auto kill = [&] { KillAndWait(ProcessesWithArgs(args), std::chrono::seconds(10)); };
    if (!share->Leave(share->started_ > 0 ? Wish::kEnd : Wish::kNone, kill, limit)) continue;
    for (const std::string& arg : args) {
      if (arg.starts_with(kInstallationArg)) ended.push_back(arg.substr(kInstallationArg.size()));
    }
  }
  return ended;
}

std::unique_ptr<OfficeShare> OfficeShare::TakeTurn(const std::filesystem::path& file,
                                                   std::vector<std::string> office_args,
                                                   std::chrono::milliseconds limit) {
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    throw AutomationError(errnum::kCannotCreate,
                          msg::kShareLockUnopened({file.string(), SystemErrorWords(errno)}));
  }
  std::unique_ptr<OfficeShare> share(new OfficeShare(fd, std::move(office_args)));
  if (!share->Lock(F_WRLCK, kTurnByte, limit)) {
    throw AutomationError(errnum::kCannotCreate,
                          msg::kShareBusy({std::to_string(limit.count() / 1000), file.string()}));
  }
  share->turn_ = true;
  return share;
}

bool OfficeShare::Lock(short type, off_t byte, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    if (fcntl(fd_, F_OFD_SETLK, &lock) == 0) return true;
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void OfficeShare::Unlock(off_t byte) {
  struct flock lock {};
  lock.l_type = F_UNLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  fcntl(fd_, F_OFD_SETLK, &lock);
}

void OfficeShare::Join() {
  // Only a leaving run holds the share byte exclusively, and it holds the
  // turn meanwhile: with the turn this never waits.
  joined_ = Lock(F_RDLCK, kShareByte, std::chrono::seconds(5));
}

void OfficeShare::Started(pid_t launcher) {
  started_ = launcher;
  SetWished(-1);
}

void OfficeShare::EndTurn() {
  if (turn_) Unlock(kTurnByte);
  turn_ = false;
}

pid_t OfficeShare::Wished() const {
  char text[32] = {};
  const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
  if (n <= 0) return -1;
  const long pid = std::strtol(text, nullptr, 10);
  return pid > 0 ? static_cast<pid_t>(pid) : -1;
}

void OfficeShare::SetWished(pid_t pid) {
  const std::string text = pid > 0 ? std::to_string(pid) + "\n" : "";
  if (::ftruncate(fd_, 0) == 0 && !text.empty()) {
    [[maybe_unused]] ssize_t n = ::pwrite(fd_, text.data(), text.size(), 0);
  }
}

bool OfficeShare::Leave(Wish wish, const std::function<void()>& end,
                        std::chrono::milliseconds limit) {
  if (!turn_ && !Lock(F_WRLCK, kTurnByte, limit)) {
    // Nobody answers for the office now; this run lets it be.
    EndTurn();
    return false;
  }
  turn_ = true;
  // The last run holding a share can make its share exclusive.
  const bool last = Lock(F_WRLCK, kShareByte, std::chrono::milliseconds::zero());
  bool ended = false;
  if (wish == Wish::kKeep) {
    SetWished(-1);
  } else if (!last) {
    if (wish == Wish::kEnd) SetWished(started_);
  } else if (wish == Wish::kEnd) {
    end();
    SetWished(-1);
    ended = true;
  } else if (const pid_t wished = Wished(); wished > 0) {
    const std::vector<pid_t> office = ProcessesWithArgs(office_args_);
    if (std::find(office.begin(), office.end(), wished) != office.end()) {
      end();
      ended = true;
      if (!WaitGone({wished}, std::chrono::seconds(15))) {
        KillAndWait(ProcessesWithArgs(office_args_), std::chrono::seconds(10));
      }
    }
    SetWished(-1);
  }
  Unlock(kShareByte);
  joined_ = false;
  EndTurn();
  return ended;
}

}  // namespace kestrin::automation::uno
