// The statements a server answers itself rather than one of its
// databases: making and dropping a database. The TDS endpoint and `korvel
// sql` both recognise them here and run them by the same rules.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sqlserver/lexer.h"

namespace sqlsrv {

class Server;

// A batch's tokens without a trailing ';', or none when it does not
// tokenize (the engine then reports the error).
std::vector<Token> StatementTokens(std::string_view sql);

// Whether tokens [from, from + words.size()) are these keywords and symbols.
bool TokensAre(const std::vector<Token>& t, std::size_t from, std::initializer_list<std::string_view> words);

struct DatabaseStatement {
  bool create = false;  // CREATE DATABASE, else DROP DATABASE
  std::string name;
};

// "CREATE DATABASE name" or "DROP DATABASE name" as the whole batch (the
// name plain, bracketed or quoted); nullopt for any other batch.
std::optional<DatabaseStatement> ParseDatabaseStatement(std::string_view sql);

// Runs one for a session using database `current` with `trancount` open
// transactions: refused inside a transaction (226) and for the database in
// use (3702), as SQL Server refuses them.
void RunDatabaseStatement(Server& server, const DatabaseStatement& statement, const std::string& current, int trancount);

}  // namespace sqlsrv
