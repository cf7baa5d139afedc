// Binding a call's arguments to a procedure's parameters: positions and
// names, defaults, OUTPUT, and each value converted to its parameter's
// type.
#include "platform/sqlserver/procedure_call.h"

#include <charconv>
#include <cstdlib>

#include "platform/com/names.h"
#include "platform/sqlserver/errors.h"

namespace sqlsrv {
namespace {

// A value's kind and the name SQL Server's messages give its type.
struct KindName {
  com::VarType kind;
  const char* name;
};
constexpr KindName kKindNames[] = {
    {com::VarType::kNull, "NULL"},       {com::VarType::kEmpty, "NULL"},    {com::VarType::kBool, "bit"},
    {com::VarType::kUI1, "tinyint"},     {com::VarType::kI2, "smallint"},   {com::VarType::kI4, "int"},
    {com::VarType::kI8, "bigint"},       {com::VarType::kR4, "real"},       {com::VarType::kR8, "float"},
    {com::VarType::kCurrency, "money"},  {com::VarType::kDate, "datetime"}, {com::VarType::kText, "nvarchar"},
    {com::VarType::kDecimal, "numeric"},
};

// The conversion errors that say a value has no meaning in a type (not
// that it is out of its range): a call raises 8114 for them.
bool IsSyntaxConversion(const com::Error& e) {
  return e.number() == kConversion || e.number() == kDateConversion || e.number() == 235 ||
         e.number() == kArgumentConversion;
}

// A decimal constant's text with a digit on each side of its point.
std::string DecimalText(const std::string& text) {
  std::string out = text.front() == '.' ? "0" + text : text;
  if (out.back() == '.') out += "0";
  return out;
}

}  // namespace

std::string TypeNameOf(const com::Variant& v) {
  for (const KindName& k : kKindNames) {
    if (k.kind == v.type()) return k.name;
  }
  return "sql_variant";
}

std::string TypeNameOf(const ColumnType& t) {
  if (t.type == SqlType::kDecimal) return "numeric";  // as SQL Server's messages name decimal and numeric alike
  const std::string display = TypeDisplayName(t);
  return display.substr(0, display.find('('));
}

com::Variant ConstantValue(const ast::Expr& e) {
  switch (e.kind) {
    case ast::ExprKind::kNull:
      return com::Variant::Null();
    case ast::ExprKind::kInteger: {
      std::int64_t n = 0;
      const auto [end, ec] = std::from_chars(e.text.data(), e.text.data() + e.text.size(), n);
      if (ec != std::errc() || end != e.text.data() + e.text.size()) return com::Variant::Decimal(e.text);
      if (n <= INT32_MAX) return com::Variant::I4(static_cast<std::int32_t>(n));
      return com::Variant::I8(n);
    }
    case ast::ExprKind::kDecimal:
      return com::Variant::Decimal(DecimalText(e.text));
    case ast::ExprKind::kFloat:
      return com::Variant::R8(std::strtod(e.text.c_str(), nullptr));
    case ast::ExprKind::kMoney: {
      std::int64_t units = 0;
      if (!com::ParseCurrency(e.text, &units)) throw SqlErr(kSyntax, "Incorrect syntax near '$" + e.text + "'.");
      return com::Variant::Currency(units);
    }
    case ast::ExprKind::kString:
      return com::Variant::Text(e.text);
    case ast::ExprKind::kUnary:
      if (e.text == "-" && e.args.size() == 1) {
        const com::Variant v = ConstantValue(*e.args[0]);
        switch (v.type()) {
          case com::VarType::kI4: return com::Variant::I4(static_cast<std::int32_t>(-v.integer()));
          case com::VarType::kI8:
            if (v.integer() == -static_cast<std::int64_t>(INT32_MIN)) return com::Variant::I4(INT32_MIN);
            return com::Variant::I8(-v.integer());
          case com::VarType::kDecimal: return com::Variant::Decimal("-" + v.text());
          case com::VarType::kR8: return com::Variant::R8(-v.real());
          case com::VarType::kCurrency: return com::Variant::Currency(-v.integer());
          default: break;
        }
      }
      break;
    default:
      break;
  }
  throw SqlErr(kNotSupported, "Only a constant may stand here in the embedded server.");
}

std::vector<ProcedureParameter> ResolveParameters(const std::vector<ast::VariableDecl>& declared) {
  std::vector<ProcedureParameter> out;
  out.reserve(declared.size());
  for (const ast::VariableDecl& d : declared) {
    for (const ProcedureParameter& p : out) {
      if (com::SameName(p.name, d.name)) throw VariableRedeclaredError(d.name);
    }
    ProcedureParameter p;
    p.name = d.name;
    p.type = ResolveValueType(d.type);
    if (d.value) p.default_value = ConstantValue(*d.value);
    p.output = d.output;
    out.push_back(std::move(p));
  }
  return out;
}

BoundCall BindArguments(std::string_view procedure, const std::vector<ProcedureParameter>& parameters,
                        const std::vector<Argument>& arguments, const std::vector<std::string>& argument_types,
                        const MissingParameter& missing) {
  // A positional argument after a named one is refused before anything is
  // bound.
  bool named = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (!arguments[i].name.empty()) {
      named = true;
    } else if (named) {
      throw SqlErr(kNamedThenPositional,
                   "Must pass parameter number " + std::to_string(i + 1) +
                       " and subsequent parameters as '@name = value'. After the form '@name = value' has been used, "
                       "all subsequent parameters must be passed in the form '@name = value'.");
    }
  }
  BoundCall call;
  call.argument_of.assign(parameters.size(), -1);
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const Argument& a = arguments[i];
    std::size_t p = 0;
    if (a.name.empty()) {
      if (i >= parameters.size()) {
        throw SqlErr(kTooManyArguments, "Procedure or function " + std::string(procedure) +
                                            " has too many arguments specified.");
      }
      p = i;
    } else {
      while (p < parameters.size() && !com::SameName(parameters[p].name, a.name)) ++p;
      if (p == parameters.size()) {
        throw SqlErr(kNotAParameter, a.name + " is not a parameter for procedure " + std::string(procedure) + ".");
      }
      if (call.argument_of[p] >= 0) {
        throw SqlErr(kParameterRepeated, "Parameter '" + parameters[p].name + "' was supplied multiple times.");
      }
    }
    if (a.output && !parameters[p].output) {
      throw SqlErr(kNotOutputParameter, "The formal parameter \"" + parameters[p].name +
                                            "\" was not declared as an OUTPUT parameter, but the actual parameter "
                                            "passed in requested output.");
    }
    call.argument_of[p] = static_cast<int>(i);
  }
  for (std::size_t p = 0; p < parameters.size(); ++p) {
    const int i = call.argument_of[p];
    const bool given = i >= 0 && !arguments[static_cast<std::size_t>(i)].use_default;
    if (given || parameters[p].default_value) continue;
    if (missing) throw missing(parameters[p]);
    throw SqlErr(kParameterNotSupplied, "Procedure or function '" + std::string(procedure) + "' expects parameter '" +
                                            parameters[p].name + "', which was not supplied.");
  }
  call.values.resize(parameters.size());
  for (std::size_t p = 0; p < parameters.size(); ++p) {
    const int i = call.argument_of[p];
    if (i < 0 || arguments[static_cast<std::size_t>(i)].use_default) {
      ToStoredCut(*parameters[p].default_value, parameters[p].type, &call.values[p]);
      continue;
    }
    const auto k = static_cast<std::size_t>(i);
    try {
      ToStoredCut(arguments[k].value, parameters[p].type, &call.values[p]);
    } catch (const com::Error& e) {
      if (!IsSyntaxConversion(e)) throw;
      const std::string from = k < argument_types.size() ? argument_types[k] : TypeNameOf(arguments[k].value);
      throw SqlErr(kArgumentConversion, "Error converting data type " + from + " to " + TypeNameOf(parameters[p].type) + ".");
    }
  }
  return call;
}

}  // namespace sqlsrv
