// The export engine's error report: "エラーNO:" + number + CR LF +
// description, in an OK-only box titled "Kestrin Ver 0.1".
#pragma once

#include <cstdint>
#include <string>

#include "ui/message_box.h"

namespace kestrin::ui {

std::string ErrorReportPrompt(std::int32_t number, const std::string& description);

void ShowErrorReport(MessageBox& box, std::int32_t number, const std::string& description);

}  // namespace kestrin::ui
