// The pivot table over the written block: one or two row fields, one or two
// column fields ("0" for none) and one data field.
#pragma once

#include <string>

#include "automation/excel.h"

namespace kestrin::exporting {

// Does nothing when PvtName is "0". Otherwise builds the table from
// ShtName + "!" + OutRange on the active sheet; the new pivot sheet becomes
// active. Throws AutomationError on any refusal; earlier calls stay done.
void CreatePivotTable(automation::XlApplication& xl, const std::string& ShtName,
                      const std::string& OutRange, const std::string& PvtName,
                      const std::string& PvtRow1, const std::string& PvtCol1,
                      const std::string& PvtRow2, const std::string& PvtCol2,
                      const std::string& PvtVal);

}  // namespace kestrin::exporting
