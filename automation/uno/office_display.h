// Whether, and with which of its window back ends, a private office shows
// workbooks on this display.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrin::automation::uno {

// Environment entries ("NAME=value") for an office started with windows
// (not headless); nullopt when it is to run headless. On an X display
// (DISPLAY): its plain X11 back end ("gen"), the one that shows workbooks
// dependably there. On Wayland alone (WAYLAND_DISPLAY): its Qt back end on
// Qt's Wayland platform, when the office in `program_dir` has it; its GTK
// back end, driven from another process, waits for ever for the clipboard
// when it shows a window, so without the Qt one the office runs headless.
// Without a display: headless.
std::optional<std::vector<std::string>> OfficeWindowEnvironment(
    const std::filesystem::path& program_dir);

}  // namespace kestrin::automation::uno
