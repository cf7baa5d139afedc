#include "cli/sample.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>

#include "cli/rng.h"
#include "cli/source_schema.h"
#include "platform/com/datetime.h"
#include "platform/com/error.h"
#include "platform/jet/writer.h"

namespace cli {
namespace {

using com::Variant;

std::uint64_t SubSeed(std::uint64_t seed, std::uint64_t table, std::uint64_t index) {
  Rng r(seed ^ (table * 0x100000001B3ull) ^ (index * 0xC2B2AE3D27D4EB4Full));
  return r.Next();
}

using S = std::string_view;

constexpr std::array<S, 60> kSurnames = {
    "王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周", "徐", "孙", "马", "朱", "胡",
    "郭", "何", "高", "林", "罗", "郑", "梁", "谢", "宋", "唐", "许", "韩", "冯", "邓", "曹",
    "彭", "曾", "肖", "田", "董", "袁", "潘", "于", "蒋", "蔡", "余", "杜", "叶", "程", "苏",
    "魏", "吕", "丁", "任", "沈", "姚", "卢", "姜", "崔", "钟", "谭", "陆", "汪", "范", "欧阳"};
constexpr std::array<S, 48> kGiven = {
    "伟", "芳", "娜", "秀英", "敏", "静", "丽", "强", "磊", "军", "洋", "勇", "艳", "杰", "娟", "涛",
    "明", "超", "秀兰", "霞", "平", "刚", "桂英", "建华", "建国", "海燕", "志强", "晓东", "红梅", "玉兰",
    "春生", "雪", "婷", "宇", "鹏", "浩", "欣", "琳", "子涵", "国庆", "卫东", "淑珍", "俊", "斌", "辉",
    "倩", "瑶", "凯"};
constexpr std::array<S, 16> kCities = {"北京市", "上海市", "天津市", "重庆市", "广州市", "深圳市",
                                       "杭州市", "南京市", "武汉市", "成都市", "西安市", "沈阳市",
                                       "郑州市", "济南市", "长沙市", "石家庄市"};
constexpr std::array<S, 12> kDistricts = {"朝阳区", "海淀区", "东城区", "西城区", "和平区", "南山区",
                                          "天河区", "江北区", "武侯区", "雁塔区", "历下区", "芙蓉区"};
constexpr std::array<S, 16> kRoads = {"建国路", "人民路", "解放大道", "中山路", "长安街", "和平里大街",
                                      "南京路", "学院路", "工业园路", "滨江大道", "五一路", "光明街",
                                      "胜利路", "新华路", "幸福大街", "友谊路"};
constexpr std::array<S, 16> kBrands = {"华联", "百盛", "金源", "利民", "宏达", "鑫隆", "恒丰", "永辉",
                                       "嘉禾", "瑞祥", "天成", "润发", "万佳", "富源", "兴旺", "德信"};
constexpr std::array<S, 8> kTrades = {"商贸", "贸易", "食品", "百货", "电器", "服饰", "日化", "实业"};
constexpr std::array<S, 10> kBanks = {"中国工商银行", "中国农业银行", "中国银行", "中国建设银行", "交通银行",
                                      "招商银行", "中信银行", "兴业银行", "北京银行", "浦发银行"};
constexpr std::array<S, 8> kNations = {"汉族", "汉族", "汉族", "汉族", "回族", "满族", "蒙古族", "壮族"};
constexpr std::array<S, 10> kDepartNames = {"总经理办公室", "财务部", "采购部", "销售部", "仓储部",
                                            "人事部", "信息部", "客服部", "配送中心", "防损部"};
constexpr std::array<S, 8> kPosts = {"店长", "收银员", "理货员", "采购员", "会计", "出纳", "仓管员", "业务员"};
constexpr std::array<S, 5> kTitles = {"会计师", "助理会计师", "经济师", "工程师", "助理工程师"};
constexpr std::array<S, 8> kRegions = {"华北", "东北", "华东", "华中", "华南", "西南", "西北", "港澳台"};

struct ProductKind {
  S klass;       // goods class name
  S unit;        // selling unit
  S pack_unit;   // purchase unit
  int per_pack;  // selling units per purchase unit
  bool weighed;  // sold by weight
  bool clothing; // colours and sizes
  std::array<S, 6> names;
  std::array<S, 4> specs;
};

constexpr std::array<ProductKind, 10> kKinds = {{
    {"饮料", "瓶", "箱", 24, false, false, {"矿泉水", "冰红茶", "橙汁", "可乐", "凉茶", "绿茶"}, {"500ml", "550ml", "1.5L", "330ml"}},
    {"休闲食品", "袋", "箱", 20, false, false, {"薯片", "饼干", "牛肉干", "瓜子", "巧克力", "蛋卷"}, {"100g", "250g", "80g", "500g"}},
    {"粮油", "袋", "件", 4, false, false, {"东北大米", "小麦粉", "花生油", "玉米油", "挂面", "小米"}, {"5kg", "10kg", "1.8L", "5L"}},
    {"日化", "瓶", "箱", 12, false, false, {"洗发水", "沐浴露", "牙膏", "洗衣粉", "洗洁精", "香皂"}, {"400ml", "750ml", "120g", "1kg"}},
    {"家用电器", "台", "台", 1, false, false, {"电饭煲", "电水壶", "微波炉", "电风扇", "豆浆机", "电磁炉"}, {"3L", "1.7L", "20L", "2100W"}},
    {"服装", "件", "包", 10, false, true, {"T恤", "牛仔裤", "衬衫", "运动服", "羽绒服", "毛衣"}, {"M", "L", "XL", "均码"}},
    {"生鲜", "千克", "筐", 1, true, false, {"红富士苹果", "香蕉", "猪肉", "鸡蛋", "西红柿", "大白菜"}, {"散装", "一级", "精选", "特级"}},
    {"酒类", "瓶", "箱", 12, false, false, {"啤酒", "白酒", "葡萄酒", "黄酒", "米酒", "果酒"}, {"500ml", "640ml", "750ml", "2.5L"}},
    {"文具", "支", "盒", 10, false, false, {"中性笔", "铅笔", "笔记本", "文件夹", "橡皮", "订书机"}, {"0.5mm", "HB", "A4", "16K"}},
    {"烟草", "条", "件", 50, false, false, {"香烟", "卷烟", "雪茄", "烟丝", "打火机", "烟盒"}, {"硬盒", "软盒", "细支", "标准"}},
}};

std::string Cat(std::initializer_list<S> parts) {
  std::string s;
  for (S p : parts) s += p;
  return s;
}

std::string Num(std::int64_t v, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(v));
  return buf;
}

std::string PersonName(Rng& r) { return Cat({r.Pick(kSurnames), r.Pick(kGiven)}); }

std::string Address(Rng& r) {
  return Cat({r.Pick(kCities), r.Pick(kDistricts), r.Pick(kRoads)}) + std::to_string(r.Range(1, 299)) + "号";
}

std::string Phone(Rng& r) { return "0" + Num(r.Range(10, 29), 2) + "-" + Num(r.Range(60000000, 89999999), 8); }
std::string Mobile(Rng& r) { return "13" + Num(r.Range(0, 999999999), 9); }

std::string DateText(int y, int m, int d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

Variant Date(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  return Variant::Date(com::OleDateFromCivil({y, m, d, hh, mm, ss, 0}));
}

Variant RandomDate(Rng& r, int y0, int y1) {
  return Date(static_cast<int>(r.Range(y0, y1)), static_cast<int>(r.Range(1, 12)), static_cast<int>(r.Range(1, 28)),
              static_cast<int>(r.Range(8, 21)), static_cast<int>(r.Range(0, 59)), static_cast<int>(r.Range(0, 59)));
}

// A money amount of `yuan` whole units and `units` extra 1/10000 parts.
Variant Money(std::int64_t ten_thousandths) { return Variant::Currency(ten_thousandths); }
Variant Yuan(std::int64_t lo, std::int64_t hi, Rng& r) { return Money(r.Range(lo, hi) * 100 * 100); }

std::string IdNumber(Rng& r, int year) {
  std::string s = Num(r.Range(110101, 659001), 6) + Num(year, 4) + Num(r.Range(1, 12), 2) + Num(r.Range(1, 28), 2) +
                  Num(r.Range(0, 999), 3);
  const char check[] = "10X98765432";
  return s + check[r.Below(11)];
}

std::string LongRemark(Rng& r, int chars) {
  static constexpr std::array<S, 8> kWords = {"本年度", "期初数据", "已核对", "财务确认", "盘点结果",
                                              "按合同执行", "注意保质期", "备注说明"};
  std::string s;
  int n = 0;
  while (n < chars) {
    s += r.Pick(kWords);
    s += "，";
    n += 5;
  }
  return s + "完。";
}

// Fills one table's rows by column name and writes them.
class RowWriter {
 public:
  RowWriter(jet::Writer& writer, const Schema& schema, std::string_view table) : writer_(writer) {
    spec_ = FindTable(schema, table);
    if (!spec_) throw com::Error(com::kErrInvalidArgument, "sample", "样本库缺少表 " + std::string(table));
    row_.assign(spec_->columns.size(), Variant::Null());
    writer_.BeginTable(*spec_);
  }
  void Set(std::string_view column, Variant v) {
    for (std::size_t i = 0; i < spec_->columns.size(); ++i) {
      if (spec_->columns[i].name == column) {
        row_[i] = std::move(v);
        return;
      }
    }
    throw com::Error(com::kErrInvalidArgument, "sample", "表 " + spec_->name + " 没有列 " + std::string(column));
  }
  void Set(std::string_view column, std::string_view text) { Set(column, Variant::Text(text)); }
  void Set(std::string_view column, const char* text) { Set(column, Variant::Text(text)); }
  void Set(std::string_view column, const std::string& text) { Set(column, Variant::Text(text)); }
  void Audit(Rng& r) {
    Set("Computer", "SERVER" + Num(r.Range(1, 3), 2));
    Set("Operator", r.Percent(70) ? std::string("管理员") : PersonName(r));
    Set("OpTime", RandomDate(r, 2004, 2006));
  }
  void Emit() {
    writer_.AppendRow(row_);
    ++rows_;
    std::fill(row_.begin(), row_.end(), Variant::Null());
  }
  long long Finish() {
    writer_.EndTable();
    return rows_;
  }

 private:
  jet::Writer& writer_;
  const jet::TableSchema* spec_ = nullptr;
  std::vector<Variant> row_;
  long long rows_ = 0;
};

struct Counts {
  int departs, employees, members, regions, customers, suppliers, classes, goods, warehouses, stock_avg;
};

Counts CountsFor(int s) {
  Counts c;
  c.departs = 5 + s / 20;
  c.employees = 12 * s;
  c.members = 30 * s;
  c.regions = 8 + s / 10;
  c.customers = 20 * s;
  c.suppliers = 10 * s;
  c.classes = 10 + s / 5;
  c.goods = 60 * s;
  c.warehouses = 3 + s / 20;
  c.stock_avg = std::min(c.warehouses, 2 + s / 60);
  return c;
}

// One warehouse's stock of one goods.
struct Stock {
  int base_id;
  std::int64_t qty;  // 1/10000
  std::int64_t amo;  // 1/10000
  double price;
};

// The stock of goods `g`, the same every time it is asked for.
std::vector<Stock> StockOf(std::uint64_t seed, int g, const Counts& c) {
  Rng r(SubSeed(seed, 11, static_cast<std::uint64_t>(g)));
  const ProductKind& kind = kKinds[static_cast<std::size_t>(g) % kKinds.size()];
  int k = static_cast<int>(r.Range(1, std::max(1, 2 * c.stock_avg - 1)));
  if (g == 2) k = c.warehouses;  // one goods in every warehouse
  k = std::min(k, c.warehouses);
  std::vector<int> bases(static_cast<std::size_t>(c.warehouses));
  for (int i = 0; i < c.warehouses; ++i) bases[static_cast<std::size_t>(i)] = i + 1;
  std::vector<Stock> out;
  for (int i = 0; i < k; ++i) {
    const auto j = static_cast<std::size_t>(i + r.Below(c.warehouses - i));
    std::swap(bases[static_cast<std::size_t>(i)], bases[j]);
    const std::int64_t cost = r.Range(50, 500000);  // 1/100 yuan
    std::int64_t qty = kind.weighed ? r.Range(1, 500000) * 10 : r.Range(1, 300) * 10000;  // weighed: 3 decimals
    if (r.Percent(8)) qty = 0;
    std::int64_t amo = qty / 100 * cost / 100 * 100;  // 2 decimals of yuan
    if (qty == 0 && r.Percent(50)) amo = r.Range(1, 9999) * 100;  // an amount left on no quantity
    out.push_back({bases[static_cast<std::size_t>(i)], qty, amo, static_cast<double>(cost) / 100.0});
  }
  if (g == 3) out[0] = {out[0].base_id, 0, 123400, 12.34};          // zero quantity, non-zero amount
  if (g == 4) out[0] = {out[0].base_id, -20000, -70000, 3.5};        // negative stock
  return out;
}

std::string GoodsId(int g) { return "G" + Num(g + 1, 7); }
std::string Barcode(int g, int n) { return "69" + Num(g + 1, 9) + Num(n, 2); }

// What every table's writer shares: the file, the 5.6 tables, the sizes,
// the seed, and the report of a finished table.
struct SampleTables {
  jet::Writer& writer;
  const Schema& schema;
  const Counts& counts;
  std::uint64_t seed;
  std::function<void(const std::string&, long long)> done;
};

// Departments.
void WriteDeparts(const SampleTables& t) {
  const Counts& c = t.counts;
  const std::uint64_t seed = t.seed;
  RowWriter w(t.writer, t.schema, "Depart");
  Rng r(SubSeed(seed, 1, 0));
  for (int i = 0; i < c.departs; ++i) {
    w.Audit(r);
    w.Set("DepID", Variant::I4(i + 1));
    w.Set("Class", i < 2 ? "管理" : "业务");
    w.Set("DepCode", "D" + Num(i + 1, 3));
    w.Set("DepName", i < static_cast<int>(kDepartNames.size()) ? std::string(kDepartNames[static_cast<std::size_t>(i)])
                                                               : "门店" + std::to_string(i + 1) + "部");
    w.Emit();
  }
  t.done("Depart", w.Finish());
}

// Employees.
void WriteEmployees(const SampleTables& t) {
  const Counts& c = t.counts;
  const std::uint64_t seed = t.seed;
  RowWriter w(t.writer, t.schema, "Employee");
  Rng r(SubSeed(seed, 2, 0));
  for (int i = 0; i < c.employees; ++i) {
    w.Audit(r);
    if (i != 1) w.Set("DepID", Variant::I4(static_cast<std::int32_t>(r.Range(1, c.departs))));  // one without
    w.Set("Class", r.Percent(80) ? "正式" : "试用");
    w.Set("Code", "E" + Num(i + 1, 5));
    w.Set("Name", PersonName(r));
    w.Set("Sex", r.Percent(50) ? "男" : "女");
    w.Set("Nation", r.Pick(kNations));
    const int born = static_cast<int>(r.Range(1955, 1988));
    w.Set("Birthy", DateText(born, static_cast<int>(r.Range(1, 12)), static_cast<int>(r.Range(1, 28))));
    w.Set("IDNo", IdNumber(r, born));
    w.Set("CalLevel", r.Pick(std::array<S, 3>{"初级", "中级", "高级"}));
    if (r.Percent(30)) w.Set("Zch", r.Pick(kTitles));
    w.Set("Zw", r.Pick(kPosts));
    w.Set("WorkDate", DateText(static_cast<int>(r.Range(1995, 2006)), static_cast<int>(r.Range(1, 12)), 1));
    if (r.Percent(10)) w.Set("ToDate", DateText(2006, static_cast<int>(r.Range(1, 12)), 28));
    w.Set("Tel", Phone(r));
    if (r.Percent(20)) w.Set("Bp", "96" + Num(r.Range(0, 999999), 6));
    w.Set("Address", Address(r));
    w.Set("PostCode", Num(r.Range(100000, 850000), 6));
    if (i == 0) w.Set("Remark", LongRemark(r, 1200));  // a memo on long-value pages
    else if (r.Percent(10)) w.Set("Remark", "工作认真，按时完成任务。");
    w.Emit();
  }
  t.done("Employee", w.Finish());
}

// Members.
void WriteMembers(const SampleTables& t) {
  const Counts& c = t.counts;
  const std::uint64_t seed = t.seed;
  RowWriter w(t.writer, t.schema, "Member");
  Rng r(SubSeed(seed, 3, 0));
  for (int i = 0; i < c.members; ++i) {
    w.Audit(r);
    w.Set("MemberID", "M" + Num(i + 1, 7));
    w.Set("CardID", "8800" + Num(i + 1, 8));
    w.Set("Name", PersonName(r));
    w.Set("Sex", r.Percent(50) ? "男" : "女");
    const int born = static_cast<int>(r.Range(1940, 1995));
    if (r.Percent(85)) w.Set("Birthy", Date(born, static_cast<int>(r.Range(1, 12)), static_cast<int>(r.Range(1, 28))));
    if (r.Percent(70)) w.Set("IDNo", IdNumber(r, born));
    if (r.Percent(60)) w.Set("Tel", Phone(r));
    w.Set("Hand", Mobile(r));
    if (r.Percent(30)) w.Set("Email", "member" + std::to_string(i + 1) + "@example.cn");
    w.Set("PostCode", Num(r.Range(100000, 850000), 6));
    w.Set("Address", Address(r));
    // Cards run to a date; "permanent" cards run past 2038.
    w.Set("ToDate", i % 10 == 0 ? Date(2099, 12, 31) : Date(static_cast<int>(r.Range(2007, 2010)), 12, 31));
    w.Set("Type", Variant::I2(static_cast<std::int16_t>(r.Range(1, 3))));
    if (r.Percent(70)) w.Set("RegionID", Variant::I4(static_cast<std::int32_t>(r.Range(1, c.regions))));
    w.Set("Class", r.Pick(std::array<S, 3>{"金卡", "银卡", "普通卡"}));
    w.Set("IsTrans", Variant::Bool(false));
    w.Set("IsUse", Variant::Bool(!r.Percent(5)));
    w.Set("IsUsual", Variant::Bool(!r.Percent(10)));
    w.Set("PriceID", Variant::I2(static_cast<std::int16_t>(r.Range(1, 3))));
    w.Set("Discount", Money(r.Pick(std::array<std::int64_t, 4>{8500, 8800, 9500, 10000})));
    w.Set("Amo", Yuan(0, 20000, r));
    w.Emit();
  }
  t.done("Member", w.Finish());
}

// Regions.
void WriteRegions(const SampleTables& t) {
  const Counts& c = t.counts;
  const std::uint64_t seed = t.seed;
  RowWriter w(t.writer, t.schema, "Region");
  Rng r(SubSeed(seed, 4, 0));
  for (int i = 0; i < c.regions; ++i) {
    w.Audit(r);
    w.Set("RegionID", Variant::I4(i + 1));
    w.Set("Class", kRegions[static_cast<std::size_t>(i) % kRegions.size()]);
    w.Set("RegCode", "R" + Num(i + 1, 3));
    w.Set("RegName", Cat({kCities[static_cast<std::size_t>(i) % kCities.size()],
                          kDistricts[static_cast<std::size_t>(i / 16) % kDistricts.size()]}));
    w.Emit();
  }
  t.done("Region", w.Finish());
}

// Customers and suppliers, which share their shape.
void WritePartners(const SampleTables& t, const char* table, int count, const char* prefix, std::uint64_t salt,
                   bool customer) {
  const Counts& c = t.counts;
  const std::uint64_t seed = t.seed;
  RowWriter w(t.writer, t.schema, table);
  Rng r(SubSeed(seed, salt, 0));
  for (int i = 0; i < count; ++i) {
    w.Audit(r);
    bool used = !r.Percent(8);
    std::int64_t balance = r.Percent(30) ? 0 : r.Range(-50000, 800000) * 100;  // 2 decimals
    std::string id = prefix + Num(i, 5), name = Cat({r.Pick(kCities), r.Pick(kBrands), r.Pick(kTrades)}) + "有限公司";
    switch (i) {
      case 0:  // the retail partner
        id = "0";
        name = customer ? "零售客户" : "零星采购";
        used = true;
        balance = 2500000;
        break;
      case 1: used = false; balance = 5000000; break;  // not in use, with a balance
      case 2: used = true; balance = 0; break;
      case 3: used = true; balance = -800000; break;    // -80
      case 4: used = true; balance = 12345678; break;   // 1234.5678
      default: break;
    }
    w.Set("IsTrans", Variant::Bool(false));
    w.Set("IsUsed", Variant::Bool(used));
    w.Set("IsUsual", Variant::Bool(!r.Percent(15)));
    if (i != 2) w.Set("RegionID", Variant::I4(static_cast<std::int32_t>(r.Range(1, c.regions))));
    w.Set("Class", customer ? (i == 0 ? "零售" : r.Pick(std::array<S, 3>{"批发", "团购", "加盟店"})) : "供应商");
    w.Set("UnitID", id);
    w.Set("Code", std::string(customer ? "KH" : "GYS") + Num(i + 1, 5));
    w.Set("UnitName", name);
    if (r.Percent(80)) w.Set("TaxNo", Num(r.Range(110000000000000, 659999999999999), 15));
    w.Set("PBalAmo", Money(balance / 2));  // the 5.6 opening balance, superseded by BalAmo
    w.Set("BalAmo", Money(balance));
    w.Set("PreAmo", Money(0));
    if (customer) {
      w.Set("Credit", Variant::R4(static_cast<float>(r.Range(0, 20) * 5000)));
      w.Set("TotalAmo", Money(r.Range(0, 5000000) * 100));
      w.Set("PriceID", Variant::I2(static_cast<std::int16_t>(r.Range(1, 4))));
      w.Set("Discount", Money(i == 5 ? 1234 : r.Pick(std::array<std::int64_t, 3>{9000, 9500, 10000})));
      w.Set("DebtCyc", Variant::I2(static_cast<std::int16_t>(r.Pick(std::array<int, 3>{0, 30, 60}))));
      w.Set("FollowName", PersonName(r));
    }
    w.Set("Tel", Phone(r));
    if (r.Percent(60)) w.Set("Fax", Phone(r));
    if (r.Percent(40)) w.Set("Email", std::string(customer ? "sales" : "supply") + std::to_string(i) + "@example.cn");
    w.Set("PostCode", Num(r.Range(100000, 850000), 6));
    w.Set("Address", Address(r));
    if (r.Percent(75)) {
      w.Set("Bank", Cat({r.Pick(kBanks), r.Pick(kCities)}) + "分行");
      w.Set("AccNo", Num(r.Range(1000000000, 9999999999), 10) + Num(r.Range(0, 999999999), 9));
    }
    if (i == 3) w.Set("Remark", "");  // empty, not null
    else if (r.Percent(10)) w.Set("Remark", "长期合作伙伴，按月结算。");
    w.Emit();
  }
  t.done(table, w.Finish());
}

// Goods classes.
void WriteGoodsClasses(const SampleTables& t) {
  const Counts& c = t.counts;
  const std::uint64_t seed = t.seed;
  RowWriter w(t.writer, t.schema, "gdsClass");
  Rng r(SubSeed(seed, 7, 0));
  for (int i = 0; i < c.classes; ++i) {
    const ProductKind& k = kKinds[static_cast<std::size_t>(i) % kKinds.size()];
    w.Audit(r);
    w.Set("Class", Num(i + 1, 4));
    w.Set("IsGoods", Variant::Bool(true));
    w.Set("ClasName", i < static_cast<int>(kKinds.size()) ? std::string(k.klass)
                                                         : std::string(k.klass) + "（" + std::to_string(i / 10 + 1) + "）");
    w.Set("Rate1", Money(1700));  // VAT 17%
    w.Set("Rate2", Money(r.Range(500, 3000)));
    if (r.Percent(50)) w.Set("Rate3", Money(0));
    w.Set("ClassCode", "L" + Num(i + 1, 4));
    w.Emit();
  }
  t.done("gdsClass", w.Finish());
}

// Goods.
void WriteGoods(const SampleTables& t) {
  const Counts& c = t.counts;
  const std::uint64_t seed = t.seed;
  RowWriter w(t.writer, t.schema, "Goods");
  for (int g = 0; g < c.goods; ++g) {
    Rng r(SubSeed(seed, 8, static_cast<std::uint64_t>(g)));
    const ProductKind& k = kKinds[static_cast<std::size_t>(g) % kKinds.size()];
    const int klass = (g % c.classes);
    std::int64_t qty = 0, amo = 0;
    for (const Stock& s : StockOf(seed, g, c)) {
      qty += s.qty;
      amo += s.amo;
    }
    const double price = static_cast<double>(r.Range(100, 99900)) / 100.0;
    w.Audit(r);
    w.Set("Class", Num(klass + 1, 4));
    w.Set("IsTrans", Variant::Bool(false));
    w.Set("IsGoods", Variant::Bool(true));
    w.Set("IsUsual", Variant::Bool(g != 1 && !r.Percent(10)));  // goods 1 and others not in regular use
    w.Set("IsCom", Variant::Bool(g % 12 == 11));
    w.Set("IsEScale", Variant::Bool(k.weighed));
    w.Set("IsEntrust", Variant::Bool(r.Percent(5)));
    w.Set("GoodsID", GoodsId(g));
    w.Set("Code", Num(10000 + g, 6));
    std::string name = Cat({r.Pick(kBrands), r.Pick(k.names)});
    if (g == 0) {
      name = "金源牌特级精选东北五常稻花香大米家庭超值装限量版（含赠品密封米桶一只及精美礼品袋）新春年货礼盒装（本品适合送礼及家庭日常食用）";
    }
    w.Set("GdsName", name);
    if (r.Percent(85)) w.Set("GdsStandard", r.Pick(k.specs));
    if (r.Percent(40)) w.Set("GdsGrade", r.Pick(std::array<S, 3>{"一级", "合格品", "优等品"}));
    if (r.Percent(70)) w.Set("Origion", r.Pick(kCities));
    if (r.Percent(60)) w.Set("UnitID", "S" + Num(r.Range(5, std::max(5, c.suppliers - 1)), 5));
    w.Set("Type", k.klass);
    w.Set("PUnit", k.pack_unit);
    w.Set("Unit", k.unit);
    w.Set("Ref", Money(static_cast<std::int64_t>(k.per_pack) * 10000));
    w.Set("MaxRes", Money(r.Range(100, 1000) * 10000));
    w.Set("MinRes", Money(r.Range(0, 50) * 10000));
    w.Set("Price", Variant::R8(price));
    for (const char* p : {"Price1", "Price2", "Price3", "Price4", "MemPrice1", "MemPrice2", "MemPrice3"}) {
      if (r.Percent(80)) w.Set(p, Money(static_cast<std::int64_t>(price * 100 + 0.5) * (90 + r.Range(0, 9))));
    }
    w.Set("MinPrice", Money(static_cast<std::int64_t>(price * 100 + 0.5) * 80));
    if (qty != 0) w.Set("BalPrice", Variant::R8(static_cast<double>(amo) / static_cast<double>(qty)));
    w.Set("PBalQua", Money(qty));
    w.Set("PBalAmo", Money(amo));
    w.Set("BalQua", Money(qty));
    w.Set("BalAmo", Money(amo));
    for (const char* p : {"BQuaSum", "BAmoSum", "BDIQSum", "BDIQAmo", "BDEQSum", "BDEQAmo"}) {
      w.Set(p, Money(r.Range(0, 1000) * 10000));
    }
    w.Set("fblnIsColor", Variant::Bool(k.clothing));
    w.Set("fblnIsSize", Variant::Bool(k.clothing));
    w.Set("IsPro", Variant::Bool(r.Percent(10)));
    if (k.clothing) w.Set("fstrSizeGroup", "S-M-L-XL");
    w.Set("IsBrunt", Variant::Bool(false));
    if (r.Percent(20)) w.Set("Properties", "季节性商品");
    w.Set("Costing", Variant::I4(static_cast<std::int32_t>(r.Range(0, 1))));
    if (r.Percent(50)) w.Set("fcurStandardPrice", Money(static_cast<std::int64_t>(price * 100 + 0.5) * 100));
    if (g == 5) w.Set("Remark", LongRemark(r, 3000));  // a memo over several long-value pages
    w.Emit();
  }
  t.done("Goods", w.Finish());
}

// Goods combinations: every 12th goods is made of two or three others.
void WriteGoodsCombinations(const SampleTables& t) {
  const Counts& c = t.counts;
  const std::uint64_t seed = t.seed;
  RowWriter w(t.writer, t.schema, "gdsCom");
  for (int g = 11; g < c.goods; g += 12) {
    Rng r(SubSeed(seed, 9, static_cast<std::uint64_t>(g)));
    const int parts = static_cast<int>(r.Range(2, 3));
    for (int p = 0; p < parts; ++p) {
      w.Set("GoodsID", GoodsId(g));
      w.Set("GdsCode", GoodsId(g - 1 - p));
      w.Set("Qua", Money(r.Range(1, 6) * 10000));
      w.Set("Price", Money(r.Range(100, 50000) * 100));
      w.Emit();
    }
  }
  t.done("gdsCom", w.Finish());
}

// Identification codes: a main bar code for every goods, a second for some.
void WriteIdentificationCodes(const SampleTables& t) {
  const Counts& c = t.counts;
  const std::uint64_t seed = t.seed;
  RowWriter w(t.writer, t.schema, "GoodsIDList");
  for (int g = 0; g < c.goods; ++g) {
    Rng r(SubSeed(seed, 10, static_cast<std::uint64_t>(g)));
    const int codes = g % 3 == 0 ? 2 : 1;
    for (int n = 0; n < codes; ++n) {
      w.Set("GoodsBarID", Barcode(g, n));
      w.Set("GoodsID", GoodsId(g));
      w.Set("Type", Variant::I2(static_cast<std::int16_t>(n + 1)));
      if (r.Percent(90)) w.Set("Optime", RandomDate(r, 2003, 2006));
      w.Set("IsSaleOut", Variant::Bool(r.Percent(3)));
      w.Emit();
    }
  }
  t.done("GoodsIDList", w.Finish());
}

// Warehouses.
void WriteWarehouses(const SampleTables& t) {
  const Counts& c = t.counts;
  const std::uint64_t seed = t.seed;
  RowWriter w(t.writer, t.schema, "Base");
  Rng r(SubSeed(seed, 12, 0));
  for (int i = 0; i < c.warehouses; ++i) {
    w.Set("BaseID", Variant::I4(i + 1));
    w.Audit(r);
    w.Set("BaseCode", Num(i + 1, 2));
    w.Set("BaseName", i == 0 ? std::string("总仓") : "第" + std::to_string(i) + "门店");
    w.Set("IsOwner", Variant::Bool(i == 0));
    w.Set("Address", Address(r));
    w.Set("Phone", Phone(r));
    w.Set("Name", PersonName(r));
    w.Emit();
  }
  t.done("Base", w.Finish());
}

// Stock.
void WriteStock(const SampleTables& t) {
  const Counts& c = t.counts;
  const std::uint64_t seed = t.seed;
  RowWriter w(t.writer, t.schema, "bBalance");
  Rng r(SubSeed(seed, 13, 0));
  for (int g = 0; g < c.goods; ++g) {
    for (const Stock& s : StockOf(seed, g, c)) {
      w.Audit(r);
      w.Set("BaseID", Variant::I4(s.base_id));
      w.Set("GoodsID", GoodsId(g));
      w.Set("PBalQua", Money(s.qty));
      w.Set("PBalAmo", Money(s.amo));
      w.Set("BalPrice", Variant::R8(s.price));
      w.Set("BalQua", Money(s.qty));
      w.Set("BalAmo", Money(s.amo));
      w.Set("RBalQua", Money(s.qty));
      w.Set("RBalAmo", Money(s.amo));
      w.Set("BDIQua", Money(0));
      w.Set("BDIQAmo", Money(0));
      w.Set("BDEQua", Money(0));
      w.Set("BDEQAmo", Money(0));
      if (r.Percent(60)) {
        w.Set("Location", std::string(1, static_cast<char>('A' + r.Below(6))) + "-" + Num(r.Range(1, 30), 2) + "-" +
                              Num(r.Range(1, 9), 2));
      }
      w.Emit();
    }
  }
  t.done("bBalance", w.Finish());
}

}  // namespace

SampleResult WriteSample(const std::string& path, const SampleOptions& options,
                         const std::function<void(const std::string&, long long)>& progress) {
  if (options.scale < 1 || options.scale > 100000) {
    throw com::Error(com::kErrInvalidArgument, "sample", "规模应在 1 到 100000 之间");
  }
  const Schema& schema = SourceSchema56();
  const Counts c = CountsFor(options.scale);
  const std::uint64_t seed = options.seed;
  jet::Writer writer(path, {.password = options.password});
  SampleResult result;
  const SampleTables tables{writer, schema, c, seed, [&](const std::string& table, long long rows) {
                               result.rows.emplace_back(table, rows);
                               if (progress) progress(table, rows);
                             }};

  WriteDeparts(tables);
  WriteEmployees(tables);
  WriteMembers(tables);
  WriteRegions(tables);
  WritePartners(tables, "Customer", c.customers, "C", 5, true);
  WritePartners(tables, "Supplier", c.suppliers, "S", 6, false);

  WriteGoodsClasses(tables);
  WriteGoods(tables);
  WriteGoodsCombinations(tables);
  WriteIdentificationCodes(tables);
  WriteWarehouses(tables);
  WriteStock(tables);
  writer.Finish();
  return result;
}

}  // namespace cli
