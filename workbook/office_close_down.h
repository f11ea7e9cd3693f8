// The one rule by which the program closes down an office: alerts off, the
// active workbook closed without saving, the application quit. Choosing
// another workbook, shutdown, the end of an unattended run and the office
// session of several patterns all end an office this way.
#pragma once

#include "automation/excel.h"

namespace kestrin::workbook {

// Each of the three steps is tried on its own; a step the office refuses
// (an AutomationError, as when no workbook is open any more) is skipped and
// the next one tried. Any other exception is passed on.
void CloseDownOffice(automation::XlApplication& office);

}  // namespace kestrin::workbook
