// How wide a cell's text is, in the font the office shows it in.
//
// The office lays a one-line text out with HarfBuzz in the font that
// fontconfig finds for the cell's font name, at the font's size in pixels of
// a 96 dpi device, and adds up each glyph's advance rounded to whole pixels.
// Which font applies depends on the text's script: letters of Chinese and
// Japanese scripts take the cell's Asian font, other letters its Western
// font, and a text of digits, spaces and punctuation alone ("weak" in the
// office's terms) the font of the office's own language. Texts mixing
// Western and Asian letters, and those of complex scripts, are laid out
// another way and are not measured here. Internal to automation/uno/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrin::automation::uno {

// A font as a cell names it.
struct FontSpec {
  std::string family;
  double points = 10;
  double weight = 100;   // css::awt::FontWeight: 100 normal, 150 bold
  int slant = 0;         // css::awt::FontSlant: 0 upright, 1 oblique, 2 italic
  std::string language;  // of the cell's text in that script, "ja" or "en-US"
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

// The width of texts in one font.
class TextWidths {
 public:
  TextWidths() = default;
  TextWidths(const TextWidths&) = delete;
  TextWidths& operator=(const TextWidths&) = delete;
  virtual ~TextWidths() = default;

  // The width in pixels of one line of text, as the office lays it out in a
  // cell; nullopt when it would lay it out otherwise (a glyph the font
  // lacks, a line break, a control character).
  virtual std::optional<long> Width(std::string_view utf8) = 0;
  // True when the ten digits are equally wide: texts that differ only in
  // their digits are then equally wide.
  virtual bool DigitsAlike() = 0;
};

// The code point of a UTF-8 text at byte `i`, which moves past it;
// malformed bytes give U+FFFD.
std::uint32_t NextCodePoint(std::string_view utf8, std::size_t& i);

// Which font of a cell a text takes.
enum class Script {
  kWeak,     // digits, spaces, punctuation only: the office's own language decides
  kWestern,  // Latin, Greek, Cyrillic and the like
  kAsian,    // Chinese and Japanese letters, Hangul
  kOther,    // mixed Western and Asian, or complex scripts: not measured
};
Script ScriptOf(std::string_view utf8);

// The fonts of this machine as the office finds them.
class Fonts {
 public:
  Fonts();
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;
  ~Fonts();

  // The widths in the font the office renders for `spec`: the one
  // fontconfig matches for its name, language, weight and slant. Null when
  // there is none or it has not the weight and slant asked for (the office
  // would make them up). The result lives as long as this object.
  TextWidths* Find(const FontSpec& spec);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrin::automation::uno
