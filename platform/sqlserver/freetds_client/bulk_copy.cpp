#include "platform/sqlserver/freetds_client/bulk_copy.h"

#include <cstring>

#include "platform/com/names.h"
#include "platform/com/unicode.h"
#include "platform/dts/binary_form.h"
#include "platform/dts/convert.h"
#include "platform/dts/oledb.h"
#include "platform/sqlserver/errors.h"

namespace sqlsrv::net {
namespace {

// One bound column of the table.
struct Slot {
  int column = 0;                 // 1-based, in the table
  const dts::ColumnInfo* info = nullptr;
  int source = -1;                // index in the written row, or -1 for the default
  int host_type = 0;              // the db-lib type of fixed-size values
  bool text = false;
  alignas(8) unsigned char fixed[8] = {};
  std::string bytes;              // text in the column's encoding
};

int HostTypeOf(const dts::ColumnInfo& c) {
  switch (c.type) {
    case dts::DBTYPE_UI1: return SYBINT1;
    case dts::DBTYPE_I2: return SYBINT2;
    case dts::DBTYPE_I4: return SYBINT4;
    case dts::DBTYPE_I8: return SYBINT8;
    case dts::DBTYPE_BOOL: return SYBBIT;
    case dts::DBTYPE_CY: return SYBMONEY;
    case dts::DBTYPE_R4: return SYBREAL;
    case dts::DBTYPE_R8: return SYBFLT8;
    case dts::DBTYPE_DBTIMESTAMP: case dts::DBTYPE_DATE: return SYBDATETIME;
    default: return 0;  // text, and decimals as their digits (exact)
  }
}

class BulkCopy final : public dts::BulkWriter {
 public:
  BulkCopy(Connection& connection, std::string object, const std::vector<dts::ColumnInfo>& table,
           const std::vector<std::string>& columns, const dts::BulkLoadOptions& options,
           std::vector<com::Variant> defaults)
      : connection_(connection), object_(std::move(object)), table_(table) {
    DBPROCESS* proc = connection_.proc();
    connection_.Drain();
    connection_.log().messages.clear();
    for (std::size_t i = 0; i < table_.size(); ++i) {
      const dts::ColumnInfo& c = table_[i];
      Slot s;
      s.column = static_cast<int>(i + 1);
      s.info = &c;
      for (std::size_t k = 0; k < columns.size(); ++k) {
        if (com::SameName(columns[k], c.name)) s.source = static_cast<int>(k);
      }
      // A generated identity is not part of the load unless its values are given.
      if (c.is_identity && !options.keep_identity) continue;
      s.host_type = HostTypeOf(c);
      s.text = s.host_type == 0;
      if (s.text && c.type == dts::DBTYPE_STR && c.code_page != 0 && !code_page_) {
        code_page_ = std::make_unique<com::CodePage>("CP" + std::to_string(c.code_page));
      }
      slots_.push_back(std::move(s));
    }
    if (bcp_init(proc, object_.c_str(), nullptr, nullptr, DB_IN) == FAIL) connection_.Raise("开始批量写入 " + object_);
    started_ = true;
    std::string hints = "KEEP_NULLS";
    if (options.check_constraints) hints += ",CHECK_CONSTRAINTS";
    if (bcp_options(proc, BCPHINTS, reinterpret_cast<BYTE*>(hints.data()), static_cast<int>(hints.size())) == FAIL ||
        (options.keep_identity && bcp_control(proc, BCPKEEPIDENTITY, 1) == FAIL)) {
      connection_.Raise("设置批量写入 " + object_);
    }
    for (Slot& s : slots_) {
      if (!s.text && bcp_bind(proc, s.fixed, 0, -1, nullptr, 0, s.host_type, s.column) == FAIL) {
        connection_.Raise("绑定列 " + s.info->name);
      }
      // A column the rows do not give takes the same value in every row:
      // bound once, here.
      if (s.source < 0) {
        com::Variant value;
        const com::Variant& given = defaults[static_cast<std::size_t>(s.column - 1)];
        if (!given.IsNull()) dts::ConvertValue(given, *s.info, true, &value);
        Put(proc, s, value);
      }
    }
  }

  ~BulkCopy() override {
    if (started_ && !finished_ && !connection_.dead()) {
      // Abandoned: the server drops the rows of the open batch.
      dbcancel(connection_.proc());
    }
  }

  void Write(const dts::Row& row) override {
    DBPROCESS* proc = connection_.proc();
    for (Slot& s : slots_) {
      if (s.source >= 0) Put(proc, s, row[static_cast<std::size_t>(s.source)]);
    }
    if (bcp_sendrow(proc) == FAIL) connection_.Raise("向 " + object_ + " 发送数据");
  }

  void Finish() override {
    finished_ = true;
    const DBINT rows = bcp_done(connection_.proc());
    if (rows < 0 || connection_.log().HasError()) connection_.Raise("批量写入 " + object_);
  }

  std::string FailedColumn() const override { return ""; }

 private:
  // Puts one value, already of its column's type, where bcp reads it.
  void Put(DBPROCESS* proc, Slot& s, const com::Variant& v) {
    if (s.text) {
      BindText(proc, s, v);
    } else if (v.IsNull() || v.IsEmpty()) {
      bcp_collen(proc, 0, s.column);
    } else {
      PutFixed(s, v);
      bcp_collen(proc, -1, s.column);
    }
  }

  // Binds text for one row: non-empty text by its length; empty text as an
  // empty string (db-lib takes a zero length for NULL, so an empty value
  // goes as a terminated, empty varchar); NULL by a zero length.
  void BindText(DBPROCESS* proc, Slot& s, const com::Variant& v) {
    static char empty[1] = {0};
    if (v.IsNull() || v.IsEmpty()) {
      bcp_bind(proc, reinterpret_cast<BYTE*>(empty), 0, 0, nullptr, 0, SYBCHAR, s.column);
      return;
    }
    const std::string& utf8 = v.text();
    if (utf8.empty()) {
      bcp_bind(proc, reinterpret_cast<BYTE*>(empty), 0, -1, nullptr, 0, SYBVARCHAR, s.column);
      return;
    }
    if (s.info->type == dts::DBTYPE_NUMERIC) {
      s.bytes = utf8;  // the digits, which db-lib converts to the column's decimal
    } else if (s.info->type == dts::DBTYPE_STR && code_page_) {
      code_page_->FromUtf8Lossy(utf8, &s.bytes);
    } else {
      std::u16string units;
      com::Utf8ToUtf16(utf8, &units);
      s.bytes.resize(units.size() * 2);
      for (std::size_t i = 0; i < units.size(); ++i) {
        s.bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
        s.bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
      }
    }
    bcp_bind(proc, reinterpret_cast<BYTE*>(s.bytes.data()), 0, static_cast<DBINT>(s.bytes.size()), nullptr, 0, SYBCHAR,
             s.column);
  }

  static void PutFixed(Slot& s, const com::Variant& v) {
    switch (s.host_type) {
      case SYBINT1: case SYBBIT: s.fixed[0] = static_cast<unsigned char>(v.ToInt64()); break;
      case SYBINT2: {
        const auto n = static_cast<DBSMALLINT>(v.ToInt64());
        std::memcpy(s.fixed, &n, sizeof n);
        break;
      }
      case SYBINT4: {
        const auto n = static_cast<DBINT>(v.ToInt64());
        std::memcpy(s.fixed, &n, sizeof n);
        break;
      }
      case SYBINT8: {
        const DBBIGINT n = v.ToInt64();
        std::memcpy(s.fixed, &n, sizeof n);
        break;
      }
      case SYBMONEY: {
        const std::int64_t units = v.type() == com::VarType::kCurrency ? v.integer() : v.ToInt64() * 10000;
        DBMONEY m;
        m.mnyhigh = static_cast<DBINT>(units >> 32);
        m.mnylow = static_cast<DBUINT>(units & 0xFFFFFFFF);
        std::memcpy(s.fixed, &m, sizeof m);
        break;
      }
      case SYBREAL: {
        const auto f = static_cast<float>(v.ToDouble());
        std::memcpy(s.fixed, &f, sizeof f);
        break;
      }
      case SYBFLT8: {
        const double d = v.ToDouble();
        std::memcpy(s.fixed, &d, sizeof d);
        break;
      }
      case SYBDATETIME: {
        std::int32_t days = 0;
        std::uint32_t ticks = 0;
        dts::DateTimeParts(v.real(), &days, &ticks);
        DBDATETIME dt;
        dt.dtdays = days;
        dt.dttime = static_cast<DBINT>(ticks);
        std::memcpy(s.fixed, &dt, sizeof dt);
        break;
      }
      default: break;
    }
  }

  Connection& connection_;
  std::string object_;
  std::vector<dts::ColumnInfo> table_;
  std::vector<Slot> slots_;
  std::unique_ptr<com::CodePage> code_page_;
  bool started_ = false;
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<dts::BulkWriter> OpenBulkCopy(Connection& connection, const std::string& object,
                                              const std::vector<dts::ColumnInfo>& table,
                                              const std::vector<std::string>& columns,
                                              const dts::BulkLoadOptions& options,
                                              std::vector<com::Variant> defaults) {
  return std::make_unique<BulkCopy>(connection, object, table, columns, options, std::move(defaults));
}

}  // namespace sqlsrv::net
