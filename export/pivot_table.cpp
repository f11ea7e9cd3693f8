#include "export/pivot_table.h"

namespace kestrin::exporting {

namespace {

// One name, or the two names as a list when the second is not "0".
automation::PivotFieldNames AxisFields(const std::string& first, const std::string& second) {
  if (second != "0") return std::vector<std::string>{first, second};
  return first;
}

}  // namespace

void CreatePivotTable(automation::XlApplication& app, const std::string& ShtName,
                      const std::string& OutRange, const std::string& PvtName,
                      const std::string& PvtRow1, const std::string& PvtCol1,
                      const std::string& PvtRow2, const std::string& PvtCol2,
                      const std::string& PvtVal) {
  if (PvtName == "0") return;
  app.ActiveSheet()->PivotTableWizard(automation::xl::kDatabase, ShtName + "!" + OutRange, "",
                                      PvtName);
  app.ActiveSheet()->PivotTables(PvtName)->AddFields(AxisFields(PvtRow1, PvtRow2),
                                                     AxisFields(PvtCol1, PvtCol2));
  app.ActiveSheet()->PivotTables(PvtName)->PivotFields(PvtVal)->SetOrientation(
      automation::xl::kDataField);
}

}  // namespace kestrin::exporting
