// The UNO side of the engine: a bridge to one office over a named pipe, with
// a time limit on every call. Internal to automation/uno/.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

namespace kestrin::automation::uno {

namespace css = ::com::sun::star;

rtl::OUString ToOU(std::string_view utf8);
std::string FromOU(const rtl::OUString& text);

// The process's local UNO context, made once on first use; it belongs to the
// UNO runtime, which is process-wide by nature. SIGPIPE is ignored from then
// on unless the program handles it, so that a lost office fails calls. Throws AutomationError when
// the office libraries cannot be bootstrapped.
css::uno::Reference<css::uno::XComponentContext> LocalContext();

// Runs `on_expiry` from its own thread when an armed deadline passes, so that
// a call blocked in the office can be broken off (by closing the connection,
// and killing a private office). Arm/disarm nest: only the outermost counts.
class Watchdog {
 public:
  explicit Watchdog(std::function<void()> on_expiry);
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog();

  void Arm(std::chrono::milliseconds limit);
  void Disarm();
  // True once on_expiry has run.
  bool Fired();

 private:
  void Run();

  std::mutex mu_;
  std::condition_variable cv_;
  std::function<void()> on_expiry_;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
  int depth_ = 0;
  bool fired_ = false;
  bool stop_ = false;
  std::thread thread_;
};

// A bridge to the office listening on `pipe`.
class OfficeConnection {
 public:
  // Throws css::connection::NoConnectException (or another UNO exception)
  // when nobody answers on the pipe, and AutomationError -2147417825 (call
  // timed out) when the office takes longer than `limit` to set the bridge up.
  OfficeConnection(const std::string& pipe, std::chrono::milliseconds limit);
  OfficeConnection(const OfficeConnection&) = delete;
  OfficeConnection& operator=(const OfficeConnection&) = delete;
  ~OfficeConnection();

  const css::uno::Reference<css::uno::XComponentContext>& context() const { return remote_; }
  css::uno::Reference<css::frame::XDesktop2> Desktop() const;
  // Breaks the bridge: blocked and later calls fail with DisposedException.
  // Safe from any thread.
  void Close();

 private:
  css::uno::Reference<css::connection::XConnection> connection_;
  css::uno::Reference<css::lang::XComponent> bridge_;
  css::uno::Reference<css::uno::XComponentContext> remote_;
};

}  // namespace kestrin::automation::uno
