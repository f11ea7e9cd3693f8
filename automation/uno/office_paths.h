// Names the office gives to files, found with the office's own routines (its
// sal library: osl's file URLs and pipes) rather than copies of them, so
// that an office whose rules change is still named as it names itself.
#pragma once

#include <filesystem>
#include <string>

namespace kestrin::automation::uno {

// The file URL the office reads for an absolute path
// ("file:///path/with%20blanks"), made by the office's conversion of system
// paths. The path's bytes are taken as UTF-8, as the office reads them (it
// runs with a UTF-8 locale). Throws AutomationError 1004 for a path that is
// not UTF-8: the office could not reach that file.
std::string FileUrl(const std::filesystem::path& absolute);

// The socket file that an office listening on `pipe` makes for this user,
// as the office's pipe routines place it (today
// "/tmp/OSL_PIPE_<uid>_<pipe>"): they are asked to make a pipe of a name of
// our own, which is closed again at once, and the pipe's name is put in
// its place. Empty when they cannot make one (then no office of this user
// can listen on a pipe either).
std::filesystem::path PipeSocketPath(const std::string& pipe);

}  // namespace kestrin::automation::uno
