// SET options: each option the server knows, the values it honours and
// what each sets in the session, as one table. A value the server does not
// honour (SET IMPLICIT_TRANSACTIONS ON, SET STATISTICS IO ON) is refused
// with an error naming it, never accepted and ignored.
#include <algorithm>
#include <climits>
#include <functional>
#include <string>

#include "platform/sqlserver/execution/engine_internal.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"

namespace sqlsrv {
namespace {

// How an option's value is written.
enum class OptionForm {
  kSwitch,  // ON or OFF
  kNumber,  // a number or a variable holding one
  kWord,    // a word, or text or a variable holding one
};

// The value a SET statement gives.
struct OptionValue {
  bool on = false;
  std::int64_t number = 0;
  std::string word;  // upper case
};

// Whether `word` is one of the values of `list`, separated by '|'.
bool Listed(std::string_view list, std::string_view word) {
  while (!list.empty()) {
    const std::size_t end = std::min(list.find('|'), list.size());
    if (list.substr(0, end) == word) return true;
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return false;
}

// The orders SET DATEFORMAT names.
struct DateOrderName {
  const char* name;
  dts::DateOrder order;
};
constexpr DateOrderName kDateOrders[] = {
    {"MDY", dts::DateOrder::kMdy}, {"DMY", dts::DateOrder::kDmy}, {"YMD", dts::DateOrder::kYmd},
    {"YDM", dts::DateOrder::kYdm}, {"MYD", dts::DateOrder::kMyd}, {"DYM", dts::DateOrder::kDym},
};

[[noreturn]] void Unsupported(const std::string& option, const std::string& value, const std::string& why) {
  throw SqlErr(kNotSupported, "SET " + option + (value.empty() ? "" : " " + value) +
                                  " is not supported by the embedded server" +
                                  (why.empty() ? "." : "; " + why + "."));
}

// The value a SET statement gives its option, read as the option's form
// takes it: ON or OFF, a number (a constant or a variable's value), or a
// word (`evaluate` gives the value of the statement's expression);
// `written` is how an error repeats it.
OptionValue ReadOptionValue(const ast::Stmt& s, OptionForm form, const std::function<com::Variant()>& evaluate,
                            std::string* written) {
  OptionValue v;
  switch (form) {
    case OptionForm::kSwitch:
      if (s.option_value != "ON" && s.option_value != "OFF") {
        throw SqlErr(kSyntax, "Incorrect syntax near '" + LowerAscii(s.option) + "'.");
      }
      v.on = s.on;
      break;
    case OptionForm::kNumber:
      if (s.option == "LOCK_TIMEOUT") {
        v.number = s.number;
      } else if (s.value) {
        Stored n;
        ToStored(evaluate(), ColumnType{SqlType::kBigInt, 0}, &n);
        v.number = n.kind == Stored::kNull ? 0 : n.i;
      } else {
        throw SqlErr(kSyntax, "Incorrect syntax near '" + LowerAscii(s.option_value) + "'.");
      }
      *written = std::to_string(v.number);
      break;
    case OptionForm::kWord:
      if (!s.option_value.empty()) {
        v.word = s.option_value;
      } else if (s.value) {
        const com::Variant w = evaluate();
        v.word = UpperAscii(w.IsNull() ? std::string() : w.IsText() ? w.text() : w.ToText());
      }
      *written = v.word;
      break;
  }
  return v;
}

}  // namespace

void EngineCore::RunSetOption(const ast::Stmt& s) {
  using Apply = void (*)(EngineCore& e, const OptionValue& v);
  struct Rule {
    const char* name;
    OptionForm form;
    // kSwitch, kWord: the values honoured, separated by '|' ("ON|OFF",
    // "OFF"); empty: none (with no `apply`). kNumber: unused, `apply`
    // checks the number.
    const char* honoured;
    Apply apply;          // null: nothing to keep (the value is the server's fixed behaviour)
    const char* why;      // what a refusal adds
  };
  static const Rule kRules[] = {
      // ---- honoured
      {"ROWCOUNT", OptionForm::kNumber, "",
       [](EngineCore& e, const OptionValue& v) {
         // SQL Server takes a negative count as 0, as every row.
         e.state_.options.rowcount_limit = std::max<std::int64_t>(v.number, 0);
       },
       ""},
      {"DATEFIRST", OptionForm::kNumber, "",
       [](EngineCore& e, const OptionValue& v) {
         if (v.number < 1 || v.number > 7) {
           throw SqlErr(1005, "Invalid parameter " + std::to_string(v.number) + " specified for datefirst.");
         }
         e.state_.options.datefirst = static_cast<int>(v.number);
       },
       ""},
      {"DATEFORMAT", OptionForm::kWord, "MDY|DMY|YMD|YDM|MYD|DYM",
       [](EngineCore& e, const OptionValue& v) {
         for (const DateOrderName& d : kDateOrders) {
           if (v.word == d.name) e.state_.options.dateformat = d.order;
         }
       },
       ""},
      {"TEXTSIZE", OptionForm::kNumber, "",
       [](EngineCore& e, const OptionValue& v) {
         // 0 (or less) stands for the default, 4096 bytes.
         e.state_.options.textsize = v.number <= 0 ? 4096 : std::min<std::int64_t>(v.number, INT_MAX);
       },
       ""},
      {"QUOTED_IDENTIFIER", OptionForm::kSwitch, "ON|OFF",
       [](EngineCore& e, const OptionValue& v) { e.state_.options.quoted_identifier = v.on; }, ""},
      {"ANSI_NULLS", OptionForm::kSwitch, "ON|OFF",
       [](EngineCore& e, const OptionValue& v) { e.state_.options.ansi_nulls = v.on; }, ""},
      {"ARITHABORT", OptionForm::kSwitch, "ON|OFF",
       // With ANSI_WARNINGS ON, always the server's, an arithmetic error
       // ends the statement either way.
       [](EngineCore& e, const OptionValue& v) { e.state_.options.arithabort = v.on; }, ""},
      {"CURSOR_CLOSE_ON_COMMIT", OptionForm::kSwitch, "ON|OFF",
       // The server has no cursors for a commit to close.
       [](EngineCore& e, const OptionValue& v) { e.state_.options.cursor_close_on_commit = v.on; }, ""},
      {"FMTONLY", OptionForm::kSwitch, "ON|OFF", [](EngineCore& e, const OptionValue& v) { e.state_.fmtonly = v.on; },
       ""},
      {"LOCK_TIMEOUT", OptionForm::kNumber, "",
       [](EngineCore& e, const OptionValue& v) {
         // Any negative value waits without limit, as -1 does.
         e.state_.lock_timeout = static_cast<int>(std::clamp<std::int64_t>(v.number, -1, INT_MAX));
         e.db_->SetLockTimeout(e.state_.lock_timeout);
       },
       ""},
      {"NOCOUNT", OptionForm::kSwitch, "ON|OFF", [](EngineCore& e, const OptionValue& v) { e.state_.nocount = v.on; },
       ""},
      {"XACT_ABORT", OptionForm::kSwitch, "ON|OFF",
       [](EngineCore& e, const OptionValue& v) { e.state_.options.xact_abort = v.on; }, ""},
      {"NO_BROWSETABLE", OptionForm::kSwitch, "ON|OFF",
       [](EngineCore& e, const OptionValue& v) { e.state_.options.no_browsetable = v.on; }, ""},
      // ---- the server's fixed behaviour: that value accepted, others refused
      {"ANSI_WARNINGS", OptionForm::kSwitch, "ON", nullptr, "truncation, overflow and divide by zero are always errors"},
      {"ANSI_PADDING", OptionForm::kSwitch, "ON", nullptr, "trailing blanks and zero bytes are always kept"},
      {"ANSI_NULL_DFLT_ON", OptionForm::kSwitch, "ON", nullptr, "a column without NULL or NOT NULL allows NULL"},
      {"ANSI_NULL_DFLT_OFF", OptionForm::kSwitch, "OFF", nullptr, "a column without NULL or NOT NULL allows NULL"},
      {"CONCAT_NULL_YIELDS_NULL", OptionForm::kSwitch, "ON", nullptr, "text joined to NULL is always NULL"},
      {"NUMERIC_ROUNDABORT", OptionForm::kSwitch, "OFF", nullptr, "a decimal that loses digits is rounded"},
      {"ARITHIGNORE", OptionForm::kSwitch, "OFF", nullptr, "an arithmetic error is always an error"},
      {"IMPLICIT_TRANSACTIONS", OptionForm::kSwitch, "OFF", nullptr,
       "a transaction starts only with BEGIN TRANSACTION"},
      // ---- known to SQL Server, refused whatever the value
      {"ANSI_DEFAULTS", OptionForm::kSwitch, "", nullptr, "set the options it stands for one by one"},
      {"CONTEXT_INFO", OptionForm::kWord, "", nullptr, "sessions keep no context information"},
      {"QUERY_GOVERNOR_COST_LIMIT", OptionForm::kNumber, "",
       [](EngineCore&, const OptionValue& v) {
         // 0, no limit, is the server's.
         if (v.number != 0) Unsupported("QUERY_GOVERNOR_COST_LIMIT", std::to_string(v.number), "queries have no cost limit");
       },
       ""},
      {"OFFSETS", OptionForm::kWord, "", nullptr, ""},
      {"FIPS_FLAGGER", OptionForm::kWord, "", nullptr, ""},
      {"TRANSACTION ISOLATION LEVEL", OptionForm::kWord, "READ COMMITTED", nullptr,
       "transactions are always READ COMMITTED"},
      {"LANGUAGE", OptionForm::kWord, "US_ENGLISH|ENGLISH", nullptr, "the server's language is us_english"},
      {"DEADLOCK_PRIORITY", OptionForm::kWord, "NORMAL", nullptr, "every session has the NORMAL priority"},
      {"FORCEPLAN", OptionForm::kSwitch, "OFF", nullptr, ""},
      {"NOEXEC", OptionForm::kSwitch, "OFF", nullptr, "statements always run"},
      {"PARSEONLY", OptionForm::kSwitch, "OFF", nullptr, "statements always run"},
      {"REMOTE_PROC_TRANSACTIONS", OptionForm::kSwitch, "OFF", nullptr, "there are no remote servers"},
      {"SHOWPLAN_ALL", OptionForm::kSwitch, "OFF", nullptr, "query plans are not shown"},
      {"SHOWPLAN_TEXT", OptionForm::kSwitch, "OFF", nullptr, "query plans are not shown"},
      {"SHOWPLAN_XML", OptionForm::kSwitch, "OFF", nullptr, "query plans are not shown"},
      {"STATISTICS IO", OptionForm::kSwitch, "OFF", nullptr, "statistics are not kept"},
      {"STATISTICS TIME", OptionForm::kSwitch, "OFF", nullptr, "statistics are not kept"},
      {"STATISTICS PROFILE", OptionForm::kSwitch, "OFF", nullptr, "statistics are not kept"},
      {"STATISTICS XML", OptionForm::kSwitch, "OFF", nullptr, "statistics are not kept"},
  };
  const Rule* rule = nullptr;
  for (const Rule& r : kRules) {
    if (s.option == r.name) rule = &r;
  }
  if (!rule) throw SqlErr(195, "'" + s.option + "' is not a recognized SET option.");
  if (!rule->apply && std::string_view(rule->honoured).empty()) Unsupported(s.option, s.option_value, rule->why);
  std::string written = s.option_value;
  const OptionValue v =
      ReadOptionValue(s, rule->form, [&] { return Evaluate(*s.value, "SET"); }, &written);
  if (rule->form != OptionForm::kNumber && !Listed(rule->honoured, rule->form == OptionForm::kSwitch ? s.option_value : v.word)) {
    // SQL Server's own answer for a date order it does not know.
    if (s.option == "DATEFORMAT") throw SqlErr(2741, "SET DATEFORMAT date order '" + LowerAscii(v.word) + "' is invalid.");
    Unsupported(s.option, written, rule->why);
  }
  if (rule->apply) rule->apply(*this, v);
}

}  // namespace sqlsrv
