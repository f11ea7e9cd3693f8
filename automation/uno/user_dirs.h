// The folders this program keeps its own files in, and how they are made.
//
// Folders of the program's own (the backup folder, the private office's
// profile) hold files that act for the user: a profile planted by someone
// else would run their macros as this user. They are made with mode 0700,
// and an existing one is used only when it is a folder that belongs to this
// user and that no other user may write into.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "automation/user_home.h"

namespace kestrin::automation::uno {

// The user's home folder (automation/user_home.h).
using automation::HomeDir;

// $XDG_CACHE_HOME when it holds an absolute path, else HomeDir()/.cache.
std::filesystem::path CacheHome();

// Makes `dir` with missing parents. Its last `own_levels` components are the
// program's own: each one missing is made with mode 0700, each existing one
// must be a folder (or a link to one) that belongs to this user and is not
// writable by others. Parents above those are made with mode 0700 when
// missing and otherwise taken as they are. Throws AutomationError 1004
// naming the folder and the reason.
void MakePrivateDir(const std::filesystem::path& dir, std::size_t own_levels = 1);

// CacheHome()/kestrin/<name>, made by MakePrivateDir with both "kestrin" and
// <name> as the program's own.
std::filesystem::path PrivateCacheDir(const std::string& name);

}  // namespace kestrin::automation::uno
