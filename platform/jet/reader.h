// Reads Jet 3 and Jet 4 (.mdb) files, read-only.
//
// Opening checks the file first (exists, is a Jet database, the password
// matches) and raises an error of its own for each, then reads the catalog
// and every table's definition (table_layout.h); a damaged file raises
// kErrNotJetDatabase (3343) naming the table and the page, at open or at
// the row where the damage is. Only com::Error leaves the reader: running
// out of memory raises 0x8007000E. Queries stream rows in the file's order
// with constant memory (table_scan.h).
//
// A Database opens its file once, by its path, and everything read through
// it (its queries included, each with page buffers of its own) comes from
// that open file, whatever is renamed over the path afterwards. A page the
// file no longer holds whole when it is read (the file cut or rewritten
// meanwhile) is damage: 3343 naming the table and the page. Column
// types map to OLE DB type indicators: Yes/No BOOL, Byte UI1, Integer I2,
// Long I4, Currency CY, Single R4, Double R8, Date/Time DATE (years 100 to
// 9999; a date outside them is damage), Text WSTR, Memo WSTR (long),
// Decimal NUMERIC; replication IDs read as GUID text, binary and OLE
// objects as hex text. Jet 3 text is decoded from a code page (CP936 by
// default, KORVEL_JET3_CODEPAGE in the environment, or the open option).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dts/driver.h"
#include "platform/jet/definition.h"
#include "platform/jet/header.h"
#include "platform/jet/source_file.h"

namespace jet {

struct OpenOptions {
  std::string password{};
  std::string codepage{};  // empty: KORVEL_JET3_CODEPAGE, else "CP936"
};

// The code page Jet 3 text is read in when none is given.
std::string DefaultCodePage();

class Database {
 public:
  // Raises com::Error: file not found, not a Jet database, wrong password,
  // or a catalog or table definition that is damaged.
  Database(const std::string& path, const OpenOptions& options = {});
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  Version version() const { return header_.version; }
  const std::string& path() const { return path_; }
  // Whether the file has a database password (the one it was opened with).
  bool has_password() const { return header_.has_password; }

  // User tables, in catalog order.
  std::vector<std::string> TableNames();
  // The columns of a table (names matched without regard to case).
  std::vector<dts::ColumnInfo> TableColumns(std::string_view table);
  // The definition of a table: its name as the catalog spells it; its
  // columns in row order with their Jet types, text lengths in characters
  // (binary in bytes), decimal precision and scale, AutoNumber, Unicode
  // compression (Jet 4; a Jet 3 column reads as compressed, as Access
  // converts it) and Required (from the table's properties); its indexes
  // as the file lists them, foreign-key references left out. A column of a
  // type the writer does not write (Access 2007's attachments, say) raises
  // 3251 (not supported).
  TableSchema ReadTableSchema(std::string_view table);
  // Runs a query (see query.h). Each reader has page buffers of its own, so
  // several may be open at once, on any threads.
  std::unique_ptr<dts::RowReader> Query(std::string_view sql);

  // Raises kErrSourceChanged (source_file.h) when the file at the path is
  // no longer the file this object opened, or that file's size or
  // modification time has changed since. Reads only the files' status.
  void VerifyUnchanged() const;

 private:
  struct Contents;  // the file's pages, catalog and table definitions, as one call reads them

  std::string path_;
  OpenOptions options_;
  std::shared_ptr<const SourceFile> file_;
  HeaderInfo header_;
};

// The "Microsoft.Jet.OLEDB.4.0" driver for package connections: the file
// is the connection's Data Source, the password its "Jet OLEDB:Database
// Password" property. Sessions only read; transactions are no-ops. A
// session opens the file once; the sessions shared from it (Share) read
// that same open file, and VerifyUnchanged is the Database's.
std::shared_ptr<dts::Driver> MakeJetDriver();

}  // namespace jet
