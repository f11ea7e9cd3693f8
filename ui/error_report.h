// The program's reports of failures: the export engine's error report
// ("エラーNO:" + number + CR LF + description, in an OK-only box titled
// "Kestrin Ver 0.1"), and the report of an internal fault, a failure of the
// program's own code rather than one the database, the office or a file
// reported.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "ui/message_box.h"

namespace kestrin::ui {

// "エラーNO:" and the number in decimal: the one spelling of a failure's
// number in every message.
std::string ErrorNumber(std::int32_t number);

std::string ErrorReportPrompt(std::int32_t number, const std::string& description);

void ShowErrorReport(MessageBox& box, std::int32_t number, const std::string& description);

// The report of an internal fault: the error report of the runtime's
// "Internal error" (51), naming where it happened (`where`: the handler or
// step), the kind of the fault and its text. An internal fault is a fault
// of the program itself; it is shown so that it is seen and can be
// reported, never as a failure the user could mend.
std::string InternalFaultPrompt(std::string_view where, const std::exception& fault);

void ShowInternalFault(MessageBox& box, std::string_view where, const std::exception& fault);

}  // namespace kestrin::ui
