#include "tests/support/upgrade_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include "cli/tsv.h"
#include "platform/com/names.h"
#include "platform/com/variant.h"
#include "platform/jet/reader.h"
#include "platform/sqlserver/engine.h"

namespace testing_support {

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

namespace {

std::string Money(std::int64_t units) { return com::FormatCurrency(units); }

// `text` cut to `limit` characters, counted as the destination counts
// them: UTF-16 units for Unicode text, CP936 bytes (two for every
// non-ASCII character) for single-byte text.
std::string Cut(const std::string& text, std::size_t limit, bool unicode) {
  std::size_t used = 0, i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    const std::size_t width = unicode ? (len == 4 ? 2 : 1) : (c < 0x80 ? 1 : 2);
    if (used + width > limit) break;
    used += width;
    i += len;
  }
  return text.substr(0, i);
}

// A value as its destination column of OLE DB type `type` holds it.
std::string Canonical(const com::Variant& v, int type, int size) {
  if (v.IsNull() || v.IsEmpty()) return "\\N";
  char buf[64];
  switch (type) {
    case 2: case 3: case 17: case 20:
      return std::to_string(v.ToInt64());
    case 4: case 5:
      std::snprintf(buf, sizeof buf, "%.4f", v.ToDouble());
      return buf;
    case 6:
      return Money(v.type() == com::VarType::kCurrency ? v.integer() : std::llround(v.ToDouble() * 10000));
    case 7: case 135:
      return v.ToText().substr(0, 19);
    case 11:
      return v.ToBool() ? "1" : "0";
    case 129: case 130: {
      const std::string text = v.ToText();
      return size > 0 ? Cut(text, static_cast<std::size_t>(size), type == 130) : text;
    }
    default:
      return v.ToText();
  }
}

std::string TableOf(const std::string& object) {
  const auto open = object.rfind('[');
  return object.substr(open + 1, object.size() - open - 2);
}

std::vector<dts::Row> DestinationRows(const EmbeddedShop& shop, const std::string& sql) {
  sqlsrv::Engine engine(shop.database_file, EmbeddedShop::kDatabase, "sa");
  sqlsrv::BatchOutput out;
  engine.Execute(sql, &out);
  return out.results.at(0).rows;
}

}  // namespace

ExpectedLedger LedgerOf(const std::string& file, const std::string& table, bool is_used_written) {
  jet::Database db(file);
  auto rows = db.Query("select `UnitID`,`IsUsed`,`BalAmo` from `" + table + "`");
  ExpectedLedger out;
  std::int64_t sum = 0, count = 0;
  dts::Row row;
  while (rows->Next(row)) {
    const std::string id = row[0].text();
    const bool used = !is_used_written || row[1].ToBool();
    if (!used || row[2].IsNull() || row[2].integer() == 0 || (table == "Customer" && id == "0")) continue;
    const std::string amount = Money(row[2].integer());
    out.rows.push_back(id + "\t200\t" + amount + "\t0.0000\t" + amount + "\t期初余额");
    out.marked.push_back(id);
    sum += row[2].integer();
    ++count;
  }
  out.rows = Sorted(out.rows);
  out.marked = Sorted(out.marked);
  out.totals = std::to_string(count) + "\t" + (count ? Money(sum) : "");
  return out;
}

ExpectedCustody CustodyOf(const std::string& file) {
  jet::Database db(file);
  auto rows = db.Query("select `BaseID`,`GoodsID`,`BalQua`,`BalAmo` from `bBalance`");
  ExpectedCustody c;
  std::int64_t count = 0, qua = 0, amo = 0;
  dts::Row row;
  while (rows->Next(row)) {
    if (row[2].IsNull() || row[2].integer() == 0) continue;
    const std::int64_t q = row[2].integer(), a = row[3].IsNull() ? 0 : row[3].integer();
    const std::string price = Money(a * 10000 / q);
    c.rows.push_back(row[0].ToText() + "\t" + row[1].text() + "\t200\t" + price + "\t" + Money(q) + "\t" + Money(a) +
                     "\t" + price + "\t" + Money(q) + "\t" + Money(a) + "\t" + Money(q) + "\t" + Money(a) + "\t期初余额");
    c.stocked_goods.insert(row[1].text());
    ++count;
    qua += q;
    amo += a;
  }
  c.rows = Sorted(c.rows);
  c.totals = std::to_string(count) + "\t" + (count ? Money(qua) + "\t" + Money(amo) : "\t");
  return c;
}

std::vector<std::string> TransferDifferences(const EmbeddedShop& shop, const dts::Package& package,
                                             const std::string& file) {
  std::vector<std::string> differences;
  jet::Database db(file);
  for (const auto& task : package.Tasks()) {
    if (task->kind() != dts::kDataPumpTaskKind) continue;
    const auto& pump = task->AsDataPump();
    const std::string table = TableOf(pump.GetText("DestinationObjectName"));
    const dts::Transformation& t = pump.Transformations().Item(1);
    // Each destination column of the list with the source column feeding it
    // ("" for a listed column the script leaves empty).
    struct Target {
      std::string column, from;
      int type, size;
    };
    std::vector<Target> targets;
    std::map<std::string, std::string> assigned;
    if (t.IsScript()) {
      // Each line DTSDestination("A") = DTSSource("B"), read on its own
      // terms rather than by the pump's parser.
      const std::string text = t.TransformServerProperties().GetText("Text");
      const std::string dest = "DTSDestination(\"", middle = "\") = DTSSource(\"";
      for (std::size_t at = text.find(dest); at != std::string::npos; at = text.find(dest, at + 1)) {
        const std::size_t name_end = text.find(middle, at + dest.size());
        if (name_end == std::string::npos) break;
        const std::size_t source_end = text.find("\")", name_end + middle.size());
        if (source_end == std::string::npos) break;
        assigned[text.substr(at + dest.size(), name_end - at - dest.size())] =
            text.substr(name_end + middle.size(), source_end - name_end - middle.size());
      }
    }
    for (int i = 1; i <= t.DestinationColumns().Count(); ++i) {
      const dts::Column& d = t.DestinationColumns().Item(i);
      std::string from = t.IsScript() ? (assigned.count(d.Name()) ? assigned[d.Name()] : "")
                                      : t.SourceColumns().Item(i).Name();
      targets.push_back({d.Name(), from, d.GetLong("DataType"), d.GetLong("Size")});
    }
    // Expected: the source rows through the pairs.
    auto reader = db.Query(pump.GetText("SourceSQLStatement"));
    std::vector<int> index;
    for (const Target& target : targets) {
      int at = -1;
      for (std::size_t c = 0; c < reader->columns().size(); ++c) {
        if (com::SameName(reader->columns()[c].name, target.from)) at = static_cast<int>(c);
      }
      index.push_back(at);
    }
    std::vector<std::string> expected, actual;
    dts::Row row;
    while (reader->Next(row)) {
      std::string line;
      for (std::size_t k = 0; k < targets.size(); ++k) {
        line += (k ? "\t" : "") + (index[k] < 0 ? std::string("\\N")
                                                : Canonical(row[static_cast<std::size_t>(index[k])], targets[k].type,
                                                            targets[k].size));
      }
      expected.push_back(line);
    }
    // Actual: the destination's rows, the same columns.
    std::string select;
    for (const Target& target : targets) select += (select.empty() ? "" : ", ") + ("[" + target.column + "]");
    for (const dts::Row& r : DestinationRows(shop, "select " + select + " from [" + table + "]")) {
      std::string line;
      for (std::size_t k = 0; k < targets.size(); ++k) {
        line += (k ? "\t" : "") + Canonical(r[k], targets[k].type, targets[k].size);
      }
      actual.push_back(line);
    }
    expected = Sorted(expected);
    actual = Sorted(actual);
    if (expected.size() != actual.size()) {
      differences.push_back(table + ": " + std::to_string(expected.size()) + " rows in the source, " +
                            std::to_string(actual.size()) + " in the destination");
    }
    std::vector<std::string> missing, extra;
    std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(), std::back_inserter(missing));
    std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    for (std::size_t i = 0; i < missing.size() && i < 3; ++i) differences.push_back(table + " lacks " + missing[i]);
    for (std::size_t i = 0; i < extra.size() && i < 3; ++i) differences.push_back(table + " has " + extra[i]);
  }
  return differences;
}

namespace {

// Every table's rows as sorted TSV lines, without the columns whose values
// depend on when a run happened (identities of ledger rows, times).
std::map<std::string, std::vector<std::string>> ContentThrough(
    const std::vector<std::string>& tables,
    const std::function<std::vector<dts::ColumnInfo>(const std::string&)>& describe,
    const std::function<std::vector<dts::Row>(const std::string&)>& rows) {
  static const char* const kVolatile[] = {"ID", "OpTime", "AccDate", "Optime"};
  std::map<std::string, std::vector<std::string>> out;
  for (const std::string& table : tables) {
    std::string select;
    for (const auto& c : describe("[" + table + "]")) {
      bool skip = false;
      for (const char* v : kVolatile) skip = skip || c.name == v;
      if (!skip) select += (select.empty() ? "" : ", ") + ("[" + c.name + "]");
    }
    std::vector<std::string> lines;
    for (const dts::Row& r : rows("select " + select + " from [" + table + "]")) lines.push_back(cli::FormatTsvLine(r));
    out[table] = Sorted(lines);
  }
  return out;
}

}  // namespace

std::map<std::string, std::vector<std::string>> ContentOf(const EmbeddedShop& shop,
                                                          const std::vector<std::string>& tables) {
  sqlsrv::Engine engine(shop.database_file, EmbeddedShop::kDatabase, "sa");
  return ContentThrough(
      tables, [&](const std::string& t) { return engine.DescribeTable(t); },
      [&](const std::string& sql) { return DestinationRows(shop, sql); });
}

std::map<std::string, std::vector<std::string>> ContentOf(dts::Session& session, const std::vector<std::string>& tables) {
  return ContentThrough(
      tables, [&](const std::string& t) { return session.DescribeTable(t); },
      [&](const std::string& sql) {
        std::vector<dts::Row> out;
        auto reader = session.Query(sql);
        dts::Row row;
        while (reader->Next(row)) out.push_back(row);
        return out;
      });
}

}  // namespace testing_support
