#include "ui/error_report.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "automation/error_numbers.h"
#include "automation/messages.h"

namespace kestrin::ui {
namespace {

// The readable name of the fault's type ("std::out_of_range").
std::string KindOf(const std::exception& fault) {
  const char* mangled = typeid(fault).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> readable(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  return status == 0 && readable ? readable.get() : mangled;
}

}  // namespace

std::string ErrorNumber(std::int32_t number) { return "エラーNO:" + std::to_string(number); }

std::string ErrorReportPrompt(std::int32_t number, const std::string& description) {
  return ErrorNumber(number) + "\r\n" + description;
}

void ShowErrorReport(MessageBox& box, std::int32_t number, const std::string& description) {
  box.Show(ErrorReportPrompt(number, description), kTitle);
}

std::string InternalFaultPrompt(std::string_view where, const std::exception& fault) {
  return ErrorReportPrompt(automation::errnum::kInternalError,
                           automation::msg::kInternalFault({where, KindOf(fault), fault.what()}));
}

void ShowInternalFault(MessageBox& box, std::string_view where, const std::exception& fault) {
  box.Show(InternalFaultPrompt(where, fault), kTitle);
}

}  // namespace kestrin::ui
