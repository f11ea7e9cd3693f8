// The numbers of the failures the Access reader and its query engine raise,
// as Access, DAO and the runtime number them: one table, so that a failure
// carries the same number wherever it is raised.
#pragma once

#include <cstdint>

#include "automation/failure.h"

namespace kestrin::automation::mdb::err {

// The runtime's own.
inline constexpr std::int32_t kInvalidProcedureCall = 5;  // "Invalid procedure call or argument"
inline constexpr std::int32_t kOverflow = errnum::kOverflow;
inline constexpr std::int32_t kDivisionByZero = 11;    // "Division by zero"
inline constexpr std::int32_t kInvalidUseOfNull = 94;  // "Invalid use of Null"
inline constexpr std::int32_t kObjectNotSet = errnum::kObjectNotSet;
inline constexpr std::int32_t kCannotCreateObject = 429;  // "ActiveX component can't create object"

// DAO: files and objects.
inline constexpr std::int32_t kReservedError = 3000;  // a query that failed otherwise
inline constexpr std::int32_t kFileNotFound = 3024;   // "Could not find file '…'."
inline constexpr std::int32_t kReadOnly =
    3027;  // "Cannot update. Database or object is read-only."
inline constexpr std::int32_t kResourcesExceeded = 3035;  // "System resource exceeded."
inline constexpr std::int32_t kNoCurrentRecord = errnum::kNoCurrentRecord;
inline constexpr std::int32_t kDamaged = 3049;  // "Cannot open database '…'. …"
inline constexpr std::int32_t kTooFewParameters = errnum::kTooFewParameters;
inline constexpr std::int32_t kLinkedTable = 3151;       // "ODBC--connection to '…' failed."
inline constexpr std::int32_t kInvalidOperation = 3219;  // "Invalid operation."
inline constexpr std::int32_t kInvalidFieldType = 3259;  // "Invalid field data type."
inline constexpr std::int32_t kItemNotFound = errnum::kItemNotFound;
inline constexpr std::int32_t kUnrecognizedFormat = 3343;  // "Unrecognized database format '…'."
inline constexpr std::int32_t kObjectClosed = 3420;        // "Object invalid or no longer set."
inline constexpr std::int32_t kAlreadyOpen = 7867;         // "You already have the database open."

// DAO: queries.
inline constexpr std::int32_t kCannotEvaluate =
    3071;                                      // "This expression is typed incorrectly, or …"
inline constexpr std::int32_t kSyntax = 3075;  // "Syntax error … in query expression …"
inline constexpr std::int32_t kCircularAlias = 3076;  // "Circular reference caused by alias …"
inline constexpr std::int32_t kTableNotFound = 3078;  // "… cannot find the input table or query …"
inline constexpr std::int32_t kAmbiguousField = 3079;  // "… could refer to more than one table …"
inline constexpr std::int32_t kUndefinedFunction = 3085;  // "Undefined function '…' in expression."
inline constexpr std::int32_t kNestedAggregate =
    3095;  // "Cannot have aggregate function in expression"
inline constexpr std::int32_t kAggregateInWhere =
    3096;  // "Cannot have aggregate function in WHERE clause"
inline constexpr std::int32_t kAggregateInGroupBy = 3097;  // "… in GROUP BY clause"
inline constexpr std::int32_t kCircularQuery = 3103;    // "Circular reference caused by query …"
inline constexpr std::int32_t kDuplicateSource = 3108;  // a source name used twice in FROM
inline constexpr std::int32_t kCrosstabValue = 3122;    // a TRANSFORM value that is no aggregate
inline constexpr std::int32_t kTooManyFields = 3190;    // "Too many fields defined."
inline constexpr std::int32_t kSubqueryColumns = 3306;  // a subquery of more than one column
inline constexpr std::int32_t kUnionColumns = 3307;     // union parts of different widths
inline constexpr std::int32_t kUnionOrder = 3309;       // union ORDER BY not naming an output
inline constexpr std::int32_t kTypeMismatch = 3464;  // "Data type mismatch in criteria expression."

}  // namespace kestrin::automation::mdb::err
