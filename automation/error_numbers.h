// The failure numbers of the program, each with its meaning: the number and
// the words Access with DAO, the VB runtime, Excel or COM give it. Every
// layer takes its numbers from this one table, so that a failure carries the
// same number wherever it is raised. The description the user reads comes
// from the message catalogue (messages.h), keyed by this table: the same
// number in the words Japanese Access, VB and Excel give it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kestrin::automation {

struct ErrorNumber {
  std::int32_t number;
  std::string_view meaning;  // what Access, VB, Excel or COM call it, in English

  constexpr operator std::int32_t() const noexcept { return number; }

  // The standard description from the message catalogue, each '|' in it
  // replaced by the next of `names` (an empty text once they run out).
  std::string Description(std::initializer_list<std::string_view> names = {}) const;
};

namespace errnum {

// The VB runtime's own.
inline constexpr ErrorNumber kInvalidProcedureCall{5, "Invalid procedure call or argument"};
inline constexpr ErrorNumber kOverflow{6, "Overflow"};
inline constexpr ErrorNumber kOutOfMemory{7, "Out of memory"};
inline constexpr ErrorNumber kSubscriptOutOfRange{9, "Subscript out of range"};
inline constexpr ErrorNumber kDivisionByZero{11, "Division by zero"};
inline constexpr ErrorNumber kTypeMismatch{13, "Type mismatch"};
inline constexpr ErrorNumber kOutOfStringSpace{14, "Out of string space"};
inline constexpr ErrorNumber kInternalError{51, "Internal error"};
inline constexpr ErrorNumber kFileNotFound{53, "File not found"};
inline constexpr ErrorNumber kDiskFull{61, "Disk full"};
inline constexpr ErrorNumber kPermissionDenied{70, "Permission denied"};
inline constexpr ErrorNumber kPathFileAccess{75, "Path/File access error"};
inline constexpr ErrorNumber kPathNotFound{76, "Path not found"};
inline constexpr ErrorNumber kObjectNotSet{91, "Object variable or With block variable not set"};
inline constexpr ErrorNumber kInvalidPatternString{93, "Invalid pattern string"};
inline constexpr ErrorNumber kInvalidUseOfNull{94, "Invalid use of Null"};
inline constexpr ErrorNumber kNoSuchControl{340, "Control array element '|' doesn't exist"};
inline constexpr ErrorNumber kCannotCreate{429, "ActiveX component can't create object"};

// Excel's, for any refusal of a method or property.
inline constexpr ErrorNumber kAppDefined{1004, "Application-defined or object-defined error"};

// COM's, for an automation server that is gone or does not answer.
inline constexpr ErrorNumber kDisconnected{-2147417848,  // RPC_E_DISCONNECTED
                                           "The object invoked has disconnected from its clients."};
inline constexpr ErrorNumber kCallTimedOut{-2147417825,  // RPC_E_TIMEOUT
                                           "This operation returned because the timeout period "
                                           "expired."};

// DAO: files, objects and records.
inline constexpr ErrorNumber kObjectNotFound{
    3011, "The Microsoft Access database engine could not find the object '|'."};
inline constexpr ErrorNumber kReservedError{3000,
                                            "Reserved error (|); there is no message for this "
                                            "error."};
inline constexpr ErrorNumber kNoCurrentRecord{3021, "No current record."};
inline constexpr ErrorNumber kCannotFindFile{3024, "Could not find file '|'."};
inline constexpr ErrorNumber kReadOnly{3027, "Cannot update. Database or object is read-only."};
inline constexpr ErrorNumber kNotValidPassword{3031, "Not a valid password."};
inline constexpr ErrorNumber kResourcesExceeded{3035, "System resource exceeded."};
inline constexpr ErrorNumber kInvalidPath{
    3044,
    "'|' isn't a valid path. Make sure that the path name is spelled correctly and that you are "
    "connected to the server on which the file resides."};
inline constexpr ErrorNumber kDamaged{3049,
                                      "Cannot open database '|'. It may not be a database that "
                                      "your application recognizes, or the file may be corrupt."};
inline constexpr ErrorNumber kLinkedTable{3151, "ODBC--connection to '|' failed."};
inline constexpr ErrorNumber kNoInstallableIsam{3170, "Could not find installable ISAM."};
inline constexpr ErrorNumber kInvalidOperation{3219, "Invalid operation."};
inline constexpr ErrorNumber kInvalidFieldType{3259, "Invalid field data type."};
inline constexpr ErrorNumber kItemNotFound{3265, "Item not found in this collection."};
inline constexpr ErrorNumber kUnrecognizedFormat{3343, "Unrecognized database format '|'."};
inline constexpr ErrorNumber kObjectClosed{3420, "Object invalid or no longer set."};
inline constexpr ErrorNumber kAlreadyOpen{7867, "You already have the database open."};

// DAO: queries.
inline constexpr ErrorNumber kTooFewParameters{3061, "Too few parameters. Expected |."};
inline constexpr ErrorNumber kCannotEvaluate{
    3071, "This expression is typed incorrectly, or it is too complex to be evaluated."};
inline constexpr ErrorNumber kSyntax{3075, "Syntax error in query expression '|'."};
inline constexpr ErrorNumber kCircularAlias{3076, "Circular reference caused by alias '|'."};
inline constexpr ErrorNumber kTableNotFound{
    3078,
    "The Microsoft Access database engine cannot find the input table or query '|'. Make sure "
    "it exists and that its name is spelled correctly."};
inline constexpr ErrorNumber kAmbiguousField{
    3079, "The specified field '|' could refer to more than one table listed in the FROM clause."};
inline constexpr ErrorNumber kUndefinedFunction{3085, "Undefined function '|' in expression."};
inline constexpr ErrorNumber kNestedAggregate{3095,
                                              "Cannot have aggregate function in expression (|)."};
inline constexpr ErrorNumber kAggregateInWhere{3096,
                                               "Cannot have aggregate function in WHERE clause."};
inline constexpr ErrorNumber kAggregateInGroupBy{3097,
                                                 "Cannot have aggregate function in GROUP BY "
                                                 "clause."};
inline constexpr ErrorNumber kCircularQuery{3103, "Circular reference caused by query '|'."};
inline constexpr ErrorNumber kDuplicateSource{
    3108, "The source name '|' is used twice in the FROM clause."};
inline constexpr ErrorNumber kCrosstabValue{
    3122, "The TRANSFORM value of a crosstab must be an aggregate."};
inline constexpr ErrorNumber kTooManyFields{3190, "Too many fields defined."};
inline constexpr ErrorNumber kSubqueryColumns{3306, "A subquery must return exactly one column."};
inline constexpr ErrorNumber kUnionColumns{3307,
                                           "The number of columns in the two selected tables or "
                                           "queries of a union query do not match."};
inline constexpr ErrorNumber kUnionOrder{
    3309, "The ORDER BY of a union query must name one of its output columns."};
inline constexpr ErrorNumber kSubqueryRows{3354,
                                           "At most one record can be returned by this subquery."};
inline constexpr ErrorNumber kDataTypeMismatch{3464, "Data type mismatch in criteria expression."};

// Every number above, for walking the table.
inline constexpr ErrorNumber kAll[] = {kInvalidProcedureCall,
                                       kOverflow,
                                       kOutOfMemory,
                                       kSubscriptOutOfRange,
                                       kDivisionByZero,
                                       kTypeMismatch,
                                       kOutOfStringSpace,
                                       kInternalError,
                                       kFileNotFound,
                                       kDiskFull,
                                       kPermissionDenied,
                                       kPathFileAccess,
                                       kPathNotFound,
                                       kObjectNotSet,
                                       kInvalidPatternString,
                                       kInvalidUseOfNull,
                                       kNoSuchControl,
                                       kCannotCreate,
                                       kAppDefined,
                                       kDisconnected,
                                       kCallTimedOut,
                                       kObjectNotFound,
                                       kReservedError,
                                       kNoCurrentRecord,
                                       kCannotFindFile,
                                       kReadOnly,
                                       kNotValidPassword,
                                       kResourcesExceeded,
                                       kInvalidPath,
                                       kDamaged,
                                       kLinkedTable,
                                       kNoInstallableIsam,
                                       kInvalidOperation,
                                       kInvalidFieldType,
                                       kItemNotFound,
                                       kUnrecognizedFormat,
                                       kObjectClosed,
                                       kAlreadyOpen,
                                       kTooFewParameters,
                                       kCannotEvaluate,
                                       kSyntax,
                                       kCircularAlias,
                                       kTableNotFound,
                                       kAmbiguousField,
                                       kUndefinedFunction,
                                       kNestedAggregate,
                                       kAggregateInWhere,
                                       kAggregateInGroupBy,
                                       kCircularQuery,
                                       kDuplicateSource,
                                       kCrosstabValue,
                                       kTooManyFields,
                                       kSubqueryColumns,
                                       kUnionColumns,
                                       kUnionOrder,
                                       kSubqueryRows,
                                       kDataTypeMismatch};

}  // namespace errnum

}  // namespace kestrin::automation
