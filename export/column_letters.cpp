#include "export/column_letters.h"

#include "automation/failure.h"

namespace kestrin::exporting {

std::string ColTbl(int index) {
  if (index < 0 || index >= kColTblSize) {
    throw automation::AutomationError(automation::errnum::kSubscriptOutOfRange,
                                      automation::errnum::kSubscriptOutOfRange.Description() +
                                          ": the block would need sheet column " +
                                          std::to_string(index + 1) + ", beyond column AZ (52)");
  }
  std::string letters;
  if (index >= 26) letters += 'A';
  letters += static_cast<char>('A' + index % 26);
  return letters;
}

}  // namespace kestrin::exporting
