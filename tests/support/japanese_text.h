// Whether a description reads as Japanese: the check the tests of the
// program's descriptions share.
#pragma once

#include <regex>
#include <set>
#include <string>

namespace kestrin::testsupport {

// Empty when `text` reads as Japanese: no Latin word outside quoted names
// and the words Japanese Access, VB and Excel keep in Latin letters. Else
// the first word that is not.
inline std::string EnglishWord(std::string text) {
  static const std::set<std::string> kKeptWords = {
      "ActiveX", "With", "Null", "ODBC", "ISAM", "SQL", "SELECT", "INTO", "FROM", "WHERE", "GROUP",
      "BY", "HAVING", "ORDER", "TRANSFORM", "PIVOT", "IN", "TOP", "DISTINCT", "INNER", "LEFT",
      "RIGHT", "Count", "Switch", "Access", "Application", "Kestrin", "MSysQueries", "MB",
      "Windows", "mdb", "accdb", "Shift", "JIS", "CP", "UTF", "URL", "UNO", "ID",
      // Excel's classes and members, and the names of environment variables.
      "Range", "Border", "Borders", "LineStyle", "Weight", "ColorIndex", "PivotField",
      "Orientation", "AutoFit", "Worksheet", "PivotTables", "PivotTableWizard", "DISPLAY",
      "WAYLAND", "xls"};
  text = std::regex_replace(text, std::regex("'[^']*'|\"[^\"]*\"|#[^#]*#"), "");
  static const std::regex kWord("[A-Za-z]{2,}");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), kWord);
       it != std::sregex_iterator(); ++it) {
    if (!kKeptWords.count(it->str())) return it->str();
  }
  return "";
}

}  // namespace kestrin::testsupport
