// SQL Server's error numbers and messages for the failures the embedded
// engine reports, so that callers see what a real server would say.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/error.h"
#include "platform/dts/row_errors.h"

namespace sqlsrv {

inline constexpr const char* kErrorSource = dts::kSqlServerErrorSource;

// The error a batch stops with after Engine::Interrupt (OLE DB's
// "cancelled").
inline constexpr std::int32_t kErrCancelled = static_cast<std::int32_t>(0x80040E4Eu);

enum SqlError : std::int32_t {
  kSyntax = 102,                 // Incorrect syntax near '%s'.
  kSyntaxKeyword = 156,          // Incorrect syntax near the keyword '%s'.
  kCreateProcFirst = 111,        // 'CREATE PROCEDURE' must be the first statement in a query batch.
  kCaseNesting = 125,            // Case expressions may only be nested to level %d.
  kSizeTooLarge = 131,           // The size (%d) given to the %s '%s' exceeds the maximum allowed for any data type (%d).
  kNestedTooDeeply = 191,        // Some part of your SQL statement is nested too deeply. ...
  kConstantOrderBy = 408,        // A constant expression was encountered in the ORDER BY list, position %d.
  kInvalidLength = 1001,         // Line %d: Length or precision %d is invalid.
  kColumnScale = 183,            // The scale (%d) for column '%ls' must be within the range %d to %d.
  kScaleOverPrecision = 192,     // The scale must be less than or equal to the precision.
  kNumberOutOfRange = 1007,      // The number '%s' is out of the range for numeric representation (maximum precision 38).
  kPrecisionTooLarge = 2750,     // Column or parameter #%d: Specified column precision %d is greater than the maximum precision of %d.
  kInvalidColumn = 207,          // Invalid column name '%s'.
  kInvalidObject = 208,          // Invalid object name '%s'.
  kAmbiguousColumn = 209,        // Ambiguous column name '%s'.
  kOverflow = 220,               // Arithmetic overflow error for data type %s, value = %s.
  kConversion = 245,             // Syntax error converting the %s value '%s' to a column of data type %s.
  kDateConversion = 241,         // Syntax error converting datetime from character string.
  kDateRange = 242,              // ... out-of-range datetime value.
  kNotNull = 515,                // Cannot insert the value NULL into column ...
  kIdentityInsert = 544,         // Cannot insert explicit value for identity column ...
  kConstraint = 547,             // ... conflicted with ... constraint ...
  kColumnCount = 213,            // Insert Error: Column name or number of supplied values does not match table definition.
  kObjectExists = 2714,          // There is already an object named '%s' in the database.
  kDuplicateKey = 2627,          // Violation of %s constraint '%s'. Cannot insert duplicate key in object '%s'.
  kNoProcedure = 2812,           // Could not find stored procedure '%s'.
  kCannotDropTable = 3701,       // Cannot drop the %s '%s', because it does not exist in the system catalog.
  kSaveNoTransaction = 628,      // Cannot issue SAVE TRANSACTION when there is no active transaction.
  kNoSavepoint = 6401,           // Cannot roll back %.*ls. No transaction or savepoint of that name was found.
  kCommitNoBegin = 3902,         // The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.
  kRollbackNoBegin = 3903,       // The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.
  kCannotOpenDatabase = 4060,    // Cannot open database requested in login '%s'. Login fails.
  kDatabaseExists = 1801,        // Database '%s' already exists.
  kLockTimeout = 1222,           // Lock request time out period exceeded.
  kNoSpace = 1105,               // Could not allocate space for object '%s' in database '%s' ... filegroup is full.
  kOutOfMemory = 701,            // There is insufficient system memory to run this query.
  kIoError = 823,                // I/O error %s detected during %s ... in file '%s'.
  kDatabaseReadOnly = 3906,      // Failed to update database '%s' because the database is read-only.
  kDeadlock = 1205,              // Transaction (Process ID %d) was deadlocked on lock resources ... Rerun the transaction.
  kTransactionDoomed = 3930,     // The current transaction cannot be committed ... Roll back the transaction.
  kUncommittableAtEnd = 3998,    // Uncommittable transaction is detected at the end of the batch. The transaction is rolled back.
  kCannotOpenFile = 5120,        // Unable to open the physical file "%s". Operating system error %d: "%s".
  kViewNotUpdatable = 4406,      // Update or insert of view or function '%s' failed because it contains a derived or constant field.
  kViewMultipleTables = 4405,    // View or function '%s' is not updatable because the modification affects multiple base tables.
  kNotATable = 4708,             // Could not truncate object '%s' because it is not a table.
  kIdentityUpdate = 8102,        // Cannot update identity column '%s'.
  kIdentityInsertOther = 8107,   // IDENTITY_INSERT is already ON for table '%s'. ...
  kConvertOverflow = 8115,       // Arithmetic overflow error converting %s to data type %s.
  kExpressionTooComplex = 8632,  // Internal error: An expression services limit has been reached. ...
  kDivideByZero = 8134,          // Divide by zero error encountered.
  kTruncation = 8152,            // String or binary data would be truncated.
  kNoIdentity = 8106,            // Table '%s' does not have the identity property. Cannot perform SET operation.
  kLoginFailed = 18456,          // Login failed for user '%s'.
  kVariableRedeclared = 134,     // The variable name '%s' has already been declared. ...
  kUndeclaredVariable = 137,     // Must declare the scalar variable "%s".
  kAssignAndRetrieve = 141,      // A SELECT statement that assigns a value to a variable must not be combined with data-retrieval operations.
  kReturnValueHere = 178,        // A RETURN statement with a return value cannot be used in this context.
  kOutputConstant = 179,         // Cannot use the OUTPUT option when passing a constant to a stored procedure.
  kTooManyParameters = 180,      // There are too many parameters in this %s statement. The maximum number is %d.
  kNamedThenPositional = 119,    // Must pass parameter number %d and subsequent parameters as '@name = value'. ...
  kParameterNotSupplied = 201,   // Procedure or function '%s' expects parameter '%s', which was not supplied.
  kStatementNotUnicode = 214,    // Procedure expects parameter '%s' of type 'ntext/nchar/nvarchar'.
  kNestingLevel = 217,           // Maximum stored procedure, function, trigger, or view nesting level exceeded (limit %d).
  kTooManyRequestParameters = 8003,  // The incoming request has too many parameters. ...
  kRpcUnknownType = 8009,        // The incoming TDS RPC protocol stream is incorrect. Parameter %d ("%.*ls"): Data type 0x%02X is unknown.
  kRpcBadValue = 8016,           // ... Parameter %d ("%.*ls"): Data type 0x%02X has an invalid data length or metadata length.
  kArgumentConversion = 8114,    // Error converting data type %s to %s.
  kParameterRepeated = 8143,     // Parameter '%s' was supplied multiple times.
  kTooManyArguments = 8144,      // Procedure or function %s has too many arguments specified.
  kNotAParameter = 8145,         // %s is not a parameter for procedure %s.
  kNotOutputParameter = 8162,    // The formal parameter "%s" was not declared as an OUTPUT parameter, ...
  kQueryParameterNotSupplied = 8178,  // The parameterized query '%s' expects the parameter '%s', which was not supplied.
  kDatabaseNotFound = 911,       // Database '%.*ls' does not exist. Make sure that the name is entered correctly.
  kUseInProcedure = 154,         // a USE database statement is not allowed in a procedure, function or trigger.
  kWaitforTime = 148,            // Incorrect time syntax in time string '%.*ls' used with WAITFOR.
  kMaxRecursion = 530,           // The statement terminated. The maximum recursion %d has been exhausted ...
  kRaiseNumber = 2732,           // Error number %ld is invalid. The number must be from %ld through %ld and it cannot be 50000.
  kRaiseSeverity = 2754,         // Error severity levels greater than %d can only be specified by members of the sysadmin role, ...
  kRaiseState = 2756,            // Invalid value %d for state. Valid range is from %d to %d.
  kRaiseArgumentType = 2748,     // Cannot specify %ls data type (parameter %d) as a substitution parameter.
  kRaiseFormatType = 2786,       // The data type of substitution parameter %d does not match the type its format expects.
  kRaiseFormat = 2787,           // Invalid format: '%.*ls'.
  kRaiseNoMessage = 18054,       // Error %d, severity %d, state %d was raised, but no message with that error number was found ...
  kUserError = 50000,            // RAISERROR with a message of its own
  kThrowNumber = 35100,          // Error number %d in the THROW statement is outside the valid range. ...
  kRethrowOutsideCatch = 10704,  // To rethrow an error, a THROW statement must be used inside a CATCH block. ...
  kNotSupported = dts::kNotSupportedError,  // the engine's own: a statement the embedded server does not support
};

inline com::Error SqlErr(std::int32_t number, std::string message) {
  return dts::SqlServerError(number, std::move(message));
}

// The severity SQL Server gives an error it raises itself (RAISERROR and
// THROW say their own): 10 and below informational, 11 to 16 errors the
// user can correct, 17 and above a lack of resources or the server's own.
int SeverityOf(std::int32_t number);

// Whether SQL Server finds the error while it compiles a statement: a name
// that resolves to nothing, a query or expression without a meaning. TRY
// ... CATCH does not catch such an error raised at its own level, only one
// that comes from a procedure or dynamic SQL it runs.
bool IsCompileError(std::int32_t number);

// What an error ends when no TRY block catches it and XACT_ABORT is OFF,
// as SQL Server classifies it: the statement alone (its work undone, the
// batch or procedure going on with the next statement), the scope it was
// raised in (a batch, or one call of a procedure or of dynamic SQL, whose
// caller goes on), or the whole batch and every procedure running.
enum class ErrorReach { kStatement, kScope, kBatch };

// The reach of error `e` raised with `severity`: compile errors the scope,
// conversion errors, deadlocks, severity 17 and above, the storage's
// failures and a cancel the batch, every other the statement.
ErrorReach ReachOf(const com::Error& e, int severity);

// Whether error `e` raised with `severity` is a failure beneath the
// statements (the storage's, SQLite's, a cancel, a resource), after which
// SQLite may have undone more than the failing statement.
bool IsFailureBeneathStatements(const com::Error& e, int severity);

// The errors a row can meet on its way into a table (platform/dts/row_errors.h).
using dts::NotNullError;
using dts::DuplicateKeyError;
using dts::InsertForeignKeyError;
using dts::TruncationError;
using dts::OverflowError;
using dts::ConvertOverflowError;
using dts::ConversionError;
using dts::NumericConversionError;
using dts::NumericOverflowError;
using dts::MoneySyntaxError;
using dts::DateSyntaxError;
using dts::GuidConversionError;
using dts::DateRangeError;
using dts::ImplicitConversionError;
using dts::ExplicitConversionError;

// What a statement raises when it nests deeper than the server parses:
// subqueries, parentheses, blocks, or an operator chain longer than SQLite
// evaluates.
inline com::Error NestedTooDeeplyError() {
  return SqlErr(kNestedTooDeeply,
                "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller queries.");
}

// SQLite's refusal of a statement that nests past its own parser's or
// expression limits, which reaches it only when the engine's checks let
// the statement through; the caller raises 191 for it.
inline bool IsSqliteNestingLimit(const com::Error& e) {
  const std::string& d = e.description();
  return e.source() == "SQLite" && (d.find("parser stack overflow") != std::string::npos ||
                                    d.find("Expression tree is too large") != std::string::npos ||
                                    d.find("too many terms in compound SELECT") != std::string::npos);
}

// 137: a variable used where none of its name is declared.
inline com::Error UndeclaredVariableError(const std::string& name) {
  return SqlErr(kUndeclaredVariable, "Must declare the scalar variable \"" + name + "\".");
}

// 134: a variable or parameter declared twice in one batch or procedure.
inline com::Error VariableRedeclaredError(const std::string& name) {
  return SqlErr(kVariableRedeclared, "The variable name '" + name +
                                         "' has already been declared. Variable names must be unique within a query "
                                         "batch or stored procedure.");
}

// What a statement raises when another connection's lock outlasted the
// session's LOCK_TIMEOUT.
inline com::Error LockTimeoutError() { return SqlErr(kLockTimeout, "Lock request time out period exceeded."); }

// The failures of the storage under a database, as a server raises them,
// each naming the database file so that the operator can act on it.

// 1105: no room left for `object` ("dbo.Customer") of `database`; `file`
// is the database file and `free_space` what its file system has left
// ("0 bytes").
com::Error NoSpaceError(const std::string& object, const std::string& database, const std::string& file,
                        const std::string& free_space);
// 3906: `database` cannot be written; `reason` says why its file cannot.
com::Error ReadOnlyDatabaseError(const std::string& database, const std::string& file, const std::string& reason);
// 5120: the file cannot be opened; `os_error` is the operating system's
// error number (0 when it gave none) and `reason` its text.
com::Error CannotOpenFileError(const std::string& file, int os_error, const std::string& reason);
// 823: reading or writing the file failed (`operation` "read", "write").
com::Error IoError(const std::string& file, const std::string& operation, int os_error, const std::string& reason);
// 701: out of memory.
com::Error OutOfMemoryError();
// 3930: the open transaction was lost to a failure and must be rolled back
// before anything is written or committed.
com::Error TransactionDoomedError();

}  // namespace sqlsrv
