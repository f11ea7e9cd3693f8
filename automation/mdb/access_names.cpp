#include "automation/mdb/access_names.h"

#include "automation/letter_case.h"
#include "automation/utf8.h"

namespace kestrin::automation::mdb {

namespace letters {

std::u32string Decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    char32_t cp = c;
    size_t len = 1;
    if (c >= 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else if (c >= 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xC0) {
      len = 2;
      cp = c & 0x1F;
    }
    if (len > 1) {
      if (i + len > s.size()) {
        out.push_back(0xFFFD);
        break;
      }
      for (size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    out.push_back(cp);
    i += len;
  }
  return out;
}

std::string Encode(std::u32string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char32_t cp : s) AppendUtf8(out, cp);
  return out;
}

char32_t Lower(char32_t c) { return LowerLetter(c); }

char32_t Upper(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return (c % 2 == 1) ? c - 1 : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 0) ? c - 1 : c;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
  return c;
}

std::u32string Folded(std::string_view s) {
  std::u32string u = Decode(s);
  for (auto& c : u) c = Lower(c);
  return u;
}

}  // namespace letters

std::string NameKey(std::string_view name) {
  bool ascii = true;
  for (char c : name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    std::string out(name);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
  }
  return letters::Encode(letters::Folded(name));
}

bool SameName(std::string_view a, std::string_view b) { return NameKey(a) == NameKey(b); }

}  // namespace kestrin::automation::mdb
