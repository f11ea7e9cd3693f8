// What of an office's failure message is worth showing to a user.
#pragma once

#include <string>
#include <string_view>

namespace kestrin::automation::uno {

// The office's own words in `message`, without what only its developers can
// read: source locations ("at ./sc/source/ui/unoobj/cellsuno.cxx:4962"),
// type names ("com.sun.star.lang.IllegalArgumentException",
// "css::uno::RuntimeException", "DisposedException") and interface query
// reports. An I/O error code of the office (a save on a full disk, into a
// folder the user may not write to, of a file that is gone) becomes the
// user's words for it. Empty when nothing else is left.
std::string OfficeWords(std::string_view message);

}  // namespace kestrin::automation::uno
