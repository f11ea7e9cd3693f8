// Single (single-precision) fields as Access hands their values on. Access
// computes with the stored float (0.15 is stored as 0.1500000059604645), but
// a Single value itself, a table's or a query's Single column, reaches its
// reader as the shortest decimal that reads back as the same float (0.15).
#pragma once

namespace kestrin::automation::mdb {

// The shortest decimal that reads back as `value`, as a double.
double SingleAsShown(float value);

}  // namespace kestrin::automation::mdb
