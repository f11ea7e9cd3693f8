#include "export/column_letters.h"

#include "automation/failure.h"

namespace kestrin::exporting {

std::string ColTbl(int index) {
  if (index < 0 || index >= kColTblSize) {
    throw automation::AutomationError(
        automation::errnum::kSubscriptOutOfRange,
        "Subscript out of range: there is no sheet column " + std::to_string(index + 1));
  }
  std::string letters;
  for (int n = index + 1; n > 0; n = (n - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
  }
  return letters;
}

}  // namespace kestrin::exporting
