// CREATE, ALTER and DROP of tables, views, indexes and procedures, and the
// types, columns and constraints they declare.
#include "platform/sqlserver/frontend/parser_internal.h"

namespace sqlsrv::parsing {

void Parser::CommonTableExpressions(Stmt& s) {
  std::vector<CommonTableExpression> ctes;
  do {
    CommonTableExpression cte;
    cte.name = Name();
    for (const auto& other : ctes) {
      if (SameName(other.name, cte.name)) {
        throw SqlErr(239, "Duplicate common table expression name '" + cte.name + "' was specified.");
      }
    }
    if (AcceptSymbol("(")) {
      do {
        cte.columns.push_back(Name());
      } while (AcceptSymbol(","));
      ExpectSymbol(")");
    }
    ExpectKeyword("AS");
    ExpectSymbol("(");
    cte.query = SelectStatement();
    ExpectSymbol(")");
    ctes.push_back(std::move(cte));
  } while (AcceptSymbol(","));
  if (Peek().IsKeyword("SELECT")) {
    s.kind = StmtKind::kSelect;
    s.select = SelectStatement(QueryRole::kStatement);
    if (!s.select->items.empty() && !s.select->items.front().variable.empty()) {
      throw SqlErr(kNotSupported, "A common table expression before a SELECT that assigns variables is not supported "
                                  "by the embedded server.");
    }
    ForBrowse(*s.select);
    QueryOptions(*s.select);
  } else if (Peek().IsKeyword("INSERT")) {
    Insert(s);
    if (!s.select) {
      throw SqlErr(kNotSupported, "A common table expression is supported before SELECT and INSERT ... SELECT only "
                                  "by the embedded server.");
    }
  } else if (Peek().IsKeyword("UPDATE") || Peek().IsKeyword("DELETE")) {
    throw SqlErr(kNotSupported, "A common table expression is supported before SELECT and INSERT ... SELECT only by "
                                "the embedded server.");
  } else {
    Fail();
  }
  s.select->ctes = std::move(ctes);
}

void Parser::CheckKeptDefinition(std::size_t first, std::size_t end) const {
  if (quoted_identifier_) return;
  for (std::size_t k = first; k < end && k < t_.size(); ++k) {
    if (IsDoubleQuoted(t_[k])) {
      throw SqlErr(kNotSupported, "A table or procedure definition holding \"double-quoted\" text while "
                                  "SET QUOTED_IDENTIFIER is OFF is not supported by the embedded server; "
                                  "write the text in single quotes.");
    }
  }
}

StmtPtr Parser::CreateView() {
  auto s = std::make_unique<Stmt>();
  s->offset = Peek().offset;
  s->kind = Peek().IsKeyword("ALTER") ? StmtKind::kAlterView : StmtKind::kCreateView;
  s->text = std::string(sql_);
  i_ += 2;
  s->object = Object();
  if (Peek().IsSymbol("(")) s->columns = ColumnList();
  if (AcceptKeyword("WITH")) {
    do {
      const Token& option = Next();
      if (!option.IsKeyword("ENCRYPTION") && !option.IsKeyword("SCHEMABINDING") && !option.IsKeyword("VIEW_METADATA")) {
        Fail(option);
      }
      throw SqlErr(kNotSupported, "Views WITH " + UpperAscii(option.text) + " are not supported by the embedded server.");
    } while (AcceptSymbol(","));
  }
  ExpectKeyword("AS");
  if (!Peek().IsKeyword("SELECT") && !Peek().IsSymbol("(")) Fail();
  s->select = SelectStatement(QueryRole::kView);
  if (AcceptKeyword("WITH")) {
    ExpectKeyword("CHECK");
    ExpectKeyword("OPTION");
    s->option = "CHECK OPTION";
  }
  while (AcceptSymbol(";")) {
  }
  if (!At(TokKind::kEnd)) Fail();
  return s;
}

void Parser::CreateIndex(Stmt& s) {
  s.kind = StmtKind::kCreateIndex;
  s.index.unique = AcceptKeyword("UNIQUE");
  if (AcceptKeyword("CLUSTERED")) {
    s.index.clustered = true;
  } else {
    AcceptKeyword("NONCLUSTERED");
  }
  ExpectKeyword("INDEX");
  s.index.name = Name();
  ExpectKeyword("ON");
  s.object = Object();
  ExpectSymbol("(");
  do {
    s.columns.push_back(Name());
    bool descending = false;
    if (AcceptKeyword("DESC")) {
      descending = true;
    } else {
      AcceptKeyword("ASC");
    }
    s.index.descending.push_back(descending);
  } while (AcceptSymbol(","));
  ExpectSymbol(")");
  if (Peek().IsKeyword("INCLUDE") || Peek().IsKeyword("WHERE")) {
    throw SqlErr(kNotSupported, "Indexes with " + UpperAscii(Peek().text) +
                                    " are not supported by the embedded server (SQL Server 2000 has none).");
  }
  if (AcceptKeyword("WITH")) {
    const bool listed = AcceptSymbol("(");
    do {
      const Token& option = Next();
      const std::string name = UpperAscii(option.text);
      if (name == "FILLFACTOR") {
        ExpectSymbol("=");
        if (!At(TokKind::kInteger)) Fail();
        std::int64_t fill = 0;
        if (!ParseDigits(Next().text, &fill) || fill < 1 || fill > 100) {
          throw SqlErr(1047, "Illegal FILLFACTOR value; FILLFACTOR must be between 1 and 100.");
        }
      } else if (name == "PAD_INDEX" || name == "SORT_IN_TEMPDB" || name == "STATISTICS_NORECOMPUTE" ||
                 name == "DROP_EXISTING") {
        if (AcceptSymbol("=") && !AcceptKeyword("ON") && !AcceptKeyword("OFF")) Fail();
        if (name == "DROP_EXISTING" && t_[i_ - 1].IsKeyword("OFF")) continue;
        if (name == "DROP_EXISTING") s.option = "DROP_EXISTING";
      } else if (name == "IGNORE_DUP_KEY") {
        throw SqlErr(kNotSupported, "Indexes WITH IGNORE_DUP_KEY are not supported by the embedded server.");
      } else {
        Fail(option);
      }
    } while (AcceptSymbol(","));
    if (listed) ExpectSymbol(")");
  }
  if (AcceptKeyword("ON")) {
    const std::string filegroup = Name();
    if (!SameName(filegroup, "PRIMARY") && !SameName(filegroup, "DEFAULT")) {
      throw SqlErr(1921, "Invalid filegroup '" + filegroup + "' specified.");
    }
  }
}

void Parser::DropIndex(Stmt& s) {
  s.kind = StmtKind::kDropIndex;
  do {
    ObjectName name = Object();
    ObjectName index;
    if (AcceptKeyword("ON")) {
      if (!name.schema.empty()) Fail();
      index.object = name.object;
      index.schema = Object().object;
    } else {
      if (name.schema.empty()) {
        throw SqlErr(159, "Must specify the table name and index name for the DROP INDEX statement.");
      }
      index.object = name.object;
      index.schema = name.schema;
    }
    s.objects.push_back(std::move(index));
  } while (AcceptSymbol(","));
}

StmtPtr Parser::CreateProcedure() {
  auto s = std::make_unique<Stmt>();
  s->offset = Peek().offset;
  s->kind = StmtKind::kCreateProcedure;
  s->text = std::string(sql_);
  i_ += 2;  // CREATE PROC[EDURE]
  s->object = Object();
  if (AcceptSymbol(";")) {
    if (!At(TokKind::kInteger)) Fail();
    ++i_;
  }
  if (Peek().IsSymbol("(") && Peek(1).kind == TokKind::kVariable) {
    ++i_;
    s->variables = ParameterList("CREATE PROCEDURE");
    ExpectSymbol(")");
  } else if (At(TokKind::kVariable)) {
    s->variables = ParameterList("CREATE PROCEDURE");
  }
  if (AcceptKeyword("WITH")) Fail();
  if (!Peek().IsKeyword("AS")) Fail();
  const std::size_t body_start = Next().end;
  s->body = std::string(sql_.substr(body_start));
  // The body must parse; its statements run when the procedure executes.
  in_procedure_ = true;
  while (!At(TokKind::kEnd)) {
    if (AcceptSymbol(";")) continue;
    if (Peek().IsKeyword("CREATE") && (Peek(1).IsKeyword("PROC") || Peek(1).IsKeyword("PROCEDURE"))) Fail();
    s->then_block.push_back(Statement());
  }
  in_procedure_ = false;
  return s;
}

std::vector<VariableDecl> Parser::ParameterList(std::string_view statement) {
  std::vector<VariableDecl> out;
  do {
    if (out.size() == kMaxParameters) {
      throw SqlErr(kTooManyParameters, "There are too many parameters in this " + std::string(statement) +
                                           " statement. The maximum number is " + std::to_string(kMaxParameters) + ".");
    }
    VariableDecl p;
    p.name = VariableName();
    p.type = Type({"", static_cast<int>(out.size()) + 1});
    AcceptKeyword("VARYING");
    if (AcceptSymbol("=")) p.value = Constant(false);
    if (AcceptKeyword("OUTPUT") || AcceptKeyword("OUT")) p.output = true;
    out.push_back(std::move(p));
  } while (AcceptSymbol(","));
  return out;
}

TypeName Parser::Type(TypeSite site) {
  TypeName t;
  const Token& tok = Peek();
  if (tok.kind != TokKind::kWord && tok.kind != TokKind::kQuoted) Fail();
  ++i_;
  t.name = com::LowerAscii(tok.text);
  if (t.name == "double" && AcceptKeyword("PRECISION")) t.name = "float";
  if (AcceptSymbol("(")) {
    if (AcceptKeyword("MAX")) {
      t.length = -2;
    } else {
      if (!At(TokKind::kInteger)) Fail();
      const Token& length = Next();
      t.length = TypeLength(t.name, length.text, site);
      if (IsDecimalName(t.name) && t.length == 0) {
        throw SqlErr(kInvalidLength, "Line " + std::to_string(LineOf(length.offset)) +
                                         ": Length or precision 0 is invalid.");
      }
      if (AcceptSymbol(",")) {
        if (!At(TokKind::kInteger)) Fail();
        const std::string digits = Next().text;
        if (IsDecimalName(t.name)) t.scale = DecimalScale(digits, t.length, site);
      }
    }
    ExpectSymbol(")");
  }
  return t;
}

int Parser::TypeLength(const std::string& type, const std::string& digits, TypeSite site) {
  std::int64_t n = 0;
  const bool huge = !ParseDigits(digits, &n) || n > INT_MAX;
  for (const TypeLimit& limit : kTypeLimits) {
    if (type != limit.type || (!huge && n <= limit.max)) continue;
    const std::string written = WithoutLeadingZeros(digits);
    if (limit.size) {
      const std::string what = site.column.empty() ? "type '" + type + "'" : "column '" + std::string(site.column) + "'";
      throw SqlErr(kSizeTooLarge, "The size (" + written + ") given to the " + what +
                                      " exceeds the maximum allowed for any data type (" + std::to_string(limit.max) + ").");
    }
    throw SqlErr(kPrecisionTooLarge, "Column or parameter #" + std::to_string(site.ordinal) + ": Specified column precision " +
                                         written + " is greater than the maximum precision of " +
                                         std::to_string(limit.max) + ".");
  }
  return huge ? INT_MAX : static_cast<int>(n);
}

std::vector<std::string> Parser::ColumnList() {
  std::vector<std::string> cols;
  ExpectSymbol("(");
  do {
    cols.push_back(Name());
    if (!AcceptKeyword("ASC")) AcceptKeyword("DESC");
  } while (AcceptSymbol(","));
  ExpectSymbol(")");
  return cols;
}

void Parser::CreateTable(Stmt& s) {
  const std::size_t first = i_;
  CreateTableBody(s);
  CheckKeptDefinition(first, i_);
}

void Parser::CreateTableBody(Stmt& s) {
  s.kind = StmtKind::kCreateTable;
  s.object = Object();
  ExpectSymbol("(");
  do {
    if (Peek().IsKeyword("CONSTRAINT") || Peek().IsKeyword("PRIMARY") || Peek().IsKeyword("UNIQUE") ||
        Peek().IsKeyword("FOREIGN")) {
      s.constraints.push_back(Constraint());
      continue;
    }
    ColumnDef c;
    c.name = Name();
    c.type = Type({c.name, static_cast<int>(s.column_defs.size()) + 1});
    for (;;) {
      if (AcceptKeyword("IDENTITY")) {
        c.identity = true;
        if (AcceptSymbol("(")) {
          c.seed = SignedInteger("IDENTITY", c.type.name);
          ExpectSymbol(",");
          c.step = SignedInteger("IDENTITY", c.type.name);
          ExpectSymbol(")");
        }
      } else if (AcceptKeyword("NOT")) {
        ExpectKeyword("NULL");
        c.nullable = false;
        c.explicit_null = true;
      } else if (AcceptKeyword("NULL")) {
        c.nullable = true;
        c.explicit_null = true;
      } else if (AcceptKeyword("COLLATE")) {
        c.collation = Name();
      } else if (Peek().IsKeyword("CONSTRAINT") || Peek().IsKeyword("DEFAULT") || Peek().IsKeyword("PRIMARY") ||
                 Peek().IsKeyword("UNIQUE") || Peek().IsKeyword("REFERENCES") || Peek().IsKeyword("FOREIGN")) {
        std::string name;
        if (AcceptKeyword("CONSTRAINT")) name = Name();
        if (Peek().IsKeyword("REFERENCES") || Peek().IsKeyword("FOREIGN")) {
          // [FOREIGN KEY] REFERENCES table [(column)]: the column's own.
          TableConstraint f;
          f.kind = TableConstraint::kForeignKey;
          f.name = name;
          if (AcceptKeyword("FOREIGN")) ExpectKeyword("KEY");
          ExpectKeyword("REFERENCES");
          f.columns = {c.name};
          f.ref_table = Object();
          if (Peek().IsSymbol("(")) f.ref_columns = ColumnList();
          s.constraints.push_back(std::move(f));
          continue;
        }
        if (AcceptKeyword("DEFAULT")) {
          c.default_name = name;
          const std::size_t start = Peek().offset;
          c.default_value = Primary();
          c.default_text = std::string(sql_.substr(start, t_[i_ - 1].end - start));
        } else if (AcceptKeyword("PRIMARY")) {
          ExpectKeyword("KEY");
          if (!Skip("CLUSTERED")) Skip("NONCLUSTERED");
          c.primary_key = true;
          c.constraint_name = name;
        } else if (AcceptKeyword("UNIQUE")) {
          if (!Skip("CLUSTERED")) Skip("NONCLUSTERED");
          c.unique = true;
          c.constraint_name = name;
        } else {
          Fail();
        }
      } else {
        break;
      }
    }
    s.column_defs.push_back(std::move(c));
  } while (AcceptSymbol(","));
  ExpectSymbol(")");
  if (s.column_defs.empty()) Fail();
}

TableConstraint Parser::Constraint() {
  TableConstraint c;
  if (AcceptKeyword("CONSTRAINT")) c.name = Name();
  if (AcceptKeyword("PRIMARY")) {
    ExpectKeyword("KEY");
    if (!AcceptKeyword("CLUSTERED")) AcceptKeyword("NONCLUSTERED");
    c.kind = TableConstraint::kPrimaryKey;
    c.columns = ColumnList();
  } else if (AcceptKeyword("UNIQUE")) {
    if (!AcceptKeyword("CLUSTERED")) AcceptKeyword("NONCLUSTERED");
    c.kind = TableConstraint::kUnique;
    c.columns = ColumnList();
  } else if (AcceptKeyword("FOREIGN")) {
    ExpectKeyword("KEY");
    c.kind = TableConstraint::kForeignKey;
    c.columns = ColumnList();
    ExpectKeyword("REFERENCES");
    c.ref_table = Object();
    c.ref_columns = ColumnList();
  } else {
    Fail();
  }
  return c;
}

}  // namespace sqlsrv::parsing
