#include "pattern/cp932.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <vector>

namespace kestrin::pattern {
namespace {

// One conversion descriptor, closed on every path out.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() { iconv_close(cd_); }

  // The whole input converted, or nothing on the first invalid or
  // unconvertible sequence (including one cut short at the end).
  std::optional<std::string> Convert(std::string_view in) {
    std::string out;
    std::vector<char> buffer(in.size() * 2 + 16);
    char* in_ptr = const_cast<char*>(in.data());
    std::size_t in_left = in.size();
    while (in_left > 0) {
      char* out_ptr = buffer.data();
      std::size_t out_left = buffer.size();
      std::size_t done = iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
      out.append(buffer.data(), buffer.size() - out_left);
      if (done == static_cast<std::size_t>(-1)) {
        if (errno == E2BIG) continue;
        return std::nullopt;  // EILSEQ or EINVAL
      }
    }
    char* out_ptr = buffer.data();
    std::size_t out_left = buffer.size();
    if (iconv(cd_, nullptr, nullptr, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) {
      return std::nullopt;
    }
    out.append(buffer.data(), buffer.size() - out_left);
    return out;
  }

 private:
  iconv_t cd_;
};

std::size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  return Converter("CP932", "UTF-8").Convert(utf8);
}

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
  return Converter("UTF-8", "CP932").Convert(cp932);
}

std::string FirstCharacterOutsideCp932(std::string_view utf8) {
  Converter converter("CP932", "UTF-8");
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t n = std::min(Utf8Length(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
    std::string_view one = utf8.substr(i, n);
    if (!converter.Convert(one)) {
      if (!Converter("UTF-16LE", "UTF-8").Convert(one)) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        auto byte = static_cast<unsigned char>(one[0]);
        return std::string("\\x") + kHex[byte >> 4] + kHex[byte & 15];
      }
      return std::string(one);
    }
    i += n;
  }
  return {};
}

}  // namespace kestrin::pattern
