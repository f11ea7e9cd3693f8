#include "automation/uno/office_words.h"

#include <regex>

#include "automation/messages.h"

namespace kestrin::automation::uno {

std::string OfficeWords(std::string_view message) {
  // A file error (disk full, no permission, file gone) in the user's words.
  if (std::string io = OfficeIoWords(message); !io.empty()) return io;
  std::string text(message);
  // Reports of a failed interface query name nothing but types.
  if (text.find("unsatisfied query for interface") != std::string::npos) return {};
  static const std::regex kLocation(
      R"(\s*\(?\bat\s+[^\s:]*\.(cxx|hxx|cpp|hpp|cc|c|h|mm)(:\d+)+\)?)");
  static const std::regex kTypeName(
      R"(\b(com\.sun\.star|css|cppu|rtl|osl|std|sal)(\.|::)[A-Za-z0-9_.:]+)");
  static const std::regex kExceptionWord(R"(\b[A-Za-z_]*Exception\b:?)");
  static const std::regex kBlanks(R"(\s{2,})");
  text = std::regex_replace(text, kLocation, "");
  text = std::regex_replace(text, kTypeName, "");
  text = std::regex_replace(text, kExceptionWord, "");
  text = std::regex_replace(text, kBlanks, " ");
  // Punctuation left dangling at either end, and empty brackets.
  auto edge = [](char c) {
    return c == ' ' || c == ':' || c == ';' || c == ',' || c == '-' || c == '!' || c == '\n' ||
           c == '\r' || c == '\t';
  };
  for (std::string::size_type at; (at = text.find("()")) != std::string::npos;) {
    text.erase(at, 2);
  }
  while (!text.empty() && edge(text.front())) text.erase(text.begin());
  while (!text.empty() && edge(text.back())) text.pop_back();
  bool has_letter = false;
  for (unsigned char c : text)
    has_letter |= (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
  return has_letter ? text : std::string();
}

}  // namespace kestrin::automation::uno
