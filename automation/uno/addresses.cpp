#include "automation/uno/addresses.h"

#include <algorithm>
#include <charconv>

#include "automation/failure.h"
#include "automation/messages.h"

namespace kestrin::automation::uno {
namespace {

[[noreturn]] void Bad(const std::string& what, std::string_view text) {
  throw AutomationError(errnum::kAppDefined, msg::kNotAReference({what, text}));
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Parses a decimal number from 1 to limit that makes up all of text.
bool ParseNumber(std::string_view text, int limit, int& out) {
  if (text.empty() || text.size() > 9) return false;
  if (!std::all_of(text.begin(), text.end(), IsDigit)) return false;
  int value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  if (value < 1 || value > limit) return false;
  out = value - 1;
  return true;
}

bool ParseLetters(std::string_view text, int& out) {
  if (text.empty() || text.size() > 3) return false;
  int value = 0;
  for (char c : text) {
    if (!IsLetter(c)) return false;
    value = value * 26 + ((c & ~0x20) - 'A' + 1);
  }
  if (value > kMaxColumns) return false;
  out = value - 1;
  return true;
}

bool ParseA1Cell(std::string_view text, CellPos& out) {
  size_t letters = 0;
  while (letters < text.size() && IsLetter(text[letters])) ++letters;
  return ParseLetters(text.substr(0, letters), out.col) &&
         ParseNumber(text.substr(letters), kMaxRows, out.row);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

Block Ordered(int r0, int c0, int r1, int c1) {
  return Block{std::min(r0, r1), std::min(c0, c1), std::max(r0, r1), std::max(c0, c1)};
}

}  // namespace

Grid GridOf(const std::filesystem::path& workbook) {
  std::string ext = workbook.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  if (ext == ".xls" || ext == ".xlt") return Grid{65536, 256};
  return Grid{};
}

CellPos ParseR1C1(std::string_view reference) {
  CellPos pos;
  size_t c = reference.find('c');
  if (reference.size() < 4 || reference.front() != 'r' || c == std::string_view::npos ||
      !ParseNumber(reference.substr(1, c - 1), kMaxRows, pos.row) ||
      !ParseNumber(reference.substr(c + 1), kMaxColumns, pos.col)) {
    Bad(msg::kRefCell(), reference);
  }
  return pos;
}

Block ParseA1Block(std::string_view address) {
  std::string_view text = Trim(address);
  size_t colon = text.find(':');
  CellPos a, b;
  if (colon == std::string_view::npos) {
    if (!ParseA1Cell(text, a)) Bad(msg::kRefRange(), address);
    return Block{a.row, a.col, a.row, a.col};
  }
  if (!ParseA1Cell(text.substr(0, colon), a) || !ParseA1Cell(text.substr(colon + 1), b)) {
    Bad(msg::kRefRange(), address);
  }
  return Ordered(a.row, a.col, b.row, b.col);
}

Block ParseRowSpan(std::string_view span) {
  std::string_view text = Trim(span);
  size_t colon = text.find(':');
  int r0 = 0, r1 = 0;
  bool ok = colon == std::string_view::npos
                ? ParseNumber(text, kMaxRows, r0) && ParseNumber(text, kMaxRows, r1)
                : ParseNumber(text.substr(0, colon), kMaxRows, r0) &&
                      ParseNumber(text.substr(colon + 1), kMaxRows, r1);
  if (!ok) Bad(msg::kRefRows(), span);
  return Ordered(r0, 0, r1, kMaxColumns - 1);
}

Block ParseColumnSpan(std::string_view span) {
  std::string_view text = Trim(span);
  size_t colon = text.find(':');
  int c0 = 0, c1 = 0;
  bool ok = colon == std::string_view::npos ? ParseLetters(text, c0) && ParseLetters(text, c1)
                                            : ParseLetters(text.substr(0, colon), c0) &&
                                                  ParseLetters(text.substr(colon + 1), c1);
  if (!ok) Bad(msg::kRefColumns(), span);
  return Ordered(0, c0, kMaxRows - 1, c1);
}

std::string ColumnLetters(int col) {
  std::string letters;
  for (int n = col + 1; n > 0; n = (n - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
  }
  return letters;
}

SheetBlock ParseSheetBlock(std::string_view source) {
  size_t bang = source.rfind('!');
  if (bang == std::string_view::npos || bang == 0) Bad(msg::kRefSource(), source);
  std::string sheet(source.substr(0, bang));
  if (sheet.size() >= 2 && sheet.front() == '\'' && sheet.back() == '\'') {
    std::string unquoted;
    for (size_t i = 1; i + 1 < sheet.size(); ++i) {
      unquoted += sheet[i];
      if (sheet[i] == '\'' && i + 2 < sheet.size() && sheet[i + 1] == '\'') ++i;
    }
    sheet = unquoted;
  }
  if (sheet.empty()) Bad(msg::kRefSource(), source);
  return SheetBlock{sheet, ParseA1Block(source.substr(bang + 1))};
}

}  // namespace kestrin::automation::uno
