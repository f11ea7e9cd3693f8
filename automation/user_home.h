// The user's home folder, for the folders of the program's own files
// (configuration, caches) that live below it.
#pragma once

#include <filesystem>

namespace kestrin::automation {

// $HOME when it holds an absolute path, else the home folder that the
// password database gives for this user. Throws AutomationError 1004 when
// neither gives one: no shared folder such as /tmp stands in for it.
std::filesystem::path HomeDir();

}  // namespace kestrin::automation
