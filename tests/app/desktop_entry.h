// Reading a desktop entry as a desktop does: a key's value with the string
// escapes undone, and an Exec value turned into the argument list it runs
// (quoting and field codes as desktops read them).
#pragma once

#include <string>
#include <vector>

namespace kestrin::testing {

// The value of `key` in the [Desktop Entry] group, unescaped; "" if absent.
inline std::string DesktopEntryValue(const std::string& text, const std::string& key) {
  bool in_group = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line[0] == '[') {
      in_group = line == "[Desktop Entry]";
      continue;
    }
    if (!in_group || line.compare(0, key.size() + 1, key + "=") != 0) continue;
    std::string value;
    for (size_t i = key.size() + 1; i < line.size(); ++i) {
      if (line[i] != '\\' || i + 1 == line.size()) {
        value += line[i];
        continue;
      }
      char c = line[++i];
      value += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    return value;
  }
  return "";
}

// The arguments an Exec value runs with `files` opened: %f takes the first,
// %F all, %% is a percent sign, other field codes vanish.
inline std::vector<std::string> ExecArguments(const std::string& exec,
                                              const std::vector<std::string>& files) {
  std::vector<std::string> arguments;
  std::string current;
  bool has_current = false;
  bool quoted = false;
  for (size_t i = 0; i < exec.size(); ++i) {
    char c = exec[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < exec.size()) {
        current += exec[++i];
      } else {
        current += c;
      }
    } else if (c == '"') {
      quoted = true;
      has_current = true;
    } else if (c == ' ') {
      if (has_current) arguments.push_back(current);
      current.clear();
      has_current = false;
    } else {
      current += c;
      has_current = true;
    }
  }
  if (has_current) arguments.push_back(current);

  std::vector<std::string> expanded;
  for (const auto& argument : arguments) {
    if (argument == "%F") {
      expanded.insert(expanded.end(), files.begin(), files.end());
    } else if (argument == "%f") {
      if (!files.empty()) expanded.push_back(files.front());
    } else if (argument.size() == 2 && argument[0] == '%' && argument[1] != '%') {
      // a field code this test does not use
    } else {
      std::string text;
      for (size_t i = 0; i < argument.size(); ++i) {
        text += argument[i];
        if (argument[i] == '%' && i + 1 < argument.size() && argument[i + 1] == '%') ++i;
      }
      expanded.push_back(text);
    }
  }
  return expanded;
}

}  // namespace kestrin::testing
