// The Access automation server of access.h, served from Access files on disk
// through libmdb. Application code includes only this header (never libmdb).
//
// Each CreateObject() makes a new application object and registers it in the
// server's running-object table; GetObject() attaches to the oldest
// registered application that some part of the program still holds, or
// throws 429 when none does. Databases are opened read-only: the user's file
// is never written, so setting a database property always fails (3027).
#pragma once

#include <memory>

#include "automation/access.h"

namespace kestrin::automation::mdb {

std::unique_ptr<AccessServer> MakeMdbAccessServer();

}  // namespace kestrin::automation::mdb
