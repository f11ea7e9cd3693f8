#include "automation/letter_case.h"

#include <cstddef>

#include "automation/utf8.h"

namespace kestrin::automation {

char32_t LowerLetter(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return (c % 2 == 0) ? c + 1 : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
  if (c == 0x178) return 0xFF;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
  return c;
}

std::string LowerLetters(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<char>(LowerLetter(lead)));
      ++i;
      continue;
    }
    const std::size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    char32_t cp = lead & (len == 4 ? 0x07 : len == 3 ? 0x0F : 0x1F);
    bool valid = len > 1 && i + len <= s.size();
    for (std::size_t k = 1; valid && k < len; ++k) {
      const auto next = static_cast<unsigned char>(s[i + k]);
      valid = (next & 0xC0) == 0x80;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (!valid || cp > 0x10FFFF) {
      out.push_back(s[i]);
      ++i;
      continue;
    }
    AppendUtf8(out, LowerLetter(cp));
    i += len;
  }
  return out;
}

}  // namespace kestrin::automation
