#include "platform/sqlserver/errors.h"

#include <algorithm>
#include <iterator>

namespace sqlsrv {
namespace {

struct Severity {
  std::int32_t number;
  int severity;
};
// Every error the server raises has severity 16 but these.
constexpr Severity kSeverities[] = {
    {102, 15},   {105, 15},   {107, 15},  {108, 15},  {111, 15},  {116, 15},  {119, 15},  {125, 15},
    {131, 15},   {134, 15},   {135, 15},  {136, 15},  {137, 15},  {141, 15},  {143, 15},  {148, 15},
    {154, 15},   {156, 15},   {163, 15},  {170, 15},  {174, 15},  {178, 15},  {179, 15},  {180, 15},
    {191, 15},   {195, 15},
    {282, 10},   {310, 15},   {701, 17},  {1105, 17}, {1205, 13}, {2601, 14}, {2627, 14}, {3621, 0},
    {4060, 11},  {5701, 0},   {5703, 0},  {10704, 15}, {18456, 14},
};

// The errors SQL Server raises while it compiles a statement, which the
// engine finds as it translates one.
constexpr std::int32_t kCompileErrors[] = {
    104, 107, 108, 116, 143, 163, 174, 195, 205, 206, 207, 208, 209, 239, 240, 246, 247, 252, 253, 263,
    408, 409, 411, 460, 461, 462, 465, 467, 1007, 1013, 1033, 4104, 4145, 8117, 8154, 8155, 8156, 8158, 8159,
};

// The errors that end the batch although their severity is below 17:
// conversions of a value that is no value of its type (SQL Server aborts
// the batch for them, unlike an overflow), a deadlock's victim, a
// transaction that cannot commit, the storage's failures, and the
// engine's own refusals, which a batch must not run past.
constexpr std::int32_t kBatchAborting[] = {
    235,   // Cannot convert a char value to money.
    241,   // Conversion failed when converting date and/or time from character string.
    245,   // Conversion failed when converting the %s value '%s' to data type %s.
    295,   // Conversion failed when converting character string to smalldatetime data type.
    823,   // I/O error %s detected during %s ... (the storage's, as 1105 and 701)
    1205,  // Transaction (Process ID %d) was deadlocked ...
    3906,  // Failed to update database '%s' because the database is read-only.
    3930,  // The current transaction cannot be committed ...
    5120,  // Unable to open the physical file "%s". ...
    8114,  // Error converting data type %s to %s.
    8169,  // Conversion failed when converting from a character string to uniqueidentifier.
    40000, // the engine's own: a statement the embedded server does not support
};

// The severity from which an error ends the batch: a lack of resources or
// a failure of the server's own.
constexpr int kResourceSeverity = 17;

}  // namespace

bool IsFailureBeneathStatements(const com::Error& e, int severity) {
  // The storage's own failures (SQLite's, a cancel's) keep their number
  // out of SQL Server's range.
  return e.source() == "SQLite" || e.number() == kErrCancelled || e.number() < 0 || severity >= kResourceSeverity;
}

ErrorReach ReachOf(const com::Error& e, int severity) {
  // A statement after a failure beneath the statements would run on a
  // transaction SQLite may have ended.
  if (IsFailureBeneathStatements(e, severity)) return ErrorReach::kBatch;
  if (std::find(std::begin(kBatchAborting), std::end(kBatchAborting), e.number()) != std::end(kBatchAborting)) {
    return ErrorReach::kBatch;
  }
  return IsCompileError(e.number()) ? ErrorReach::kScope : ErrorReach::kStatement;
}

int SeverityOf(std::int32_t number) {
  const auto* it = std::find_if(std::begin(kSeverities), std::end(kSeverities),
                                [&](const Severity& s) { return s.number == number; });
  return it == std::end(kSeverities) ? 16 : it->severity;
}

bool IsCompileError(std::int32_t number) {
  return std::find(std::begin(kCompileErrors), std::end(kCompileErrors), number) != std::end(kCompileErrors);
}

com::Error NoSpaceError(const std::string& object, const std::string& database, const std::string& file,
                        const std::string& free_space) {
  return SqlErr(kNoSpace, "Could not allocate space for object '" + object + "' in database '" + database +
                              "' because the 'PRIMARY' filegroup is full. The file system holding the database file '" +
                              file + "' has " + free_space + " free.");
}

com::Error ReadOnlyDatabaseError(const std::string& database, const std::string& file, const std::string& reason) {
  return SqlErr(kDatabaseReadOnly, "Failed to update database '" + database +
                                       "' because the database is read-only. The database file '" + file +
                                       "' cannot be written: " + reason + ".");
}

com::Error CannotOpenFileError(const std::string& file, int os_error, const std::string& reason) {
  return SqlErr(kCannotOpenFile, "Unable to open the physical file \"" + file + "\". Operating system error " +
                                     std::to_string(os_error) + ": \"" + reason + "\".");
}

com::Error IoError(const std::string& file, const std::string& operation, int os_error, const std::string& reason) {
  return SqlErr(kIoError, "I/O error " + std::to_string(os_error) + "(" + reason + ") detected during " + operation +
                              " of file '" + file + "'.");
}

com::Error OutOfMemoryError() { return SqlErr(kOutOfMemory, "There is insufficient system memory to run this query."); }

com::Error TransactionDoomedError() {
  return SqlErr(kTransactionDoomed,
                "The current transaction cannot be committed and cannot support operations that write to the log "
                "file. Roll back the transaction.");
}

}  // namespace sqlsrv
