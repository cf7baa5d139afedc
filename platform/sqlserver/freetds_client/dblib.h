// FreeTDS's db-lib as the network driver uses it: set up once per process,
// its messages routed to the connection they belong to, its handles owned.
//
// db-lib reports errors through two process-wide handlers. They are
// installed once, here, and pass each message on to the MessageLog of its
// connection (RouteMessages) or, for a call that has no connection yet (a
// login), to the innermost MessageScope of the calling thread. Anything
// else in the process that uses db-lib must route its messages the same
// way instead of installing handlers of its own.
#pragma once

#include <sybfront.h>  // must precede sybdb.h
#include <sybdb.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/error.h"

namespace sqlsrv::net {

// A message from the server, or an error of db-lib itself.
struct Message {
  int number = 0;
  int severity = 0;
  int state = 0;
  int line = 0;
  std::string text;
  std::string server;
  std::string procedure;
  bool from_library = false;  // db-lib's own (the number is a SYBE... code)
};

// How often a call waiting on the server is told how long it has waited.
inline constexpr int kWaitTickSeconds = 5;

struct MessageLog {
  std::vector<Message> messages;
  // Told, every kWaitTickSeconds that a call of the connection waits on
  // the server with nothing coming, the seconds waited so far; returning
  // false gives the call up (it fails as cancelled). Without it a call
  // waits as long as it takes.
  std::function<bool(int seconds)> on_wait;
  // The silence being watched: since when, the last look at it, and the
  // seconds last told.
  std::chrono::steady_clock::time_point silent_since{}, last_look{};
  int told = 0;
  // The first error (severity above 10) the server sent, or else the first
  // of db-lib; null when there is none.
  const Message* FirstError() const;
  bool HasError() const { return FirstError() != nullptr; }
};

// While it lives, messages that belong to no routed connection go to `log`.
class MessageScope {
 public:
  explicit MessageScope(MessageLog* log);
  ~MessageScope();
  MessageScope(const MessageScope&) = delete;
  MessageScope& operator=(const MessageScope&) = delete;

 private:
  MessageLog* previous_;
};

// Sets db-lib up (once per process) and installs the routing handlers.
void EnsureDbLib();

// Sends `proc`'s messages to `log` from now on (null: to the thread's scope).
void RouteMessages(DBPROCESS* proc, MessageLog* log);

// Has `proc`'s calls tell its log's on_wait how long they have waited on
// the server with nothing coming (db-lib looks every second while a call
// waits), and give up when on_wait says so.
void WatchWaits(DBPROCESS* proc);

// What a failed call raises: the server's first error with its number and
// text; for db-lib's own, a clear description with the number SQL Server's
// provider would give: 17 when the server cannot be reached, 11 when the
// connection is lost. `server` names the server, `what` the failed call
// when no message says more.
com::Error ErrorFrom(const MessageLog& log, std::string_view server, std::string_view what);

}  // namespace sqlsrv::net
