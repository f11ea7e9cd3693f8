// The program's texts are UTF-8 std::string; Qt's are QString. The one
// conversion each way, for the window's code.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace kestrin::app {

inline QString Text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline std::string StdText(const QString& text) { return text.toStdString(); }

}  // namespace kestrin::app
