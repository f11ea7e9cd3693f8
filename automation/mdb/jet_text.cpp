#include "automation/mdb/jet_text.h"

#include "automation/utf8.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace kestrin::automation::mdb::jet {
namespace {

// Appends UTF-16 code units, joining surrogate pairs.
class Utf16Sink {
 public:
  explicit Utf16Sink(std::string& out) : out_(out) {}
  ~Utf16Sink() { Flush(); }

  void Put(std::uint16_t unit) {
    if (pending_high_ != 0) {
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        const std::uint32_t cp = 0x10000 + ((pending_high_ - 0xD800u) << 10) + (unit - 0xDC00u);
        pending_high_ = 0;
        AppendUtf8(out_, cp);
        return;
      }
      Flush();
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      pending_high_ = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      AppendUtf8(out_, 0xFFFD);
    } else {
      AppendUtf8(out_, unit);
    }
  }

  void Flush() {
    if (pending_high_ != 0) {
      AppendUtf8(out_, 0xFFFD);
      pending_high_ = 0;
    }
  }

 private:
  std::string& out_;
  std::uint16_t pending_high_ = 0;
};

}  // namespace

std::string Utf16LeToUtf8(const std::uint8_t* data, std::size_t size) {
  std::string out;
  out.reserve(size / 2 + size / 8);
  {
    Utf16Sink sink(out);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
      sink.Put(static_cast<std::uint16_t>(data[i] | (data[i + 1] << 8)));
    }
  }
  return out;
}

std::string DecodeJet4Text(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || data[0] != 0xFF || data[1] != 0xFE) {
    return Utf16LeToUtf8(data, size);
  }
  std::string out;
  out.reserve(size);
  {
    Utf16Sink sink(out);
    bool compressed = true;
    std::size_t i = 2;
    while (i < size) {
      const std::uint8_t b = data[i];
      if (b == 0) {
        // A 0x00 byte switches mode: no stored character in either mode has
        // a zero byte in this position (such strings are never compressed).
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        sink.Put(b);
        ++i;
      } else if (i + 1 < size) {
        sink.Put(static_cast<std::uint16_t>(b | (data[i + 1] << 8)));
        i += 2;
      } else {
        break;  // an odd byte at the end of an uncompressed run
      }
    }
  }
  return out;
}

std::string FormatGuid(const std::uint8_t* b) {
  static const char kHex[] = "0123456789ABCDEF";
  // Storage order of the bytes for each printed position.
  static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string out = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
    const std::uint8_t v = b[kOrder[i]];
    out.push_back(kHex[v >> 4]);
    out.push_back(kHex[v & 0xF]);
  }
  out.push_back('}');
  return out;
}

std::string DecimalText(bool negative, unsigned __int128 magnitude, int scale) {
  std::string digits;
  do {
    digits.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  const bool zero = digits == "0";
  if (scale < 0) scale = 0;
  while (static_cast<int>(digits.size()) <= scale) digits.push_back('0');
  std::string out;
  if (negative && !zero) out.push_back('-');
  for (int i = static_cast<int>(digits.size()) - 1; i >= 0; --i) {
    out.push_back(digits[static_cast<std::size_t>(i)]);
    if (i == scale && scale > 0) out.push_back('.');
  }
  return out;
}

Value DecimalToValue(bool negative, unsigned __int128 magnitude, int scale) {
  // magnitude / 10^scale = magnitude / (2^scale * 5^scale) is a double exactly
  // when 5^scale divides the magnitude and the quotient has at most 53
  // significant bits; the power of two then only moves the exponent.
  if (scale >= 0 && scale <= 38) {
    unsigned __int128 pow5 = 1;
    for (int i = 0; i < scale; ++i) pow5 *= 5;
    if (magnitude % pow5 == 0) {
      unsigned __int128 n = magnitude / pow5;
      int shift = -scale;
      while (n != 0 && (n & 1) == 0) {
        n >>= 1;
        ++shift;
      }
      if (n < (static_cast<unsigned __int128>(1) << 53)) {
        double d = std::ldexp(static_cast<double>(static_cast<std::uint64_t>(n)), shift);
        return Value(negative && d != 0 ? -d : d);
      }
    }
  }
  // Up to 15 significant digits a double keeps every digit as the value is
  // shown and summed, as the number a spreadsheet cell holds; text there
  // would break sorting, totals and pivot tables. Only longer values keep
  // their exact digits as text.
  unsigned __int128 digits = magnitude;
  while (digits != 0 && digits % 10 == 0) digits /= 10;
  int significant = 0;
  for (unsigned __int128 d = digits; d != 0; d /= 10) ++significant;
  const std::string text = DecimalText(negative, magnitude, scale);
  if (significant <= 15) return Value(std::strtod(text.c_str(), nullptr));
  return Value(text);
}

}  // namespace kestrin::automation::mdb::jet
