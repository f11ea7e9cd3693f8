#include "ui/error_report.h"

namespace kestrin::ui {

std::string ErrorReportPrompt(std::int32_t number, const std::string& description) {
  return "エラーNO:" + std::to_string(number) + "\r\n" + description;
}

void ShowErrorReport(MessageBox& box, std::int32_t number, const std::string& description) {
  box.Show(ErrorReportPrompt(number, description), kTitle);
}

}  // namespace kestrin::ui
