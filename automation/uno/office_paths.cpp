#include "automation/uno/office_paths.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <system_error>

#include <rtl/textcvt.h>
#include <osl/file.hxx>
#include <osl/pipe.hxx>
#include <osl/security.hxx>
#include <rtl/ustring.hxx>

#include "automation/failure.h"
#include "automation/messages.h"

namespace kestrin::automation::uno {
namespace {

namespace fs = std::filesystem;

// The path of the listening socket of this process whose name ends in
// `name`; empty when there is none.
std::string OwnSocketEndingIn(const std::string& name) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
    const std::string fd_text = entry.path().filename().string();
    if (fd_text.empty() || fd_text.find_first_not_of("0123456789") != std::string::npos) continue;
    sockaddr_un address{};
    socklen_t size = sizeof address;
    if (getsockname(std::stoi(fd_text), reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        address.sun_family != AF_UNIX || size <= offsetof(sockaddr_un, sun_path)) {
      continue;
    }
    const std::string path(address.sun_path,
                           strnlen(address.sun_path, size - offsetof(sockaddr_un, sun_path)));
    if (path.size() > name.size() && path.ends_with(name)) return path;
  }
  return {};
}

}  // namespace

std::string FileUrl(const fs::path& absolute) {
  const std::string& bytes = absolute.native();
  rtl::OUString system;
  if (!rtl_convertStringToUString(
          &system.pData, bytes.data(), static_cast<sal_Int32>(bytes.size()), RTL_TEXTENCODING_UTF8,
          RTL_TEXTTOUNICODE_FLAGS_UNDEFINED_ERROR | RTL_TEXTTOUNICODE_FLAGS_MBUNDEFINED_ERROR |
              RTL_TEXTTOUNICODE_FLAGS_INVALID_ERROR)) {
    throw AutomationError(errnum::kAppDefined, msg::kPathNotUtf8({bytes}));
  }
  rtl::OUString url;
  if (osl::FileBase::getFileURLFromSystemPath(system, url) != osl::FileBase::E_None) {
    throw AutomationError(errnum::kAppDefined, msg::kPathNoUrl({bytes}));
  }
  const rtl::OString text = rtl::OUStringToOString(url, RTL_TEXTENCODING_UTF8);
  return std::string(text.getStr(), static_cast<size_t>(text.getLength()));
}

fs::path PipeSocketPath(const std::string& pipe) {
  const std::string probe =
      "kestrin_probe_" + std::to_string(getpid()) + "_" +
      std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  osl::Security user;
  osl::Pipe made(rtl::OUString::createFromAscii(probe.c_str()), osl_Pipe_CREATE, user);
  if (!made.is()) return {};
  const std::string path = OwnSocketEndingIn(probe);
  // Closing the pipe removes its socket file.
  made.close();
  if (path.empty()) return {};
  return path.substr(0, path.size() - probe.size()) + pipe;
}

}  // namespace kestrin::automation::uno
