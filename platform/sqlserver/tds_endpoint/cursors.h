// Server cursors as clients open them by remote procedure call:
// sp_cursoropen, sp_cursorprepare, sp_cursorexecute, sp_cursorprepexec,
// sp_cursorunprepare, sp_cursorfetch, sp_cursoroption and sp_cursorclose,
// with SQL Server's arguments, numbers and answers. The cursors of one
// connection; they go with it.
//
// Kinds (scrollopt): STATIC holds the rows its query gave at open.
// KEYSET holds, at open, the key of each row its query gave, in order;
// each fetch reads the row again by its key, its values as they are then,
// a row deleted since reported FETCH_MISSING. A keyset needs a query of
// one table with a unique key of columns that cannot be NULL, without
// DISTINCT, TOP, GROUP BY, HAVING, aggregates or set operators; any other
// query is converted to STATIC, as SQL Server converts it. FORWARD_ONLY
// and FAST_FORWARD fetch only forwards (FIRST, NEXT, REFRESH, INFO); over
// a query a keyset can be kept for they read each row at its fetch and
// pass over rows deleted since the open, else they hold the rows their
// query gave at open; rows inserted after the open are not among theirs.
// DYNAMIC is converted to KEYSET, or STATIC when the query cannot have a
// keyset. The kind opened goes back through scrollopt.
//
// Concurrency (ccopt): READ_ONLY only. STATIC and FAST_FORWARD cursors
// are read-only whatever was asked, as on SQL Server; another kind asked
// for SCROLL_LOCKS or OPTIMISTIC is refused unless the client lists
// READ_ONLY as acceptable (CHECK_ACCEPTED_OPTS). sp_cursor (updating
// through a cursor), AUTO_FETCH, AUTO_CLOSE and text pointers are refused.
//
// A fetch answers the cursor's columns followed by the hidden int column
// ROWSTAT (1 FETCH_SUCCEEDED, 2 FETCH_MISSING).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sqlserver/engine.h"

namespace sqlsrv::tds {

// The name of the hidden column that ends every row a fetch answers.
inline constexpr char kRowStatusColumn[] = "ROWSTAT";

// What one cursor call answers besides errors.
struct CursorAnswer {
  // What the statement a call ran sent besides its rows (PRINT, warnings),
  // or, for a statement run directly (ALLOW_DIRECT, not a single query),
  // all it gave; and where a failure of it stood.
  BatchOutput run;
  bool ran_directly = false;
  // 16954 "Executing SQL directly; no cursor." when it ran directly.
  std::optional<BatchMessage> notice;
  // The cursor's columns, ROWSTAT last, and the rows a fetch read; set for
  // an open (no rows), a prepare asked for RETURN_METADATA, and a fetch.
  std::optional<ResultSet> result;
  int status = 0;  // the return status
  // Values of the call's output parameters, by the argument's index; only
  // those the client passed OUTPUT.
  std::vector<std::pair<std::size_t, std::int32_t>> outputs;
  // The handle of the cursor the call opened.
  std::optional<std::int32_t> opened;
};

class ServerCursors {
 public:
  ServerCursors();
  ~ServerCursors();
  ServerCursors(const ServerCursors&) = delete;
  ServerCursors& operator=(const ServerCursors&) = delete;

  // Whether `procedure` (lower case, no schema) is one of the cursor
  // procedures Call runs.
  static bool IsCursorProcedure(const std::string& procedure);

  // Runs the cursor procedure `procedure` with `arguments`, taken by
  // position as SQL Server takes them, its statements on `engine`.
  // Raises what the cursor's statement raises, and SQL Server's errors:
  // 16945 for a cursor handle no open cursor has, 8179 for an unknown
  // prepared handle, 16911 for a fetch a forward-only cursor cannot make,
  // 16902 for a value a parameter cannot take, 16915 for a cursor name in
  // use, 16937 for a statement that is not a single query (without
  // ALLOW_DIRECT), 201 for a required argument left out; kNotSupported for
  // what this server does not do. `answer` is filled as far as the call
  // went.
  void Call(Engine& engine, const std::string& procedure, const std::vector<Argument>& arguments,
            CursorAnswer* answer);

  // Closes the cursor `handle`, if one is open: one whose answer could not
  // be sent is not left open.
  void Close(std::int32_t handle);

 private:
  struct Cursor;
  struct Prepared {
    std::string statement, declarations;
  };
  void Open(Engine& engine, const std::string& procedure, const std::string& statement,
            const std::string& declarations, std::vector<Argument> values, std::int32_t scrollopt,
            std::int32_t ccopt, std::size_t handle_at, std::size_t scrollopt_at, std::size_t ccopt_at,
            std::size_t rowcount_at, const std::vector<Argument>& arguments, CursorAnswer* answer);
  void Fetch(Engine& engine, const std::vector<Argument>& arguments, CursorAnswer* answer);
  void Option(const std::vector<Argument>& arguments, CursorAnswer* answer);
  Cursor& Find(const std::vector<Argument>& arguments, const char* procedure);

  std::map<std::int32_t, std::unique_ptr<Cursor>> cursors_;
  std::map<std::int32_t, Prepared> prepared_;
  // The next handle to give, from `next` on: the first positive int not
  // in use, wrapping round before the int's end.
  template <typename Map>
  static std::int32_t NextHandle(const Map& in_use, std::int32_t* next);

  std::int32_t next_cursor_ = 180150001;  // SQL Server's handles are large numbers; any positive int will do
  std::int32_t next_prepared_ = 1;
};

}  // namespace sqlsrv::tds
