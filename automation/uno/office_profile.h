// The private office: its locale, the language of its menus and the
// settings its profile starts with.
//
// Its locale is always Japanese, as on the Japanese desktops the program is
// made for: the office sorts (pivot table items, for one) by its locale, so
// a workbook comes out the same whatever the environment of the run. The
// profile sets that locale (ooSetupSystemLocale), for a Japanese locale of
// the system's may well be missing. The character type the office runs
// with, which decides how it reads file names, is a UTF-8 one that the
// system has, so that any name works. Its menus and dialogs are Japanese
// for a user who reads Japanese, however the office is started and
// whatever its profile chose before (the profile's UILocale setting); for
// anyone else that setting is taken out again, so that the menus follow the
// environment as they do by default.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::automation::uno {

// The locale name that decides the language of messages: the first set and
// non-empty one of LC_ALL, LC_MESSAGES and LANG; "C" when none is.
std::string MessagesLocaleName();

// True for a Japanese locale name: "ja", "ja_JP", "ja_JP.UTF-8", "ja-JP",
// "ja_JP.eucJP@x"...
bool IsJapaneseLocale(std::string_view name);

// True when the system has the locale `name` and its character set is UTF-8.
bool IsUtf8Locale(const std::string& name);

// The character type for the office: the user's own (the first set of
// LC_ALL, LC_CTYPE and LANG) when it is a UTF-8 locale the system has, else
// C.UTF-8.
std::string OfficeCharacterType();

// Environment entries ("NAME=value") for the private office that give it a
// UTF-8 character type and leave its menus in the user's language: LC_CTYPE
// is OfficeCharacterType(), and LC_ALL, which would override it, is emptied
// after its value has been handed to LC_MESSAGES.
std::vector<std::string> OfficeLocaleEnvironment();

// The version of the office whose program folder is `program_dir`, as its
// installation's settings name it ("7.4"); empty when that cannot be read.
std::string OfficeVersion(const std::filesystem::path& program_dir);

// Prepares the office profile whose user installation is `installation`
// (what -env:UserInstallation names; the office keeps its settings in
// installation/user/registrymodifications.xcu):
// - the office's locale: Japanese;
// - the menu language: Japanese when `japanese_ui`, else following the
//   environment;
// - the profile is marked as having run `office_version` (empty: left as it
//   is). A profile that has only ever served headless or hidden offices is
//   never marked by the office itself, which then takes itself for newly
//   upgraded at every start and runs its graphics self-test each time:
//   seconds of processor time, beside the export, on every start.
// Every other setting stays. Creates the folders (0700) and the settings file
// (0600) when needed and replaces the file in one step; writes nothing when
// nothing changes. Throws std::system_error when the file cannot be written.
void PrepareOfficeProfile(const std::filesystem::path& installation, bool japanese_ui,
                          std::string_view office_version);

}  // namespace kestrin::automation::uno
