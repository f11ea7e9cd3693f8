#include "automation/uno/uno_runtime.h"

#include <signal.h>

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include "automation/failure.h"
#include "automation/messages.h"

#ifndef KESTRIN_OFFICE_PROGRAM_DIR
#define KESTRIN_OFFICE_PROGRAM_DIR "/usr/lib/libreoffice/program"
#endif

namespace kestrin::automation::uno {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

rtl::OUString ToOU(std::string_view utf8) {
  return rtl::OUString(utf8.data(), static_cast<sal_Int32>(utf8.size()), RTL_TEXTENCODING_UTF8);
}

std::string FromOU(const rtl::OUString& text) {
  rtl::OString bytes = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
  return std::string(bytes.getStr(), static_cast<size_t>(bytes.getLength()));
}

Reference<css::uno::XComponentContext> LocalContext() {
  static const Reference<css::uno::XComponentContext> context = [] {
    // The bridge writes to the office's pipe without MSG_NOSIGNAL: an office
    // that dies mid-call would otherwise end this process with SIGPIPE
    // instead of failing the call. A handler the program installed stays.
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      signal(SIGPIPE, SIG_IGN);
    }
    try {
      rtl::Bootstrap::set("URE_BOOTSTRAP",
                          "vnd.sun.star.pathname:" KESTRIN_OFFICE_PROGRAM_DIR "/fundamentalrc");
      return cppu::defaultBootstrap_InitialComponentContext();
    } catch (const css::uno::Exception& e) {
      throw AutomationError(errnum::kCannotCreate, msg::kRuntimeUnstarted({FromOU(e.Message)}));
    }
  }();
  return context;
}

Watchdog::Watchdog(std::function<void()> on_expiry)
    : on_expiry_(std::move(on_expiry)), thread_([this] { Run(); }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(mu_);
    stop_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

void Watchdog::Arm(std::chrono::milliseconds limit) {
  std::lock_guard lock(mu_);
  if (depth_++ == 0) {
    deadline_ = std::chrono::steady_clock::now() + limit;
    cv_.notify_all();
  }
}

void Watchdog::Disarm() {
  std::lock_guard lock(mu_);
  if (depth_ > 0 && --depth_ == 0) deadline_.reset();
}

bool Watchdog::Fired() {
  std::lock_guard lock(mu_);
  return fired_;
}

void Watchdog::Run() {
  std::unique_lock lock(mu_);
  while (!stop_) {
    if (!deadline_) {
      cv_.wait(lock);
      continue;
    }
    auto deadline = *deadline_;
    if (cv_.wait_until(lock, deadline) == std::cv_status::timeout && deadline_ &&
        *deadline_ == deadline && !stop_) {
      fired_ = true;
      deadline_.reset();
      lock.unlock();
      on_expiry_();
      lock.lock();
    }
  }
}

OfficeConnection::OfficeConnection(const std::string& pipe, std::chrono::milliseconds limit) {
  Reference<css::uno::XComponentContext> local = LocalContext();
  Reference<css::connection::XConnector> connector = css::connection::Connector::create(local);
  connection_ = connector->connect(ToOU("pipe,name=" + pipe));
  // An office that accepts the connection but never answers (stopped, hung)
  // would block the bridge's first call for good: close it at the limit.
  Watchdog watchdog([this] { Close(); });
  watchdog.Arm(limit);
  try {
    Reference<css::bridge::XBridgeFactory2> factory = css::bridge::BridgeFactory::create(local);
    Reference<css::bridge::XBridge> bridge =
        factory->createBridge(rtl::OUString(), "urp", connection_, nullptr);
    bridge_.set(bridge, UNO_QUERY_THROW);
    remote_.set(bridge->getInstance("StarOffice.ComponentContext"), UNO_QUERY_THROW);
  } catch (const css::uno::Exception& e) {
    watchdog.Disarm();
    if (watchdog.Fired()) {
      throw AutomationError(errnum::kCallTimedOut, msg::kAcceptedSilent({pipe}));
    }
    throw;
  }
  watchdog.Disarm();
}

OfficeConnection::~OfficeConnection() {
  try {
    if (bridge_.is()) bridge_->dispose();
  } catch (...) {
  }
}

Reference<css::frame::XDesktop2> OfficeConnection::Desktop() const {
  return css::frame::Desktop::create(remote_);
}

void OfficeConnection::Close() {
  try {
    if (connection_.is()) connection_->close();
  } catch (...) {
  }
}

}  // namespace kestrin::automation::uno
