#include "workbook/office_close_down.h"

#include "automation/failure.h"

namespace kestrin::workbook {
namespace {

template <class Step>
void Try(Step step) {
  try {
    step();
  } catch (const automation::AutomationError&) {
  }
}

}  // namespace

void CloseDownOffice(automation::XlApplication& office) {
  Try([&] { office.SetDisplayAlerts(false); });
  Try([&] { office.ActiveWorkbook()->Close(false); });
  Try([&] { office.Quit(); });
}

}  // namespace kestrin::workbook
