#include "automation/uno/office_display.h"

#include <system_error>

#include "automation/uno/uno_util.h"

namespace kestrin::automation::uno {

std::optional<std::vector<std::string>> OfficeWindowEnvironment(
    const std::filesystem::path& program_dir) {
  if (HaveXDisplay()) return std::vector<std::string>{"SAL_USE_VCLPLUGIN=gen"};
  std::error_code ec;
  if (HaveDisplay() && std::filesystem::exists(program_dir / "libvclplug_qt5lo.so", ec)) {
    return std::vector<std::string>{"SAL_USE_VCLPLUGIN=qt5", "QT_QPA_PLATFORM=wayland"};
  }
  return std::nullopt;
}

}  // namespace kestrin::automation::uno
