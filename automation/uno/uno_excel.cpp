#include "automation/uno/uno_excel.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include <com/sun/star/connection/NoConnectException.hpp>

#include "automation/messages.h"
#include "automation/uno/backup.h"
#include "automation/uno/office_display.h"
#include "automation/uno/office_profile.h"
#include "automation/uno/office_words.h"
#include "automation/uno/session.h"
#include "automation/uno/user_dirs.h"

namespace kestrin::automation::uno {
namespace {

namespace fs = std::filesystem;

// "5", "2.5": seconds.
std::string Seconds(std::chrono::milliseconds ms) {
  std::string text = std::to_string(ms.count() / 1000);
  if (ms.count() % 1000 != 0) text += "." + std::to_string(ms.count() % 1000 / 100);
  return text;
}

// The private office's profile folder, made when missing.
fs::path Profile(const UnoOptions& options) {
  try {
    if (options.profile_dir.empty()) return fs::absolute(PrivateCacheDir("office-profile"));
    MakePrivateDir(options.profile_dir);
    return fs::absolute(options.profile_dir);
  } catch (const AutomationError& e) {
    throw AutomationError(kCannotCreate, msg::kProfileUnprepared({e.description()}));
  }
}

// The office's launcher for `options`.
std::string OfficeProgram(const UnoOptions& options) {
  return options.office_program.empty() ? std::string(KESTRIN_OFFICE_PROGRAM_DIR) + "/soffice"
                                        : options.office_program;
}

std::string AcceptArg(const UnoOptions& options) {
  return "--accept=pipe,name=" + options.pipe_name + ";urp;StarOffice.ComponentContext";
}

std::string ProfileArg(const fs::path& profile) {
  return "-env:UserInstallation=" + FileUrl(profile / "user");
}

class UnoServer : public XlServer {
 public:
  explicit UnoServer(UnoOptions options) : options_(std::move(options)) {
    if (options_.pipe_name.empty()) options_.pipe_name = DefaultPipeName();
  }

  std::shared_ptr<XlApplication> GetObject() override {
    // A busy office now and then refuses or drops a connection on a pipe it
    // listens on; quick retries within a second tell that from a pipe nobody
    // serves. Where no office has made the pipe's socket nobody is waited
    // for, and an office that does not answer at all is not tried again.
    last_connect_error_.clear();
    // Waits while another run starts an office, and then attaches to it.
    std::unique_ptr<OfficeShare> share = TakeTurn();
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<OfficeConnection> connection = TryConnect();
    while (!connection && PipeHasSocket(options_.pipe_name) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      connection = TryConnect();
    }
    if (!connection && EndOurUnansweringOffice()) {
      throw AutomationError(kCannotCreate, msg::kUnansweringEnded({options_.pipe_name}));
    }
    if (!connection) {
      throw AutomationError(kCannotCreate,
                            last_connect_error_.empty()
                                ? msg::kNoOfficeOnPipe({options_.pipe_name})
                                : msg::kCannotAttach({options_.pipe_name, last_connect_error_}));
    }
    return Attach(nullptr, std::move(connection), !HaveDisplay(), std::move(share));
  }

  std::shared_ptr<XlApplication> CreateObject() override {
    last_connect_error_.clear();
    // One run at a time starts an office: the others attach to it.
    std::unique_ptr<OfficeShare> share = TakeTurn();
    if (auto connection = TryConnect()) {
      // Someone already serves our pipe: use that office, but never end it.
      return Attach(nullptr, std::move(connection), !HaveDisplay(), std::move(share));
    }
    if (unanswered_ && !EndOurUnansweringOffice()) {
      throw AutomationError(kCannotCreate,
                            msg::kCannotStartOnPipe({options_.pipe_name, last_connect_error_}));
    }
    const std::optional<std::vector<std::string>> windows =
        OfficeWindowEnvironment(fs::path(OfficeProgram(options_)).parent_path());
    const bool headless = options_.force_headless || !windows;
    const OfficeLaunch launch = PrepareOfficeLaunch(options_, headless ? std::nullopt : windows);
    const fs::path& log = launch.log;
    auto process = std::make_unique<OfficeProcess>(launch.program, launch.args, launch.env, log);
    share->Started(process->pid());

    auto deadline = std::chrono::steady_clock::now() + options_.start_timeout;
    while (true) {
      // A starting office may answer on its pipe before its desktop is up.
      // The office just started is ours and alive: it gets the rest of the
      // start time to answer, however loaded the machine is.
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (auto connection = TryConnect(std::max(left, std::chrono::milliseconds(1000)));
          connection && DesktopAnswers(*connection)) {
        return Attach(std::move(process), std::move(connection), headless, std::move(share));
      }
      if (!process->Alive()) {
        std::string tail = LogTail(log);
        throw AutomationError(
            kCannotCreate,
            msg::kEndedBeforeAnswer({options_.pipe_name, std::to_string(process->status()),
                                     tail.empty() ? "" : msg::kItsLogSays({tail})}));
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        process->Kill();
        throw AutomationError(
            kCannotCreate, msg::kStartTimedOut({options_.pipe_name, Seconds(options_.start_timeout),
                                                log.string()}));
      }
      // The office makes its pipe a few tenths of a second after starting;
      // it is looked for often, for every moment waited is the user's.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

 private:
  // Attaches to the office on our pipe, giving it `limit` to answer (the
  // attach time limit unless given).
  std::unique_ptr<OfficeConnection> TryConnect(std::chrono::milliseconds limit = {}) {
    unanswered_ = false;
    CheckPipeOwner(options_.pipe_name);
    if (limit <= std::chrono::milliseconds::zero()) limit = options_.attach_timeout;
    try {
      return std::make_unique<OfficeConnection>(options_.pipe_name, limit);
    } catch (const css::connection::NoConnectException&) {
      return nullptr;
    } catch (const css::uno::Exception& e) {
      last_connect_error_ = OfficeWords(FromOU(e.Message));
      if (last_connect_error_.empty()) last_connect_error_ = msg::kConnectionRefused();
      return nullptr;
    } catch (const AutomationError&) {
      unanswered_ = true;
      last_connect_error_ = msg::kThereSilent({Seconds(options_.attach_timeout)});
      return nullptr;
    }
  }

  // The turn among the program's runs on the office of our pipe and
  // profile (OfficeShare), waited for while another run starts or ends it.
  std::unique_ptr<OfficeShare> TakeTurn() const {
    const fs::path profile = Profile(options_);
    return OfficeShare::TakeTurn(OfficeShareFile(profile),
                                 {AcceptArg(options_), ProfileArg(profile)},
                                 options_.start_timeout + std::chrono::seconds(30));
  }

  // After an attach that timed out: ends the office on our pipe when it was
  // started with our profile (one of our runs left it behind, hung), and
  // says so in one line. False when the office there is not ours.
  bool EndOurUnansweringOffice() {
    if (!unanswered_) return false;
    fs::path profile =
        options_.profile_dir.empty() ? DefaultProfileDir() : fs::path(options_.profile_dir);
    std::vector<pid_t> pids =
        ProcessesWithArgs({AcceptArg(options_), ProfileArg(fs::absolute(profile))});
    if (pids.empty()) return false;
    for (pid_t pid : pids) {
      if (ProcessAge(pid) < options_.settle_time) {
        last_connect_error_ = msg::kStillStarting(
            {last_connect_error_,
             Seconds(std::chrono::duration_cast<std::chrono::milliseconds>(ProcessAge(pid)))});
        return false;
      }
    }
    bool ended = KillAndWait(pids, std::chrono::seconds(10));
    std::string line = msg::kUnansweringNotice(
        {options_.pipe_name, std::to_string(pids.front()), Seconds(options_.attach_timeout),
         ended ? msg::kEndedFreshStarts() : msg::kEndingFailed()});
    if (options_.notice) {
      options_.notice(line);
    } else {
      std::cerr << "kestrin: " << line << std::endl;
    }
    unanswered_ = false;
    return ended;
  }

  static bool DesktopAnswers(OfficeConnection& connection) {
    try {
      return connection.Desktop().is();
    } catch (const css::uno::Exception&) {
      return false;
    }
  }

  std::shared_ptr<XlApplication> Attach(std::unique_ptr<OfficeProcess> process,
                                        std::unique_ptr<OfficeConnection> connection, bool headless,
                                        std::unique_ptr<OfficeShare> share) {
    try {
      auto session =
          std::make_shared<Session>(options_, std::move(process), std::move(connection), headless);
      share->Join();
      share->EndTurn();
      session->HoldShare(std::move(share));
      return MakeApplication(std::move(session));
    } catch (const css::uno::Exception& e) {
      const std::string words = OfficeWords(FromOU(e.Message));
      throw AutomationError(kCannotCreate, words.empty()
                                               ? msg::kNoDesktop({options_.pipe_name})
                                               : msg::kNoDesktopWhy({options_.pipe_name, words}));
    }
  }

  UnoOptions options_;
  std::string last_connect_error_;
  bool unanswered_ = false;  // the last attach timed out
};

}  // namespace

std::string DefaultPipeName() { return "kestrin_office_" + std::to_string(getuid()); }

OfficeLaunch PrepareOfficeLaunch(const UnoOptions& given,
                                 const std::optional<std::vector<std::string>>& windows) {
  const bool headless = !windows;
  UnoOptions options = given;
  if (options.pipe_name.empty()) options.pipe_name = DefaultPipeName();
  const fs::path profile = Profile(options);
  OfficeLaunch launch;
  launch.program = OfficeProgram(options);
  try {
    PrepareOfficeProfile(profile / "user", IsJapaneseLocale(MessagesLocaleName()),
                         OfficeVersion(fs::path(launch.program).parent_path()));
  } catch (const std::system_error&) {
    // The office then starts with the language and settings it chooses itself.
  }
  launch.log = profile / "office.log";
  launch.args = {
      headless ? "--headless" : "--invisible",
      "--norestore",
      "--nologo",
      "--nodefault",
      "--nolockcheck",
      AcceptArg(options),
      ProfileArg(profile),
  };
  if (!headless) launch.env = *windows;
  for (std::string& v : OfficeLocaleEnvironment()) launch.env.push_back(std::move(v));
  return launch;
}

std::unique_ptr<XlServer> MakeUnoXlServer(const UnoOptions& options) {
  return std::make_unique<UnoServer>(options);
}

}  // namespace kestrin::automation::uno
