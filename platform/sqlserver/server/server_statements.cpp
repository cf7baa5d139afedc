#include "platform/sqlserver/server_statements.h"

#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/server.h"

namespace sqlsrv {

std::vector<Token> StatementTokens(std::string_view sql) {
  std::vector<Token> t;
  try {
    t = Tokenize(sql);
  } catch (const com::Error&) {
    return {};
  }
  if (!t.empty() && t.back().kind == TokKind::kEnd) t.pop_back();
  if (!t.empty() && t.back().IsSymbol(";")) t.pop_back();
  return t;
}

bool TokensAre(const std::vector<Token>& t, std::size_t from, std::initializer_list<std::string_view> words) {
  if (t.size() < from + words.size()) return false;
  std::size_t i = from;
  for (std::string_view w : words) {
    const Token& k = t[i++];
    if (!(k.IsKeyword(w) || k.IsSymbol(w))) return false;
  }
  return true;
}

std::optional<DatabaseStatement> ParseDatabaseStatement(std::string_view sql) {
  const auto t = StatementTokens(sql);
  if (t.size() != 3 || (t[2].kind != TokKind::kWord && t[2].kind != TokKind::kQuoted)) return std::nullopt;
  if (TokensAre(t, 0, {"create", "database"})) return DatabaseStatement{true, t[2].text};
  if (TokensAre(t, 0, {"drop", "database"})) return DatabaseStatement{false, t[2].text};
  return std::nullopt;
}

void RunDatabaseStatement(Server& server, const DatabaseStatement& statement, const std::string& current, int trancount) {
  const char* verb = statement.create ? "CREATE" : "DROP";
  if (trancount > 0) {
    throw SqlErr(226, std::string(verb) + " DATABASE statement not allowed within multi-statement transaction.");
  }
  if (statement.create) {
    server.CreateDatabase(statement.name);
  } else if (com::SameName(statement.name, current)) {
    throw SqlErr(3702, "Cannot drop database \"" + statement.name + "\" because it is currently in use.");
  } else {
    server.DropDatabase(statement.name);
  }
}

}  // namespace sqlsrv
