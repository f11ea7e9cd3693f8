// Letters without regard to case, as Access compares names and Windows
// compares file names: Latin (with accents), Greek, Cyrillic and full-width
// Latin letters, and everything else exactly.
#pragma once

#include <string>
#include <string_view>

namespace kestrin::automation {

// The lower-case form of a letter of those scripts; any other code point as
// it is.
char32_t LowerLetter(char32_t c);

// The UTF-8 text with every letter in lower case. Bytes that are not UTF-8
// are kept as they are, so two texts compare equal only when they differ in
// letter case alone.
std::string LowerLetters(std::string_view utf8);

}  // namespace kestrin::automation
