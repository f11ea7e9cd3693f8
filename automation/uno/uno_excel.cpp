#include "automation/uno/uno_excel.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include <com/sun/star/connection/NoConnectException.hpp>

#include "automation/uno/backup.h"
#include "automation/uno/office_language.h"
#include "automation/uno/session.h"

namespace kestrin::automation::uno {
namespace {

namespace fs = std::filesystem;

class UnoServer : public XlServer {
 public:
  explicit UnoServer(UnoOptions options) : options_(std::move(options)) {
    if (options_.pipe_name.empty()) options_.pipe_name = DefaultPipeName();
  }

  std::shared_ptr<XlApplication> GetObject() override {
    // A busy office now and then refuses or drops a connection on a pipe it
    // listens on; quick retries within a second tell that from a pipe nobody
    // serves. An office that does not answer at all is not tried again.
    last_connect_error_.clear();
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<OfficeConnection> connection = TryConnect();
    while (!connection && std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      connection = TryConnect();
    }
    if (!connection) {
      throw AutomationError(kCannotCreate,
                            last_connect_error_.empty()
                                ? "No office is running on the pipe '" + options_.pipe_name + "'"
                                : "Cannot attach to the office on the pipe '" + options_.pipe_name +
                                      "': " + last_connect_error_);
    }
    return Attach(nullptr, std::move(connection), !HaveDisplay());
  }

  std::shared_ptr<XlApplication> CreateObject() override {
    if (auto connection = TryConnect()) {
      // Someone already serves our pipe: use that office, but never end it.
      return Attach(nullptr, std::move(connection), !HaveDisplay());
    }
    bool headless = options_.force_headless || !HaveDisplay();
    fs::path profile =
        options_.profile_dir.empty() ? DefaultProfileDir() : fs::path(options_.profile_dir);
    std::error_code ec;
    fs::create_directories(profile, ec);
    if (ec) {
      throw AutomationError(kCannotCreate, "Cannot create the office profile folder '" +
                                               profile.string() + "': " + ec.message());
    }
    profile = fs::absolute(profile);
    try {
      PrepareOfficeProfile(profile / "user", IsJapaneseLocale(MessagesLocaleName()));
    } catch (const std::system_error&) {
      // The office then starts in the locale and language it chooses itself.
    }
    fs::path log = profile / "office.log";
    std::string program = options_.office_program.empty()
                              ? std::string(KESTRIN_OFFICE_PROGRAM_DIR) + "/soffice"
                              : options_.office_program;
    std::vector<std::string> args = {
        headless ? "--headless" : "--invisible",
        "--norestore",
        "--nologo",
        "--nodefault",
        "--nolockcheck",
        "--accept=pipe,name=" + options_.pipe_name + ";urp;StarOffice.ComponentContext",
        "-env:UserInstallation=" + FileUrl(profile / "user"),
    };
    std::vector<std::string> env;
    if (!headless) env.push_back("SAL_USE_VCLPLUGIN=gen");
    for (std::string& v : OfficeLocaleEnvironment()) env.push_back(std::move(v));
    auto process = std::make_unique<OfficeProcess>(program, args, env, log);

    auto deadline = std::chrono::steady_clock::now() + options_.start_timeout;
    while (true) {
      // A starting office may answer on its pipe before its desktop is up.
      if (auto connection = TryConnect(); connection && DesktopAnswers(*connection)) {
        return Attach(std::move(process), std::move(connection), headless);
      }
      if (!process->Alive()) {
        std::string tail = LogTail(log);
        throw AutomationError(kCannotCreate, "The office ended before answering on the pipe '" +
                                                 options_.pipe_name + "' (exit status " +
                                                 std::to_string(process->status()) + ")" +
                                                 (tail.empty() ? "" : "; its log says: " + tail));
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        process->Kill();
        throw AutomationError(
            kCannotCreate, "The office did not answer on the pipe '" + options_.pipe_name +
                               "' within " + std::to_string(options_.start_timeout.count() / 1000) +
                               " s; see " + log.string());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

 private:
  std::unique_ptr<OfficeConnection> TryConnect() {
    try {
      return std::make_unique<OfficeConnection>(options_.pipe_name, options_.call_timeout);
    } catch (const css::connection::NoConnectException&) {
      return nullptr;
    } catch (const css::uno::Exception& e) {
      last_connect_error_ = FromOU(e.Message);
      return nullptr;
    }
  }

  static bool DesktopAnswers(OfficeConnection& connection) {
    try {
      return connection.Desktop().is();
    } catch (const css::uno::Exception&) {
      return false;
    }
  }

  std::shared_ptr<XlApplication> Attach(std::unique_ptr<OfficeProcess> process,
                                        std::unique_ptr<OfficeConnection> connection,
                                        bool headless) {
    try {
      return MakeApplication(
          std::make_shared<Session>(options_, std::move(process), std::move(connection), headless));
    } catch (const css::uno::Exception& e) {
      throw AutomationError(kCannotCreate, "The office on the pipe '" + options_.pipe_name +
                                               "' does not offer a desktop: " + FromOU(e.Message));
    }
  }

  UnoOptions options_;
  std::string last_connect_error_;
};

}  // namespace

std::string DefaultPipeName() { return "kestrin_office_" + std::to_string(getuid()); }

std::unique_ptr<XlServer> MakeUnoXlServer(const UnoOptions& options) {
  return std::make_unique<UnoServer>(options);
}

}  // namespace kestrin::automation::uno
