#include "platform/jet/copy.h"

#include <memory>

#include "platform/com/error.h"
#include "platform/jet/writer.h"

namespace jet {

std::vector<CopiedTable> CopyDatabase(const std::string& source, const OpenOptions& options,
                                      const std::string& output, const RowEdit& edit) {
  Database db(source, options);
  // Every definition is read before the output is created, so that a source
  // the copy cannot take leaves nothing behind.
  std::vector<TableSchema> tables;
  for (const std::string& name : db.TableNames()) tables.push_back(db.ReadTableSchema(name));

  Writer writer(output, {.password = db.has_password() ? options.password : std::string(), .create_new = true});
  std::vector<CopiedTable> copied;
  std::vector<com::Variant> row;
  for (const TableSchema& table : tables) {
    CopiedTable& done = copied.emplace_back();
    done.name = table.name;
    writer.BeginTable(table);
    const std::unique_ptr<dts::RowReader> rows = db.Query("SELECT * FROM [" + table.name + "]");
    while (rows->Next(row)) {
      ++done.rows_read;
      if (edit && !edit(table.name, done.rows_read, row)) continue;
      try {
        writer.AppendRow(row);
      } catch (const com::Error& e) {
        throw com::Error(e.number(), e.source(),
                         e.description() + " (row " + std::to_string(done.rows_read) + " of table '" + table.name +
                             "' in '" + source + "')");
      }
      ++done.rows_written;
    }
    writer.EndTable();
  }
  db.VerifyUnchanged();
  writer.Finish();
  return copied;
}

}  // namespace jet
