// A SQL Server client for tests, over FreeTDS's db-lib: connects to a TDS
// endpoint, runs batches and reads every result with its values in a
// canonical text form (so results compare with what the embedded engine
// gives), and bulk-copies rows in.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct TdsLogin {
  std::string host = "127.0.0.1";
  int port = 0;
  std::string user = "sa";
  std::string password;
  std::string database;
  std::string tds_version = "7.4";  // "7.1" ... "7.4"
  int login_timeout_seconds = 10;
};

// An error or informational message the server sent.
struct TdsMessage {
  int number = 0;
  int severity = 0;
  int state = 0;
  int line = 0;
  std::string text;
  std::string server;
};

// What db-lib's dbcolinfo, dbtablecolinfo (DBCOL2) and dbcolsource tell
// of a result column.
struct TdsColumnInfo {
  bool nullable = true;
  bool identity = false;
  // Browse mode's: the table it is read from, its name there, and whether
  // it may be updated ("" and false when the result says nothing of them).
  std::string table;
  std::string actual_name;
  bool updatable = false;
};

// A COMPUTE clause as db-lib describes it (dbnumalts, dbaltop, dbaltcolid,
// dbalttype, dbbylist).
struct TdsCompute {
  int id = 0;
  std::vector<int> ops;       // per aggregate: SYBAOPSUM ...
  std::vector<int> operands;  // per aggregate: the result column it is over, from 1
  std::vector<int> types;     // per aggregate: its value's db-lib type (SYBINT4 ...)
  std::vector<int> by;        // the BY columns, from 1
};

// A compute row: its clause's id, how many of the rows came before it,
// its values in canonical text.
struct TdsComputeRow {
  int id = 0;
  std::size_t after = 0;
  std::vector<std::string> values;
};

struct TdsResultSet {
  std::vector<std::string> columns;
  std::vector<TdsColumnInfo> info;  // per column
  std::vector<std::vector<std::string>> rows;  // canonical text, "\N" for null
  std::vector<TdsCompute> computes;
  std::vector<TdsComputeRow> compute_rows;
};

struct TdsBatch {
  std::vector<TdsResultSet> results;
  std::vector<long long> counts;     // rows affected, per statement that reported a count
  std::vector<TdsMessage> messages;  // errors and infos, in order
  bool failed = false;
};

// A parameter of a remote procedure call: an int or a character value
// (UTF-8), NULL when `value` is empty, returned when `output`.
struct TdsParam {
  std::string name;  // "@a", or "" for one given by position
  enum Type { kInt, kText } type = kInt;
  std::optional<std::string> value;  // the int in decimal, or the text
  bool output = false;
};

// What a remote procedure call answered.
struct TdsCall {
  TdsBatch batch;                   // its results, counts and messages
  std::optional<int> return_status;
  std::vector<std::pair<std::string, std::string>> outputs;  // name, canonical value
};

class TdsClient {
 public:
  // Connects; raises std::runtime_error with the server's message when the
  // login is refused or the server cannot be reached.
  explicit TdsClient(const TdsLogin& login);
  ~TdsClient();
  TdsClient(const TdsClient&) = delete;
  TdsClient& operator=(const TdsClient&) = delete;

  TdsBatch Execute(const std::string& sql);

  // Calls a procedure by name through db-lib's remote procedure calls.
  TdsCall Call(const std::string& procedure, const std::vector<TdsParam>& params);

  // Bulk-copies rows of values given as text (std::nullopt for NULL) into
  // `table`'s columns in table order, as a bcp client does; `keep_identity`
  // sends the identity column's values. db-lib passes character values on
  // as they are, so a value for an nvarchar column must be UTF-16LE
  // (AsUtf16) and one for a varchar column CP936 (AsCp936). Returns the
  // rows the server took, or -1 and the messages in `failure`.
  long long BulkCopy(const std::string& table, const std::vector<std::vector<std::optional<std::string>>>& rows,
                     bool keep_identity, std::vector<TdsMessage>* failure);

  // Sends an attention (cancel) for the running or next batch.
  void Cancel();

  // Messages that arrived outside Execute (at login).
  const std::vector<TdsMessage>& login_messages() const;

  // The database the server last said the connection uses (its ENVCHANGE
  // tokens, as db-lib keeps them).
  std::string Database() const;

  struct State;  // the connection and what its calls collected

 private:
  std::unique_ptr<State> state_;
};

// UTF-8 text as the bytes an nvarchar or a varchar column takes in a bulk
// copy.
std::string AsUtf16(const std::string& utf8);
std::string AsCp936(const std::string& utf8);

// The canonical text of values: integers in decimal, money with four
// decimals, floats with up to 6 significant decimals, decimals and
// numerics exactly with every digit of their scale ("-12.50"), datetimes
// as "YYYY-MM-DD HH:MM:SS.mmm", bits as 0/1, text as UTF-8.
std::string CanonicalDateTime(std::int32_t days, std::uint32_t ticks);

}  // namespace testing_support
