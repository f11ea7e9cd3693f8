#include "automation/uno/text_widths.h"

#include <fontconfig/fontconfig.h>
#include <hb.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <tuple>
#include <unordered_map>

namespace kestrin::automation::uno {
namespace {

Script ScriptOfCodePoint(std::uint32_t cp) {
  if (cp < 0x80) {
    const bool letter = (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z');
    return letter ? Script::kWestern : Script::kWeak;
  }
  switch (hb_unicode_script(hb_unicode_funcs_get_default(), cp)) {
    case HB_SCRIPT_COMMON:
    case HB_SCRIPT_INHERITED:
    case HB_SCRIPT_UNKNOWN:
      return Script::kWeak;
    case HB_SCRIPT_LATIN:
    case HB_SCRIPT_GREEK:
    case HB_SCRIPT_CYRILLIC:
    case HB_SCRIPT_ARMENIAN:
    case HB_SCRIPT_GEORGIAN:
      return Script::kWestern;
    case HB_SCRIPT_HAN:
    case HB_SCRIPT_HIRAGANA:
    case HB_SCRIPT_KATAKANA:
    case HB_SCRIPT_HANGUL:
    case HB_SCRIPT_BOPOMOFO:
      return Script::kAsian;
    default:
      return Script::kOther;
  }
}

// The widths of texts in one font file at one size.
class HarfBuzzWidths : public TextWidths {
 public:
  HarfBuzzWidths(const std::string& file, int index, int pixels, const std::string& language)
      : pixels_(pixels), language_(hb_language_from_string(language.c_str(), -1)) {
    hb_blob_t* blob = hb_blob_create_from_file(file.c_str());
    hb_face_t* face = hb_face_create(blob, static_cast<unsigned>(index));
    hb_blob_destroy(blob);
    upem_ = hb_face_get_upem(face);
    font_ = hb_font_create(face);
    hb_face_destroy(face);
    buffer_ = hb_buffer_create();
  }
  ~HarfBuzzWidths() override {
    hb_buffer_destroy(buffer_);
    hb_font_destroy(font_);
  }
  bool usable() const { return upem_ > 0 && hb_font_get_face(font_) != hb_face_get_empty(); }

  std::optional<long> Width(std::string_view utf8) override {
    auto cached = widths_.find(std::string(utf8));
    if (cached != widths_.end()) return cached->second;
    std::optional<long> width = Measure(utf8);
    widths_.emplace(std::string(utf8), width);
    return width;
  }

  bool DigitsAlike() override {
    if (!digits_alike_) digits_alike_ = MeasureDigits();
    return *digits_alike_;
  }

 private:
  bool MeasureDigits() {
    hb_position_t first = 0;
    for (char d = '0'; d <= '9'; ++d) {
      hb_codepoint_t glyph = 0;
      if (!hb_font_get_nominal_glyph(font_, static_cast<hb_codepoint_t>(d), &glyph)) return false;
      const hb_position_t advance = hb_font_get_glyph_h_advance(font_, glyph);
      if (d == '0') first = advance;
      if (advance != first) return false;
    }
    return true;
  }

  std::optional<long> Measure(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
      const std::uint32_t cp = NextCodePoint(utf8, i);
      if (cp < 0x20 || cp == 0x7F || cp == 0xFFFD) return std::nullopt;
    }
    hb_buffer_clear_contents(buffer_);
    hb_buffer_add_utf8(buffer_, utf8.data(), static_cast<int>(utf8.size()), 0,
                       static_cast<int>(utf8.size()));
    hb_buffer_set_direction(buffer_, HB_DIRECTION_LTR);
    hb_buffer_set_language(buffer_, language_);
    hb_buffer_guess_segment_properties(buffer_);
    hb_shape(font_, buffer_, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* glyphs = hb_buffer_get_glyph_infos(buffer_, &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer_, &count);
    // Each glyph's advance is rounded to whole pixels on its own.
    const double scale = static_cast<double>(pixels_) / upem_;
    long width = 0;
    for (unsigned g = 0; g < count; ++g) {
      if (glyphs[g].codepoint == 0) return std::nullopt;  // another font would draw it
      width += std::lround(positions[g].x_advance * scale);
    }
    return width;
  }

  int pixels_;
  hb_language_t language_;
  unsigned upem_ = 0;
  hb_font_t* font_ = nullptr;
  hb_buffer_t* buffer_ = nullptr;
  std::unordered_map<std::string, std::optional<long>> widths_;
  std::optional<bool> digits_alike_;
};

int FcWeight(double weight) {
  if (weight >= 90 && weight <= 100) return FC_WEIGHT_REGULAR;
  if (weight == 150) return FC_WEIGHT_BOLD;
  return -1;
}

int FcSlant(int slant) {
  switch (slant) {
    case 0:
      return FC_SLANT_ROMAN;
    case 1:
      return FC_SLANT_OBLIQUE;
    case 2:
      return FC_SLANT_ITALIC;
    default:
      return -1;
  }
}

// fontconfig's language for a tag such as "ja-JP": "ja".
std::string FcLanguage(const std::string& tag) {
  std::string out;
  for (char c : tag) {
    if (c == '-' || c == '_') break;
    out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  return out;
}

}  // namespace

std::uint32_t NextCodePoint(std::string_view s, std::size_t& i) {
  const auto b = static_cast<unsigned char>(s[i++]);
  if (b < 0x80) return b;
  int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
  if (extra == 0) return 0xFFFD;
  std::uint32_t cp = b & (0x3F >> extra);
  for (; extra > 0 && i < s.size(); --extra) {
    const auto c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (c & 0x3F);
    ++i;
  }
  return extra == 0 ? cp : 0xFFFD;
}

Script ScriptOf(std::string_view utf8) {
  Script script = Script::kWeak;
  for (std::size_t i = 0; i < utf8.size();) {
    const Script s = ScriptOfCodePoint(NextCodePoint(utf8, i));
    if (s == Script::kWeak || s == script) continue;
    if (s == Script::kOther || script != Script::kWeak) return Script::kOther;
    script = s;
  }
  return script;
}

struct Fonts::Impl {
  using Key = std::tuple<std::string, double, double, int, std::string>;
  std::map<Key, std::unique_ptr<HarfBuzzWidths>> found;

  std::unique_ptr<HarfBuzzWidths> Match(const FontSpec& spec) {
    const int weight = FcWeight(spec.weight), slant = FcSlant(spec.slant);
    if (weight < 0 || slant < 0 || spec.family.empty()) return nullptr;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(spec.family.c_str()));
    const std::string language = FcLanguage(spec.language);
    if (!language.empty()) {
      FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language.c_str()));
    }
    FcPatternAddInteger(pattern, FC_WEIGHT, weight);
    FcPatternAddInteger(pattern, FC_SLANT, slant);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) return nullptr;
    FcChar8* file = nullptr;
    int index = 0, matched_weight = -1, matched_slant = -1;
    std::unique_ptr<HarfBuzzWidths> widths;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
        FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch &&
        FcPatternGetInteger(match, FC_WEIGHT, 0, &matched_weight) == FcResultMatch &&
        FcPatternGetInteger(match, FC_SLANT, 0, &matched_slant) == FcResultMatch &&
        // A weight or slant the font lacks is made up by the office.
        (matched_weight >= FC_WEIGHT_BOLD) == (weight >= FC_WEIGHT_BOLD) &&
        (matched_slant != FC_SLANT_ROMAN) == (slant != FC_SLANT_ROMAN)) {
      // The size in whole pixels of a 96 dpi device, from the size in twips.
      const int pixels = static_cast<int>(std::lround(spec.points * 20 * 96 / 1440));
      widths = std::make_unique<HarfBuzzWidths>(reinterpret_cast<const char*>(file), index, pixels,
                                                language);
      if (!widths->usable()) widths.reset();
    }
    FcPatternDestroy(match);
    return widths;
  }
};

Fonts::Fonts() : impl_(std::make_unique<Impl>()) {}
Fonts::~Fonts() = default;

TextWidths* Fonts::Find(const FontSpec& spec) {
  Impl::Key key{spec.family, spec.points, spec.weight, spec.slant, spec.language};
  auto it = impl_->found.find(key);
  if (it == impl_->found.end()) it = impl_->found.emplace(key, impl_->Match(spec)).first;
  return it->second.get();
}

}  // namespace kestrin::automation::uno
