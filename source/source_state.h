// The module state of the source side: the Access application and the DAO
// database of the chosen file. Shared by the window, pattern loading and
// the unattended run; owned by the database choice.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "automation/access.h"

namespace kestrin::source {

struct SourceState {
  // Access application (attached or started); empty until the first choice.
  std::shared_ptr<automation::AccessApplication> AcApp;
  // DAO database of Access's current database; empty until one is open.
  std::shared_ptr<automation::DaoDatabase> AcDb;
  // The path the last database choice returned (empty after a cancel).
  std::string MdbPath;
  // 1 once the program started its own Access; never set back.
  std::int16_t AcNewF = 0;
  // Entries added by the last list filler.
  std::int16_t ListCnt = 0;
};

}  // namespace kestrin::source
