// Conversion between the program's UTF-8 text and CP932 (Shift_JIS as
// Windows writes it), the encoding of pattern files.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrin::pattern {

// The text in CP932, or nothing when any character of it has no CP932 form
// (or the text is not valid UTF-8). Never substitutes a replacement character.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

// The CP932 bytes as UTF-8, or nothing when they are not valid CP932 (a lead
// byte without its trail byte, an unassigned code).
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);

// The first character of the UTF-8 text that has no CP932 form, for messages
// (a byte that is not UTF-8 as "\xNN"); empty when every character has one.
std::string FirstCharacterOutsideCp932(std::string_view utf8);

}  // namespace kestrin::pattern
