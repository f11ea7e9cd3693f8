// Decoding of the value encodings that Access keeps in its files and that
// libmdb either loses or garbles: JET4/ACE text (UCS-2LE, plain or in the
// compressed "FF FE" form, surrogate pairs included), GUIDs, and the scaled
// 128-bit Decimal type. Pure functions over bytes, without any file access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "automation/value.h"

namespace kestrin::automation::mdb::jet {

// UTF-16LE code units to UTF-8. A pair of surrogates becomes one character
// outside the Basic Multilingual Plane; an unpaired surrogate becomes U+FFFD.
// A trailing odd byte is ignored.
std::string Utf16LeToUtf8(const std::uint8_t* data, std::size_t size);

// A JET4/ACE text or memo value as stored: either plain UCS-2LE, or the
// compressed form that starts with FF FE, where runs of one-byte characters
// (U+0001..U+00FF) alternate with runs of two-byte units, each switch marked
// by a 0x00 byte, starting in the one-byte mode.
std::string DecodeJet4Text(const std::uint8_t* data, std::size_t size);

// A GUID as Access shows it: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper
// case; the first three groups are stored little-endian.
std::string FormatGuid(const std::uint8_t* bytes16);

// A Decimal value: sign, unsigned 128-bit magnitude and scale (digits after
// the point, 0..28 as Access allows; larger scales are treated alike).
// Returns a double when the value converts to a double exactly or has at
// most 15 significant digits (which a double shows back unchanged), otherwise
// the text of its exact decimal digits (e.g. "-12.3400000000000000001", with
// `scale` digits after the point), so that no digit is silently rounded away.
Value DecimalToValue(bool negative, unsigned __int128 magnitude, int scale);

// The exact decimal digits of magnitude / 10^scale, with a leading "-" when
// negative (and the magnitude is not zero).
std::string DecimalText(bool negative, unsigned __int128 magnitude, int scale);

}  // namespace kestrin::automation::mdb::jet
