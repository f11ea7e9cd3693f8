// The language of the private office's menus and dialogs.
//
// A user who reads Japanese gets a Japanese office: the office's profile is
// told so (its UILocale setting), which holds however the office is started
// and whatever the profile chose before. For anyone else that Japanese
// setting is taken out again, so that the office follows the environment as
// it does by default. Nothing here changes what is written
// into workbooks: their formats and captions are fixed and the same for all.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrin::automation::uno {

// The locale name that decides the language of messages: the first set and
// non-empty one of LC_ALL, LC_MESSAGES and LANG; "C" when none is.
std::string MessagesLocaleName();

// True for a Japanese locale name: "ja", "ja_JP", "ja_JP.UTF-8", "ja-JP",
// "ja_JP.eucJP@x"...
bool IsJapaneseLocale(std::string_view name);

// Sets the UI language of the office profile whose user folder is `user_dir`
// (what -env:UserInstallation names): Japanese when `japanese`, else removes
// a Japanese setting. Creates the folder (0700) and the settings file (0600)
// when needed and replaces the file in one step. Throws std::system_error
// when the file cannot be written.
void SetProfileJapaneseUi(const std::filesystem::path& user_dir, bool japanese);

}  // namespace kestrin::automation::uno
