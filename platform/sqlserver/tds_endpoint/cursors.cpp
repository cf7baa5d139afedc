#include "platform/sqlserver/tds_endpoint/cursors.h"

#include <algorithm>
#include <limits>

#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/frontend/parser.h"
#include "platform/sqlserver/server_statements.h"

namespace sqlsrv::tds {
namespace {

using com::Variant;

// scrollopt bits.
constexpr std::int32_t kKeyset = 0x1, kDynamic = 0x2, kForwardOnly = 0x4, kStatic = 0x8, kFastForward = 0x10;
constexpr std::int32_t kKinds = 0x1F;
constexpr std::int32_t kParameterized = 0x1000, kAutoFetch = 0x2000, kAutoClose = 0x4000;
constexpr std::int32_t kCheckAcceptedTypes = 0x8000;
constexpr std::int32_t kAcceptableShift = 16;  // KEYSET_ACCEPTABLE 0x10000 ... FAST_FORWARD_ACCEPTABLE 0x100000
constexpr std::int32_t kScrollKnown = kKinds | kParameterized | kAutoFetch | kAutoClose | kCheckAcceptedTypes |
                                      (kKinds << kAcceptableShift);

// ccopt bits. UPDT_IN_PLACE says how a positioned update changes a
// keyset: a READ_ONLY cursor makes none, so it is taken as it is.
constexpr std::int32_t kReadOnly = 0x1, kScrollLocks = 0x2, kOptimistic = 0x4, kOptimisticValues = 0x8;
constexpr std::int32_t kConcurrencies = kReadOnly | kScrollLocks | kOptimistic | kOptimisticValues;
constexpr std::int32_t kAllowDirect = 0x2000, kUpdateInPlace = 0x4000, kCheckAcceptedOpts = 0x8000;
constexpr std::int32_t kReadOnlyAcceptable = 0x10000;
constexpr std::int32_t kConcurrencyKnown = kConcurrencies | kAllowDirect | kUpdateInPlace | kCheckAcceptedOpts |
                                           (kConcurrencies << kAcceptableShift);

// fetchtype values.
constexpr std::int32_t kFirst = 0x1, kNext = 0x2, kPrev = 0x4, kLast = 0x8, kAbsolute = 0x10, kRelative = 0x20,
                       kRefresh = 0x80, kInfo = 0x100, kPrevNoAdjust = 0x200, kSkipUpdateConcurrency = 0x400;

// ROWSTAT values.
constexpr std::int32_t kFetchSucceeded = 1, kFetchMissing = 2;

// sp_cursorprepare's options: RETURN_METADATA.
constexpr std::int32_t kReturnMetadata = 0x1;

// The rows a fetch reads when the client does not say.
constexpr std::int32_t kDefaultFetchRows = 20;

// SQL Server's errors of cursor calls.
com::Error InvalidParameter(const std::string& procedure, const std::string& parameter) {
  return SqlErr(16902, procedure + ": The value of parameter '" + parameter + "' is invalid.");
}
com::Error NotDeclared() { return SqlErr(16945, "The cursor was not declared."); }
com::Error NotACursorStatement() {
  return SqlErr(16937, "A server cursor is not allowed on a remote stored procedure or stored procedure with more "
                       "than one SELECT statement. Use a default result set or client cursor.");
}

bool Given(const std::vector<Argument>& arguments, std::size_t i) {
  return i < arguments.size() && !arguments[i].use_default && !arguments[i].value.IsNull() &&
         !arguments[i].value.IsEmpty();
}

// The int argument `i`, or nullopt when it was left out or is NULL; 16902
// naming `parameter` for a value that is not an int.
std::optional<std::int32_t> IntArgument(const std::vector<Argument>& arguments, std::size_t i,
                                        const std::string& procedure, const std::string& parameter) {
  if (!Given(arguments, i)) return std::nullopt;
  std::int64_t v = 0;
  try {
    v = arguments[i].value.ToInt64();
  } catch (const com::Error&) {
    throw InvalidParameter(procedure, parameter);
  }
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) {
    throw InvalidParameter(procedure, parameter);
  }
  return static_cast<std::int32_t>(v);
}

std::int32_t RequiredInt(const std::vector<Argument>& arguments, std::size_t i, const std::string& procedure,
                         const std::string& parameter) {
  if (i >= arguments.size() || arguments[i].use_default) {
    throw SqlErr(201, "Procedure or function '" + procedure + "' expects parameter '@" + parameter +
                          "', which was not supplied.");
  }
  const auto v = IntArgument(arguments, i, procedure, parameter);
  if (!v) throw InvalidParameter(procedure, parameter);
  return *v;
}

std::string RequiredText(const std::vector<Argument>& arguments, std::size_t i, const std::string& procedure,
                         const std::string& parameter) {
  if (i >= arguments.size() || arguments[i].use_default) {
    throw SqlErr(201, "Procedure or function '" + procedure + "' expects parameter '@" + parameter +
                          "', which was not supplied.");
  }
  const Variant& v = arguments[i].value;
  return v.IsNull() || v.IsEmpty() ? std::string() : v.ToText();
}

// Hands an output parameter's value back when the client passed it OUTPUT.
void Output(const std::vector<Argument>& arguments, std::size_t i, std::int32_t value, CursorAnswer* answer) {
  if (i < arguments.size() && arguments[i].output) answer->outputs.emplace_back(i, value);
}

const char* FetchTypeName(std::int32_t type) {
  switch (type) {
    case kFirst: return "FIRST";
    case kNext: return "NEXT";
    case kPrev: return "PREV";
    case kLast: return "LAST";
    case kAbsolute: return "ABSOLUTE";
    case kRelative: return "RELATIVE";
    case kRefresh: return "REFRESH";
    case kInfo: return "INFO";
    case kPrevNoAdjust: return "PREV_NOADJUST";
    default: return nullptr;
  }
}

OutputColumn RowStatusColumn() {
  OutputColumn c{kRowStatusColumn, VT::kInt, ColumnType{SqlType::kInt, 0}};
  c.nullable = false;
  return c;
}

// The words that end a FROM clause's one table, or make it more than one.
bool EndsTableReference(const Token& t) {
  static const char* const kWords[] = {"where", "order",  "group",  "having", "union", "except", "intersect",
                                       "join",  "inner",  "left",   "right",  "full",  "cross",  "outer",
                                       "apply", "with",   "option", "for",    "compute", "into", "pivot",
                                       "unpivot", "tablesample", "on"};
  if (t.kind != TokKind::kWord) return false;
  return std::any_of(std::begin(kWords), std::end(kWords), [&](const char* w) { return t.IsKeyword(w); });
}

bool IsAggregate(const Token& t) {
  static const char* const kAggregates[] = {"count", "count_big", "sum", "avg", "min", "max", "stdev",
                                            "stdevp", "var", "varp", "checksum_agg", "grouping"};
  if (t.kind != TokKind::kWord) return false;
  return std::any_of(std::begin(kAggregates), std::end(kAggregates), [&](const char* w) { return t.IsKeyword(w); });
}

// What a row that is missing shows in `column`: NULL where the column
// may hold it, else zero or blank of its type.
Variant StandIn(const OutputColumn& column) {
  if (column.nullable) return Variant::Null();
  switch (column.type) {
    case VT::kString: return Variant::Text("");
    case VT::kBinary: return Variant::Bytes("");
    case VT::kDate: return Variant::Date(2);  // 1900-01-01, datetime 0
    case VT::kMoney: return Variant::Currency(0);
    case VT::kDecimal: return Variant::Decimal("0");
    case VT::kFloat: return Variant::R8(0);
    case VT::kBit:
    case VT::kBool: return Variant::Bool(false);
    default: return Variant::I4(0);
  }
}

bool IsName(const Token& t) { return t.kind == TokKind::kWord || t.kind == TokKind::kQuoted; }

// A query a keyset can be kept for, as its text has it: "SELECT list FROM
// table [alias] [WHERE ...] [ORDER BY ...]".
struct KeysetShape {
  std::size_t list_begin = 0, list_end = 0;      // the select list
  std::size_t table_begin = 0, table_end = 0;    // "table [AS] alias"
  std::vector<std::string> parts;                // the table's name, its parts unquoted
  std::string qualifier;                         // how the list names the table: its alias, or its name
};

std::optional<KeysetShape> KeysetShapeOf(const std::string& statement) {
  const std::vector<Token> t = StatementTokens(statement);
  if (t.empty() || !t[0].IsKeyword("select")) return std::nullopt;
  std::size_t i = 1;
  if (i < t.size() && t[i].IsKeyword("all")) ++i;
  if (i >= t.size() || t[i].IsKeyword("distinct") || t[i].IsKeyword("top")) return std::nullopt;
  if (t[i].kind == TokKind::kVariable && i + 1 < t.size() && t[i + 1].IsSymbol("=")) return std::nullopt;
  KeysetShape shape;
  shape.list_begin = t[i].offset;
  int depth = 0;
  std::size_t from = 0;
  for (; i < t.size(); ++i) {
    if (t[i].IsSymbol("(")) ++depth;
    if (t[i].IsSymbol(")")) --depth;
    if (IsAggregate(t[i]) && i + 1 < t.size() && t[i + 1].IsSymbol("(")) return std::nullopt;
    if (depth == 0 && t[i].IsKeyword("into")) return std::nullopt;
    if (depth == 0 && t[i].IsKeyword("from")) {
      from = i;
      break;
    }
  }
  if (from == 0 || from + 1 >= t.size()) return std::nullopt;
  shape.list_end = t[from].offset;
  i = from + 1;
  if (!IsName(t[i]) || EndsTableReference(t[i])) return std::nullopt;
  shape.table_begin = t[i].offset;
  shape.parts.push_back(t[i].text);
  shape.table_end = t[i].end;
  ++i;
  while (i < t.size() && t[i].IsSymbol(".")) {
    if (i + 1 < t.size() && t[i + 1].IsSymbol(".")) {  // db..table
      shape.parts.emplace_back();
      ++i;
      continue;
    }
    if (i + 1 >= t.size() || !IsName(t[i + 1])) return std::nullopt;
    shape.parts.push_back(t[i + 1].text);
    shape.table_end = t[i + 1].end;
    i += 2;
  }
  if (shape.parts.size() > 3 || shape.parts.back().empty() || shape.parts.back().starts_with("#")) return std::nullopt;
  std::string alias;
  if (i < t.size() && t[i].IsKeyword("as")) {
    if (i + 1 >= t.size() || !IsName(t[i + 1])) return std::nullopt;
    alias = t[i + 1].text;
    shape.table_end = t[i + 1].end;
    i += 2;
  } else if (i < t.size() && IsName(t[i]) && !EndsTableReference(t[i])) {
    alias = t[i].text;
    shape.table_end = t[i].end;
    ++i;
  }
  shape.qualifier = com::Quoted(alias.empty() ? shape.parts.back() : alias, '[', ']');
  // What follows may only filter and order the rows of that one table.
  if (i < t.size() && !t[i].IsKeyword("where") && !t[i].IsKeyword("order")) return std::nullopt;
  depth = 0;
  bool ordering = false;  // in ORDER BY, whose items a comma separates
  for (; i < t.size(); ++i) {
    if (t[i].IsSymbol("(")) ++depth;
    if (t[i].IsSymbol(")")) --depth;
    if (depth > 0) continue;
    if (t[i].IsKeyword("order")) ordering = true;
    if (t[i].IsSymbol(",") && !ordering) return std::nullopt;
    if (EndsTableReference(t[i]) && !t[i].IsKeyword("where") && !t[i].IsKeyword("order")) return std::nullopt;
  }
  return shape;
}

// Whether a statement is a query a cursor can be opened on: a single
// SELECT that gives rows (not SELECT INTO, not assigning variables).
bool IsSingleQuery(const std::string& statement) {
  const std::vector<ast::StmtPtr> statements = ParseBatch(statement);
  if (statements.size() != 1 || statements[0]->kind != ast::StmtKind::kSelect) return false;
  const ast::Select& select = *statements[0]->select;
  return select.into.object.empty() && (select.items.empty() || select.items.front().variable.empty());
}

// Runs `statement` with its parameters' declarations and values as
// sp_executesql does.
void RunStatement(Engine& engine, const std::string& statement, const std::string& declarations,
                  const std::vector<Argument>& values, BatchOutput* out) {
  std::vector<Argument> arguments = {{"", Variant::Text(statement)}, {"", Variant::Text(declarations)}};
  arguments.insert(arguments.end(), values.begin(), values.end());
  for (Argument& a : arguments) a.output = false;  // a cursor's parameters are its statement's inputs only
  engine.Call("sp_executesql", arguments, out);
}

// The one result set of a cursor's query; 16937 when it gave none or more.
ResultSet TheResult(BatchOutput& out) {
  if (out.results.size() != 1) throw NotACursorStatement();
  if (!out.results[0].computes.empty()) {
    throw SqlErr(kNotSupported, "A server cursor on a query with COMPUTE is not supported by the embedded server.");
  }
  if (out.results[0].browse) {
    throw SqlErr(kNotSupported, "A server cursor on a query in browse mode (FOR BROWSE, or SET NO_BROWSETABLE ON) is "
                                "not supported by the embedded server.");
  }
  ResultSet rs = std::move(out.results[0]);
  out.results.clear();
  return rs;
}

// The columns of a table's unique key that best identify its rows and
// hold no NULL, as ODBC's SQLSpecialColumns reads them; none for a table
// without one (or a view, or a name that is no table of this database).
std::vector<std::string> KeyColumns(Engine& engine, const std::vector<std::string>& parts) {
  auto part = [&](std::size_t from_end) {
    return parts.size() > from_end && !parts[parts.size() - 1 - from_end].empty()
               ? Variant::Text(parts[parts.size() - 1 - from_end])
               : Variant::Null();
  };
  std::vector<Argument> arguments = {{"", part(0)},           {"", part(1)},           {"", part(2)},
                                     {"", Variant::Text("R")}, {"", Variant::Text("T")}, {"", Variant::Text("O")},
                                     {"", Variant::I4(3)}};
  BatchOutput out;
  try {
    engine.Call("sp_special_columns", arguments, &out);
  } catch (const com::Error&) {
    return {};  // another database's table: no keyset
  }
  std::vector<std::string> columns;
  if (out.results.size() != 1) return columns;
  for (const dts::Row& row : out.results[0].rows) {
    if (row.size() > 1 && !row[1].IsNull()) columns.push_back(row[1].ToText());
  }
  return columns;
}

// How a cursor is opened on a statement: the kind and concurrency it gets,
// and where it keeps keys, the query's shape and its table's key columns.
struct Opening {
  bool direct = false;  // not a single query: run as it is (ALLOW_DIRECT), no cursor
  std::int32_t kind = 0, concurrency = 0;
  bool keyed = false;
  KeysetShape shape;
  std::vector<std::string> key_columns;
};

// Decides how to open a cursor with `scrollopt` and `ccopt` on
// `statement`, as Open describes; raises for what cannot be opened.
Opening Resolve(Engine& engine, const std::string& procedure, const std::string& statement, std::int32_t scrollopt,
                std::int32_t ccopt) {
  if (scrollopt & ~kScrollKnown) throw InvalidParameter(procedure, "scrollopt");
  if (ccopt & ~kConcurrencyKnown) throw InvalidParameter(procedure, "ccopt");
  if (scrollopt & (kAutoFetch | kAutoClose)) {
    throw SqlErr(kNotSupported, procedure + ": AUTO_FETCH and AUTO_CLOSE (scrollopt 0x2000, 0x4000) are not "
                                            "supported by this server; fetch the rows with sp_cursorfetch and close "
                                            "the cursor with sp_cursorclose.");
  }
  const std::int32_t requested = scrollopt & kKinds;
  const bool check_types = (scrollopt & kCheckAcceptedTypes) != 0;
  const std::int32_t acceptable = check_types ? ((scrollopt >> kAcceptableShift) & kKinds) | requested : requested;
  if (!check_types && requested != kKeyset && requested != kDynamic && requested != kForwardOnly &&
      requested != kStatic && requested != kFastForward) {
    throw InvalidParameter(procedure, "scrollopt");
  }
  if (check_types && acceptable == 0) throw InvalidParameter(procedure, "scrollopt");
  const std::int32_t concurrency = ccopt & kConcurrencies;
  if (concurrency != kReadOnly && concurrency != kScrollLocks && concurrency != kOptimistic &&
      concurrency != kOptimisticValues) {
    throw InvalidParameter(procedure, "ccopt");
  }

  Opening opening;
  if (!IsSingleQuery(statement)) {
    if (!(ccopt & kAllowDirect)) throw NotACursorStatement();
    opening.direct = true;
    opening.kind = requested;
    opening.concurrency = concurrency;
    return opening;
  }

  // The kind opened: a keyset where one can be kept, else the rows.
  bool looked = false;
  auto keyable = [&] {
    if (!looked) {
      looked = true;
      if (auto shape = KeysetShapeOf(statement)) {
        opening.shape = *shape;
        opening.key_columns = KeyColumns(engine, shape->parts);
      }
    }
    return !opening.key_columns.empty();
  };
  auto opened_as = [&](std::int32_t k) { return k == kKeyset || k == kDynamic ? (keyable() ? kKeyset : kStatic) : k; };
  std::int32_t kind = 0;
  if (!check_types) {
    kind = opened_as(requested);
  } else {
    // The kind asked for if it can be had, else the first acceptable one.
    for (std::int32_t candidate : {requested, kKeyset, kStatic, kForwardOnly, kFastForward}) {
      if (candidate == 0 || !(acceptable & candidate)) continue;
      const std::int32_t opened = opened_as(candidate);
      if (acceptable & opened) {
        kind = opened;
        break;
      }
    }
  }
  if (kind == 0) {
    throw SqlErr(kNotSupported, procedure + ": none of the cursor kinds this call accepts can be opened on its "
                                            "statement here (this server opens KEYSET, STATIC, FORWARD_ONLY and "
                                            "FAST_FORWARD cursors; DYNAMIC becomes KEYSET or STATIC).");
  }

  if (kind == kStatic || kind == kFastForward || concurrency == kReadOnly ||
      ((ccopt & kCheckAcceptedOpts) && (ccopt & kReadOnlyAcceptable))) {
    opening.concurrency = kReadOnly;
  } else {
    throw SqlErr(kNotSupported, procedure + ": cursors that change rows (ccopt SCROLL_LOCKS or OPTIMISTIC) are not "
                                            "supported by this server; open the cursor READ_ONLY (ccopt 0x0001).");
  }

  opening.kind = kind;
  opening.keyed = kind == kKeyset || ((kind == kForwardOnly || kind == kFastForward) && keyable());
  return opening;
}

}  // namespace

struct ServerCursors::Cursor {
  std::int32_t kind = kStatic;
  std::vector<OutputColumn> columns;  // without ROWSTAT
  std::vector<dts::Row> rows;         // unless `keyed`: the rows at open
  // When `keyed`: each row's key, and how to read a row again by it.
  std::vector<dts::Row> keys;
  std::string refetch, refetch_declarations;
  std::vector<Argument> values;          // the statement's own parameter values
  std::vector<std::string> key_parameters;
  std::string database;                  // the database the keys belong to
  // The fetch buffer: its first row (0 before the first row, size() + 1
  // after the last) and how many rows it holds.
  std::int64_t first = 0;
  std::int64_t buffered = 0;
  std::string name;

  bool keyed = false;  // holds keys (KEYSET; FORWARD_ONLY and FAST_FORWARD when they can), not rows
  bool forward_only() const { return kind == kForwardOnly || kind == kFastForward; }
  std::int64_t size() const { return static_cast<std::int64_t>(keyed ? keys.size() : rows.size()); }

  // Row `n` (from 1) as it is now, and its ROWSTAT.
  std::pair<dts::Row, std::int32_t> Read(Engine& engine, std::int64_t n) const {
    const auto at = static_cast<std::size_t>(n - 1);
    if (!keyed) return {rows[at], kFetchSucceeded};
    if (!com::SameName(engine.database(), database)) {
      throw SqlErr(kNotSupported, "This cursor reads its rows from database '" + database +
                                      "'; the connection now uses '" + engine.database() +
                                      "'. Fetch from it before changing database, or open it again.");
    }
    std::vector<Argument> arguments = values;
    for (std::size_t k = 0; k < key_parameters.size(); ++k) arguments.push_back({key_parameters[k], keys[at][k]});
    BatchOutput out;
    RunStatement(engine, refetch, refetch_declarations, arguments, &out);
    if (out.results.size() == 1 && !out.results[0].rows.empty()) return {out.results[0].rows[0], kFetchSucceeded};
    // Deleted since the cursor was opened: its place stays, with stand-in
    // values (NULL where the column takes it, else zero or blank).
    dts::Row missing;
    for (const OutputColumn& column : columns) missing.push_back(StandIn(column));
    return {missing, kFetchMissing};
  }
};

ServerCursors::ServerCursors() = default;
ServerCursors::~ServerCursors() = default;

void ServerCursors::Close(std::int32_t handle) { cursors_.erase(handle); }

template <typename Map>
std::int32_t ServerCursors::NextHandle(const Map& in_use, std::int32_t* next) {
  for (;;) {
    const std::int32_t handle = *next;
    *next = handle == std::numeric_limits<std::int32_t>::max() ? 1 : handle + 1;
    if (!in_use.count(handle)) return handle;
  }
}

bool ServerCursors::IsCursorProcedure(const std::string& procedure) {
  static const char* const kNames[] = {"sp_cursor",        "sp_cursoropen",      "sp_cursorprepare",
                                       "sp_cursorexecute", "sp_cursorprepexec",  "sp_cursorunprepare",
                                       "sp_cursorfetch",   "sp_cursoroption",    "sp_cursorclose"};
  return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* n) { return procedure == n; });
}

ServerCursors::Cursor& ServerCursors::Find(const std::vector<Argument>& arguments, const char* procedure) {
  const std::int32_t handle = RequiredInt(arguments, 0, procedure, "cursor");
  const auto found = cursors_.find(handle);
  if (found == cursors_.end()) throw NotDeclared();
  return *found->second;
}

void ServerCursors::Call(Engine& engine, const std::string& procedure, const std::vector<Argument>& arguments,
                         CursorAnswer* answer) {
  if (procedure == "sp_cursor") {
    throw SqlErr(kNotSupported, "sp_cursor (changing rows through a cursor) is not supported by this server: its "
                                "cursors are READ_ONLY. Change the rows with UPDATE, INSERT or DELETE statements.");
  }
  if (procedure == "sp_cursoropen") {
    // cursor OUTPUT, stmt, scrollopt, ccopt, rowcount, [params, values ...]
    const std::string statement = RequiredText(arguments, 1, procedure, "stmt");
    const std::int32_t scrollopt = IntArgument(arguments, 2, procedure, "scrollopt").value_or(kKeyset);
    const std::int32_t ccopt = IntArgument(arguments, 3, procedure, "ccopt").value_or(kOptimistic);
    std::string declarations;
    std::vector<Argument> values;
    if (scrollopt & kParameterized) {
      declarations = RequiredText(arguments, 5, procedure, "paramdef");
      values.assign(arguments.begin() + std::min<std::ptrdiff_t>(6, static_cast<std::ptrdiff_t>(arguments.size())),
                    arguments.end());
    } else if (arguments.size() > 5) {
      throw SqlErr(8144, "Procedure or function sp_cursoropen has too many arguments specified.");
    }
    return Open(engine, procedure, statement, declarations, std::move(values), scrollopt, ccopt, 0, 2, 3, 4,
                arguments, answer);
  }
  if (procedure == "sp_cursorprepare" || procedure == "sp_cursorprepexec") {
    // sp_cursorprepare: prepared handle OUTPUT, params, stmt, options, scrollopt, ccopt.
    // sp_cursorprepexec: prepared handle OUTPUT, cursor OUTPUT, params, statement, options,
    // scrollopt, ccopt, rowcount, values ...
    const bool execute = procedure == "sp_cursorprepexec";
    const std::size_t base = execute ? 1 : 0;
    const std::string declarations = RequiredText(arguments, base + 1, procedure, "params");
    const std::string statement = RequiredText(arguments, base + 2, procedure, "stmt");
    const std::int32_t options = IntArgument(arguments, base + 3, procedure, "options").value_or(0);
    if (options & ~kReturnMetadata) throw InvalidParameter(procedure, "options");
    const std::int32_t scrollopt = IntArgument(arguments, base + 4, procedure, "scrollopt").value_or(kKeyset);
    const std::int32_t ccopt = IntArgument(arguments, base + 5, procedure, "ccopt").value_or(kOptimistic);
    if (!execute) {
      if (arguments.size() > 6) throw SqlErr(8144, "Procedure or function sp_cursorprepare has too many arguments specified.");
      // Compiles it: a statement that does not parse is not prepared.
      const Opening opening = Resolve(engine, procedure, statement, scrollopt & ~kParameterized, ccopt);
      const std::int32_t handle = NextHandle(prepared_, &next_prepared_);
      prepared_[handle] = {statement, declarations};
      Output(arguments, 0, handle, answer);
      Output(arguments, 4, opening.direct ? scrollopt : opening.kind, answer);
      Output(arguments, 5, opening.direct ? ccopt : opening.concurrency, answer);
      if ((options & kReturnMetadata) && !opening.direct) {
        // The cursor's columns as its query describes them, no row read.
        std::vector<Argument> nulls(ParseParameterList(declarations).size(), Argument{"", Variant::Null()});
        BatchOutput described;
        {
          const FormatOnlyScope format_only(engine);
          RunStatement(engine, statement, declarations, nulls, &described);
        }
        ResultSet rs = TheResult(described);
        rs.rows.clear();
        rs.columns.push_back(RowStatusColumn());
        answer->result = std::move(rs);
      }
      return;
    }
    const std::int32_t handle = NextHandle(prepared_, &next_prepared_);
    prepared_[handle] = {statement, declarations};
    Output(arguments, 0, handle, answer);
    std::vector<Argument> values(
        arguments.begin() + std::min<std::ptrdiff_t>(8, static_cast<std::ptrdiff_t>(arguments.size())),
        arguments.end());
    return Open(engine, procedure, statement, declarations, std::move(values), scrollopt & ~kParameterized, ccopt,
                1, 5, 6, 7, arguments, answer);
  }
  if (procedure == "sp_cursorexecute") {
    // prepared handle, cursor OUTPUT, scrollopt, ccopt, rowcount, values ...
    const std::int32_t handle = RequiredInt(arguments, 0, procedure, "prepared_handle");
    const auto found = prepared_.find(handle);
    if (found == prepared_.end()) {
      throw SqlErr(8179, "Could not find prepared statement with handle " + std::to_string(handle) + ".");
    }
    const Prepared p = found->second;
    const std::int32_t scrollopt = IntArgument(arguments, 2, procedure, "scrollopt").value_or(kKeyset);
    if (scrollopt & kParameterized) throw InvalidParameter(procedure, "scrollopt");
    const std::int32_t ccopt = IntArgument(arguments, 3, procedure, "ccopt").value_or(kOptimistic);
    std::vector<Argument> values(
        arguments.begin() + std::min<std::ptrdiff_t>(5, static_cast<std::ptrdiff_t>(arguments.size())),
        arguments.end());
    return Open(engine, procedure, p.statement, p.declarations, std::move(values), scrollopt, ccopt, 1, 2, 3, 4,
                arguments, answer);
  }
  if (procedure == "sp_cursorunprepare") {
    const std::int32_t handle = RequiredInt(arguments, 0, procedure, "prepared_handle");
    if (prepared_.erase(handle) == 0) {
      throw SqlErr(8179, "Could not find prepared statement with handle " + std::to_string(handle) + ".");
    }
    return;
  }
  if (procedure == "sp_cursorfetch") return Fetch(engine, arguments, answer);
  if (procedure == "sp_cursoroption") return Option(arguments, answer);
  if (procedure == "sp_cursorclose") {
    Find(arguments, "sp_cursorclose");
    cursors_.erase(RequiredInt(arguments, 0, procedure, "cursor"));
    return;
  }
  throw SqlErr(2812, "Could not find stored procedure '" + procedure + "'.");
}

void ServerCursors::Open(Engine& engine, const std::string& procedure, const std::string& statement,
                         const std::string& declarations, std::vector<Argument> values, std::int32_t scrollopt,
                         std::int32_t ccopt, std::size_t handle_at, std::size_t scrollopt_at, std::size_t ccopt_at,
                         std::size_t rowcount_at, const std::vector<Argument>& arguments, CursorAnswer* answer) {
  const Opening opening = Resolve(engine, procedure, statement, scrollopt, ccopt);
  if (opening.direct) {
    // Not a cursor's statement: it runs as it is, and no cursor is made.
    BatchMessage notice;
    notice.text = "Executing SQL directly; no cursor.";
    notice.number = 16954;
    notice.severity = 10;
    answer->notice = notice;
    answer->ran_directly = true;
    Output(arguments, handle_at, 0, answer);
    Output(arguments, scrollopt_at, scrollopt, answer);
    Output(arguments, ccopt_at, ccopt, answer);
    RunStatement(engine, statement, declarations, values, &answer->run);
    Output(arguments, rowcount_at, -1, answer);
    return;
  }
  const std::vector<std::string>& key_columns = opening.key_columns;
  const KeysetShape* shape = &opening.shape;
  const std::int32_t kind = opening.kind;

  auto cursor = std::make_unique<Cursor>();
  cursor->kind = kind;
  cursor->database = engine.database();
  cursor->keyed = opening.keyed;
  if (cursor->keyed) {
    // The query gives each row's key after its own columns; the rows are
    // read again by their keys when fetched.
    std::string key_list;
    for (std::size_t k = 0; k < key_columns.size(); ++k) {
      key_list += ", " + shape->qualifier + "." + com::Quoted(key_columns[k], '[', ']') + " AS " +
                  com::Quoted("cursor key " + std::to_string(k + 1), '[', ']');
    }
    std::string list = statement.substr(shape->list_begin, shape->list_end - shape->list_begin);
    while (!list.empty() && (list.back() == ' ' || list.back() == '\t' || list.back() == '\r' || list.back() == '\n')) {
      list.pop_back();
    }
    const std::string keyed = statement.substr(0, shape->list_begin) + list + key_list + " " +
                              statement.substr(shape->list_end);
    RunStatement(engine, keyed, declarations, values, &answer->run);
    ResultSet rs = TheResult(answer->run);
    const std::size_t own = rs.columns.size() - key_columns.size();
    std::string where;
    cursor->refetch_declarations = declarations;
    for (std::size_t k = 0; k < key_columns.size(); ++k) {
      const OutputColumn& c = rs.columns[own + k];
      const std::string parameter = "@cursor_key_" + std::to_string(k + 1);
      cursor->key_parameters.push_back(parameter);
      const ColumnType type = c.column ? *c.column : ColumnType{SqlType::kNVarChar, -1};
      const std::string declared = parameter + " " + TypeDisplayName(type);
      cursor->refetch_declarations = cursor->refetch_declarations.find_first_not_of(" \t\r\n") == std::string::npos
                                         ? declared
                                         : cursor->refetch_declarations + ", " + declared;
      where += (k ? " AND " : "") + shape->qualifier + "." + com::Quoted(key_columns[k], '[', ']') + " = " + parameter;
    }
    cursor->refetch = "SELECT " + list + " FROM " +
                      statement.substr(shape->table_begin, shape->table_end - shape->table_begin) + " WHERE " + where;
    for (dts::Row& row : rs.rows) {
      cursor->keys.emplace_back(row.begin() + static_cast<std::ptrdiff_t>(own), row.end());
    }
    rs.columns.resize(own);
    cursor->columns = std::move(rs.columns);
    cursor->values = std::move(values);
  } else {
    RunStatement(engine, statement, declarations, values, &answer->run);
    ResultSet rs = TheResult(answer->run);
    cursor->columns = std::move(rs.columns);
    cursor->rows = std::move(rs.rows);
  }
  if (cursor->columns.size() + 1 > 255) {
    throw SqlErr(kNotSupported, procedure + ": a cursor of more than 254 columns is not supported by this server.");
  }
  const std::int32_t handle = NextHandle(cursors_, &next_cursor_);
  ResultSet described;
  described.columns = cursor->columns;
  described.columns.push_back(RowStatusColumn());
  answer->result = std::move(described);
  const std::int64_t rows = cursor->forward_only() ? -1 : cursor->size();
  cursors_[handle] = std::move(cursor);
  answer->opened = handle;
  Output(arguments, handle_at, handle, answer);
  Output(arguments, scrollopt_at, kind, answer);
  Output(arguments, ccopt_at, opening.concurrency, answer);
  Output(arguments, rowcount_at, static_cast<std::int32_t>(std::min<std::int64_t>(rows, INT32_MAX)), answer);
}

void ServerCursors::Fetch(Engine& engine, const std::vector<Argument>& arguments, CursorAnswer* answer) {
  const std::string procedure = "sp_cursorfetch";
  Cursor& c = Find(arguments, procedure.c_str());
  std::int32_t type = IntArgument(arguments, 1, procedure, "fetchtype").value_or(kNext);
  // SKIP_UPDT_CNCY keeps a keyset's timestamps as they were: a read-only
  // cursor keeps none, so it changes nothing here.
  const bool skip_concurrency = (type & kSkipUpdateConcurrency) != 0;
  type &= ~kSkipUpdateConcurrency;
  if (!FetchTypeName(type) || (skip_concurrency && type == kInfo)) throw InvalidParameter(procedure, "fetchtype");
  const std::int64_t size = c.size();
  if (type == kInfo) {
    // rownum: where the cursor stands; nrows: how many rows it has.
    std::int32_t rownum = 0, nrows = 0;
    if (c.forward_only()) {
      rownum = c.first == 0 ? 0 : c.first > size ? -1 : 1;
      nrows = -1;
    } else {
      rownum = c.first > size ? -1 : static_cast<std::int32_t>(c.first);
      nrows = static_cast<std::int32_t>(std::min<std::int64_t>(size, INT32_MAX));
    }
    Output(arguments, 2, rownum, answer);
    Output(arguments, 3, nrows, answer);
    return;
  }
  if (c.forward_only() && (type == kPrev || type == kLast || type == kAbsolute || type == kRelative ||
                           type == kPrevNoAdjust)) {
    throw SqlErr(16911, procedure + ": The fetch type " + FetchTypeName(type) +
                            " cannot be used with forward only cursors.");
  }
  const auto rownum = IntArgument(arguments, 2, procedure, "rownum");
  const std::int64_t nrows = IntArgument(arguments, 3, procedure, "nrows").value_or(kDefaultFetchRows);
  if (nrows < 0 || (nrows == 0 && type != kFirst && type != kLast && type != kRefresh)) {
    throw InvalidParameter(procedure, "nrows");
  }
  if ((type == kAbsolute || type == kRelative) && !rownum) throw InvalidParameter(procedure, "rownum");

  // The first row of the new fetch buffer (below 1: before the first row;
  // past the size: after the last) and how many rows it may hold.
  std::int64_t start = 0, count = nrows;
  switch (type) {
    case kFirst:
      start = nrows == 0 ? 0 : 1;
      break;
    case kNext:
      start = c.first == 0 ? 1 : c.first > size ? size + 1 : c.first + c.buffered;
      break;
    case kPrev:
    case kPrevNoAdjust: {
      const std::int64_t from = std::min(c.first, size + 1);
      start = from - nrows;
      if (start < 1 && from > 1) {
        if (type == kPrev) {
          answer->status = 2;  // the block would have begun before the first row: it begins at it
        } else {
          count = from - 1;  // only the rows before where the cursor stood
        }
        start = 1;
      }
      break;
    }
    case kLast:
      start = nrows == 0 ? size + 1 : std::max<std::int64_t>(1, size - nrows + 1);
      break;
    case kAbsolute:
      start = *rownum >= 0 ? *rownum : size + *rownum + 1;
      break;
    case kRelative:
      start = std::min(c.first, size + 1) + *rownum;
      break;
    case kRefresh:
      start = c.first;
      count = c.buffered;
      break;
  }
  if (type == kRefresh) {
    // The fetch buffer stays where it is, its rows read again.
  } else if (start < 1) {
    c.first = 0;
    c.buffered = 0;
  } else if (start > size) {
    c.first = size + 1;
    c.buffered = 0;
  } else {
    c.first = start;
    c.buffered = std::min(count, size - start + 1);
  }
  ResultSet rs;
  rs.columns = c.columns;
  rs.columns.push_back(RowStatusColumn());
  if (c.first >= 1 && c.first <= size) {
    // A forward-only cursor, as SQL Server's, passes over rows deleted
    // since it was opened: it reads on until it has the rows asked for.
    const bool skip_missing = c.forward_only() && c.keyed;
    const std::int64_t wanted = type == kRefresh ? c.buffered : c.buffered == 0 ? 0 : count;
    const std::int64_t last = skip_missing && type != kRefresh ? size : c.first + c.buffered - 1;
    std::int64_t n = c.first;
    while (static_cast<std::int64_t>(rs.rows.size()) < wanted && n <= last) {
      auto [row, status] = c.Read(engine, n++);
      if (skip_missing && status == kFetchMissing) continue;
      row.push_back(Variant::I4(status));
      rs.rows.push_back(std::move(row));
    }
    if (skip_missing && type != kRefresh) {
      c.buffered = n - c.first;
      if (rs.rows.empty()) {
        c.first = size + 1;
        c.buffered = 0;
      }
    }
  }
  answer->result = std::move(rs);
}

void ServerCursors::Option(const std::vector<Argument>& arguments, CursorAnswer* answer) {
  const std::string procedure = "sp_cursoroption";
  Cursor& c = Find(arguments, procedure.c_str());
  const std::int32_t code = RequiredInt(arguments, 1, procedure, "code");
  switch (code) {
    case 2: {  // CURSOR_NAME
      const std::string name = RequiredText(arguments, 2, procedure, "value");
      if (name.empty()) throw InvalidParameter(procedure, "value");
      for (const auto& [handle, other] : cursors_) {
        if (other.get() != &c && com::SameName(other->name, name)) {
          throw SqlErr(16915, "A cursor with the name '" + name + "' already exists.");
        }
      }
      c.name = name;
      return;
    }
    case 4:  // SCROLLOPT
      Output(arguments, 2, c.kind, answer);
      return;
    case 5:  // CCOPT
      Output(arguments, 2, kReadOnly, answer);
      return;
    case 6:  // ROWCOUNT
      Output(arguments, 2, c.forward_only() ? -1 : static_cast<std::int32_t>(std::min<std::int64_t>(c.size(), INT32_MAX)),
             answer);
      return;
    case 1:
    case 3:
      throw SqlErr(kNotSupported, procedure + ": text pointers (TEXTPTR_ONLY, TEXTDATA) are not supported by this "
                                              "server; a cursor's fetches send text and image values whole.");
    default:
      throw InvalidParameter(procedure, "code");
  }
}

}  // namespace sqlsrv::tds
