// How: the report is laid out as a QTextDocument whose page is the A4 paint
// area less a band at the top and at the bottom (tables continue on the
// next page under their heading row; text wraps anywhere when it must, so
// a long path is never clipped). Qt would end a page between a heading and
// what it heads, or within a row of several lines: the report is laid out
// again with a page begun before each such group until none is split.
// Each page is then painted on a QPdfWriter, with the header and footer
// drawn in the bands. The PDF is made in memory, its ToUnicode maps
// mended (pdf_font_maps.h), and written whole.
#include "library/assurance/report_pdf.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "library/assurance/pdf_font_maps.h"
#include "platform/com/error.h"
#include "platform/com/variant.h"
#include "platform/port/system.h"

namespace assurance {
namespace {

constexpr char kSource[] = "korvel";
// The report's fonts: of each list, the first the system has. Noto CJK is
// Debian's (fonts-noto-cjk); the others are Windows' own Chinese fonts.
constexpr const char* kSansFamilies[] = {"Noto Sans CJK SC", "Microsoft YaHei", "SimHei", "SimSun"};
constexpr const char* kMonoFamilies[] = {"Noto Sans Mono CJK SC", "NSimSun", "SimSun"};
constexpr int kDpi = 300;           // the writer's units: layout and painting are in these
constexpr double kBodyPoints = 9;
constexpr std::size_t kProblemsShown = 200;
const QColor kAlarm(0xB0, 0x10, 0x10);
const QColor kRule(0x80, 0x80, 0x80);
const QColor kHeadingFill(0xE8, 0xE8, 0xE8);

// Lengths in points: on the writer (the header and footer), and in the
// document's table, frame and block formats, which Qt gives in pixels of a
// 96 dpi screen and scales to the writer.
double Pt(double points) { return points * kDpi / 72.0; }
double Doc(double points) { return points * 96 / 72.0; }
QString Q(const std::string& s) { return QString::fromStdString(s); }

// ---------------------------------------------------------------- Qt itself

// Qt's messages are no concern of korvel's operator (a runtime folder the
// offscreen platform does not use, ...): only critical ones are shown.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// The application object fonts and QPdfWriter need, for a program that has
// none (korvel), on the offscreen platform unless another is asked for.
class OwnApplication {
 public:
  OwnApplication() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Where the offscreen platform finds no system font database (Windows),
    // it reads the font files of this folder: the system's own.
    if (const std::string fonts = port::SystemFontFolder(); !fonts.empty() && qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR")) {
      qputenv("QT_QPA_FONTDIR", QByteArray::fromStdString(fonts));
    }
    qInstallMessageHandler(&QuietMessages);
    app_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }

 private:
  int argc_ = 1;
  char name_[7] = "korvel";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QGuiApplication> app_;
};

void NeedGuiApplication() {
  if (QCoreApplication::instance() == nullptr) {
    // Made once and kept for the process (Qt allows one application
    // object), and never destroyed: destroyed among the statics at exit,
    // after main, it tore down Qt's font database on Windows when that was
    // already gone (a crash at the end of a korvel run --pdf).
    static const OwnApplication* own = new OwnApplication;
    static_cast<void>(own);
  }
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
    throw com::Error(com::kErrInvalidArgument, kSource, "无法生成 PDF：程序的 Qt 应用对象不是图形应用");
  }
}

// The families chosen by NeedFonts.
QString g_sans, g_mono;

// Windows' font database may list a Chinese Windows' fonts by their Chinese
// names (微软雅黑), the English ones being aliases: hasFamily knows both.
void NeedFonts() {
  auto first = [&](const auto& wanted) {
    for (const char* family : wanted) {
      if (QFontDatabase::hasFamily(QString::fromUtf8(family))) return QString::fromUtf8(family);
    }
    throw com::Error(com::kErrInvalidArgument, kSource,
                     std::string("无法生成 PDF：没有中文字体“") + wanted[0] +
                         "”（Debian 软件包 fonts-noto-cjk）或 Windows 的中文字体（微软雅黑、黑体、宋体）");
  };
  g_sans = first(kSansFamilies);
  g_mono = first(kMonoFamilies);
}

// ---------------------------------------------------------------- words

std::string Count(std::int64_t n) { return std::to_string(n); }

// Seconds to the hundredth, as korvel's summary shows them.
std::string Seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", s);
  return buf;
}

std::string TitleOf(const Report& r) {
  return r.kind == Report::Kind::kRun ? "Velmora 升级报告" : "Velmora 升级前检查报告";
}

std::string SchemeOf(const Report& r) {
  return r.model_name.empty() ? r.model : r.model_name + "（" + r.model + "）";
}

// An error number as korvel prints it: decimal for the runtime's own,
// hexadecimal for the others.
std::string ErrorNumberText(std::int32_t number) {
  if (number > 0 && number < 100000) return std::to_string(number);
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(number));
  return buf;
}

std::string FirstRows(const dts::ColumnTruncation& t) {
  std::string rows;
  for (const auto& mark : t.first_rows) {
    rows += (rows.empty() ? "" : "、") + std::string("第 ") + Count(mark.position) + " 行" +
            (mark.key.empty() ? "" : "（" + mark.key + "）");
  }
  if (t.count > static_cast<std::int64_t>(t.first_rows.size())) rows += "等";
  return rows;
}

// ---------------------------------------------------------------- layout

struct Cell {
  std::string text;
  bool number = false;  // right-aligned
  bool alarm = false;   // a failure or a mismatch, in red
  bool mono = false;    // to be read character by character: a path, a digest
};
Cell Text(std::string text) { return {std::move(text)}; }
Cell Number(std::int64_t n) { return {Count(n), true}; }

struct Column {
  const char* caption;
  double percent;
};
// A row of a table; a row of one cell spans the table.
using Row = std::vector<Cell>;

// Lines to keep on one page: a group opened by a heading or a lead-in,
// which ends at the first line after them, or a row of a table (Qt would
// break a row of several lines between two pages). By block number, from
// `first` to `last`; `opening` or `table` and `row` name it for PageStarts.
struct Group {
  int first = 0, last = 0;
  int opening = -1;       // the group's opening block, counted from 0; -1 for a row
  int table = -1, row = -1;
  int led = -1;  // a table's first item: the opening of the group that leads in to it
};

// Where pages are to begin, as the layout of the report before showed:
// before the n-th opening block, before a row of the n-th table.
struct PageStarts {
  std::set<int> openings;
  std::set<std::pair<int, int>> rows;  // table, row
};

// Appends the parts of the report to a document, top to bottom.
class Composer {
 public:
  // The document is laid out once, when the composer is gone: Qt lays it
  // out again at each change made outside an edit block.
  Composer(QTextDocument& document, const PageStarts& starts)
      : cursor_(&document), edit_(&document), starts_(starts) {
    edit_.beginEditBlock();
  }
  ~Composer() { edit_.endEditBlock(); }
  Composer(const Composer&) = delete;
  Composer& operator=(const Composer&) = delete;

  const std::vector<Group>& groups() const { return groups_; }

  void Title(const std::string& text) {
    QTextBlockFormat block;
    block.setAlignment(Qt::AlignHCenter);
    block.setBottomMargin(Doc(10));
    QTextCharFormat chars;
    chars.setFontPointSize(18);
    chars.setFontWeight(QFont::Bold);
    Block(block, chars, text);
  }

  // A heading opens a group that stays on one page up to the first line
  // of what follows its lead-in paragraphs.
  void Heading(const std::string& text) {
    QTextBlockFormat block;
    block.setTopMargin(Doc(12));
    block.setBottomMargin(Doc(4));
    QTextCharFormat chars;
    chars.setFontPointSize(12);
    chars.setFontWeight(QFont::Bold);
    Open(block);
    Block(block, chars, text);
    group_.first = cursor_.blockNumber();
  }

  void Paragraph(const std::string& text, bool alarm = false, bool bold = false) {
    QTextBlockFormat block;
    block.setBottomMargin(Doc(2));
    QTextCharFormat chars;
    if (alarm) chars.setForeground(kAlarm);
    if (bold) chars.setFontWeight(QFont::Bold);
    Block(block, chars, text);
    Close(cursor_.blockNumber());
  }

  // A paragraph that introduces what follows it, kept with it.
  void LeadIn(const std::string& text, bool bold = false) {
    QTextBlockFormat block;
    block.setBottomMargin(Doc(2));
    QTextCharFormat chars;
    if (bold) chars.setFontWeight(QFont::Bold);
    const bool opens = group_.opening < 0;
    if (opens) Open(block);
    Block(block, chars, text);
    if (opens) group_.first = cursor_.blockNumber();
  }

  // A table with a heading row when the columns have captions, its rows
  // taken `per_item` at a time as one item that stays on one page. Where a
  // page is to begin before an item, the table ends there and goes on,
  // under its heading row again, on the next page.
  void Table(const std::vector<Column>& columns, const std::vector<Row>& rows, std::size_t per_item = 1) {
    const int number = tables_++;
    const bool heading = columns.front().caption[0] != '\0';
    QTextTable* table = nullptr;
    int r = 0;
    for (std::size_t k = 0; k < rows.size(); ++k, ++r) {
      const bool breaks = starts_.rows.count({number, static_cast<int>(k)}) > 0;
      if (table == nullptr || breaks) {
        if (table != nullptr) AfterFrame();
        std::size_t end = k + 1;
        while (end < rows.size() && starts_.rows.count({number, static_cast<int>(end)}) == 0) ++end;
        table = NewTable(columns, static_cast<int>(end - k), heading, breaks);
        r = heading ? 1 : 0;
      }
      const Row& row = rows[k];
      const int width = static_cast<int>(columns.size());
      if (row.size() == 1 && width > 1) table->mergeCells(r, 0, 1, width);
      const bool joined = k % per_item != 0;  // continues the item of the row before
      Group lines;
      lines.table = number;
      lines.row = static_cast<int>(k);
      for (std::size_t c = 0; c < row.size() && c < columns.size(); ++c) {
        const QTextTableCell cell = table->cellAt(r, static_cast<int>(c));
        Put(cell, row[c], false);
        if (c == 0) lines.first = cell.firstCursorPosition().blockNumber();
        lines.last = cell.lastCursorPosition().blockNumber();
      }
      if (k == 0) {
        lines.led = group_.opening;
        Close(lines.first);
      }
      if (joined) {
        groups_.back().last = lines.last;
      } else {
        groups_.push_back(lines);
      }
    }
    if (table == nullptr) return;
    AfterFrame();
  }

  // Two lines to sign on: who did the work, and the customer, each dated;
  // kept on one page with what leads in to them.
  void SignOff() {
    QTextTableFormat format;
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    format.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 13),
                                      QTextLength(QTextLength::PercentageLength, 42),
                                      QTextLength(QTextLength::PercentageLength, 9),
                                      QTextLength(QTextLength::PercentageLength, 36)});
    format.setBorderCollapse(true);
    format.setBorder(0);
    format.setCellSpacing(0);
    format.setCellPadding(Doc(3));
    QTextTable* table = cursor_.insertTable(2, 4, format);
    const char* labels[2][2] = {{"实施人：", "日期："}, {"客户确认：", "日期："}};
    for (int r = 0; r < 2; ++r) {
      for (int c = 0; c < 4; ++c) {
        QTextTableCellFormat cell;
        cell.setTopPadding(Doc(22));
        if (c % 2 == 1) {
          cell.setBottomBorder(Doc(0.8));
          cell.setBottomBorderStyle(QTextFrameFormat::BorderStyle_Solid);
          cell.setBottomBorderBrush(QColor(Qt::black));
        }
        table->cellAt(r, c).setFormat(cell);
        if (c % 2 == 0) Put(table->cellAt(r, c), {labels[r][c / 2]}, false);
      }
    }
    Close(table->cellAt(1, 3).lastCursorPosition().blockNumber());
    AfterFrame();
  }

 private:
  QTextTable* NewTable(const std::vector<Column>& columns, int rows, bool heading, bool new_page) {
    QTextTableFormat format;
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    QList<QTextLength> widths;
    for (const auto& c : columns) widths << QTextLength(QTextLength::PercentageLength, c.percent);
    format.setColumnWidthConstraints(widths);
    format.setBorderCollapse(true);
    format.setBorder(Doc(0.5));
    format.setBorderBrush(kRule);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setCellPadding(Doc(2.5));
    format.setCellSpacing(0);
    format.setHeaderRowCount(heading ? 1 : 0);  // repeated on every page the table runs onto
    format.setBottomMargin(Doc(4));
    if (new_page) format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextTable* table = cursor_.insertTable(rows + (heading ? 1 : 0), static_cast<int>(columns.size()), format);
    for (int c = 0; heading && c < static_cast<int>(columns.size()); ++c) {
      QTextTableCellFormat fill;
      fill.setBackground(kHeadingFill);
      table->cellAt(0, c).setFormat(fill);
      Put(table->cellAt(0, c), {columns[static_cast<std::size_t>(c)].caption}, true);
    }
    return table;
  }

  void Block(const QTextBlockFormat& block, const QTextCharFormat& chars, const std::string& text) {
    if (fresh_) {
      cursor_.setBlockFormat(block);
      cursor_.setBlockCharFormat(chars);
    } else {
      cursor_.insertBlock(block, chars);
    }
    cursor_.insertText(Q(text), chars);
    fresh_ = false;
  }

  static void Put(const QTextTableCell& cell, const Cell& content, bool heading) {
    QTextCursor at = cell.firstCursorPosition();
    QTextBlockFormat block;
    block.setAlignment(content.number ? Qt::AlignRight : Qt::AlignLeft);
    at.setBlockFormat(block);
    QTextCharFormat chars;
    if (heading) chars.setFontWeight(QFont::Bold);
    if (content.alarm) chars.setForeground(kAlarm);
    if (content.mono) chars.setFontFamilies({g_mono});
    // A line break starts another paragraph of the cell.
    if (!content.text.empty()) {
      at.insertText(Q(content.text).replace(QLatin1String("\r\n"), QLatin1String("\n")), chars);
    }
  }

  // Opens a group at the block about to be written with `block`, which
  // begins a page when the layout before asked for it.
  void Open(QTextBlockFormat& block) {
    group_ = Group();
    group_.opening = openings_++;
    if (starts_.openings.count(group_.opening)) block.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
  }
  void Close(int last) {
    if (group_.opening < 0) return;
    group_.last = last;
    groups_.push_back(group_);
    group_ = Group();
  }

  // After a table the document holds an empty block: the next text goes there.
  void AfterFrame() {
    cursor_.movePosition(QTextCursor::End);
    fresh_ = true;
  }

  QTextCursor cursor_;
  QTextCursor edit_;  // holds the edit block
  const PageStarts& starts_;
  bool fresh_ = true;  // the cursor is in an empty block nothing has been put in
  Group group_;        // the open group, if its opening is not -1
  int openings_ = 0, tables_ = 0;
  std::vector<Group> groups_;
};

// ---------------------------------------------------------------- content

void Overview(Composer& out, const Report& r) {
  std::vector<Row> rows = {
      {Text("升级方案"), Text(SchemeOf(r))},
      {Text("源文件"), {r.source.path, false, false, true}},
      {Text("文件大小"), Text(Count(r.source.size) + " 字节")},
      {Text("修改时间"), Text(r.source.modified)},
      {Text("SHA-256"), {r.source.sha256, false, false, true}},
  };
  const bool connected = !r.server.empty();
  rows.push_back({Text("目的服务器"), Text(connected ? r.server : "（未连接）")});
  rows.push_back({Text("目的数据库"), Text(r.database)});
  rows.push_back({Text("登录名"), Text(connected ? r.user : "（未连接）")});
  rows.push_back({Text("开始时间"), Text(r.started)});
  rows.push_back({Text("结束时间"), Text(r.ended)});
  rows.push_back({Text("用时"), Text(Seconds(r.seconds) + " 秒")});
  if (r.kind == Report::Kind::kRun) {
    const bool ok = r.result == RunOutcome::kSuccess;
    rows.push_back({Text("结果"), {OutcomeCaption(r.result), false, !ok}});
    if (!r.error.empty()) rows.push_back({Text("错误"), {r.error, false, true}});
  } else {
    // In brief: the verdict in full closes the findings it speaks of.
    const CheckResult none;
    const CheckResult& check = r.check ? *r.check : none;
    const char* verdict = check.Fails() ? "升级将失败（见检查结果）"
                          : check.Cuts() ? "升级可以完成，但有值将被截断或替换（见检查结果）"
                                         : "检查通过";
    rows.push_back({Text("结论"), {verdict, false, check.Fails()}});
  }
  out.Table({{"", 16}, {"", 84}}, rows);
}

std::string ValueWords(const std::optional<std::string>& v) { return v ? "“" + *v + "”" : "NULL"; }

// The changes a corrected copy made to the shop's file, when the source is
// one; the signatures cover them.
void SourceFixes(Composer& out, const Report& r) {
  if (!r.fixes) {
    if (!r.fixes_note.empty()) {
      out.Heading("源文件的修正");
      out.Paragraph(r.fixes_note, true);
    }
    return;
  }
  const FixRecord& f = *r.fixes;
  out.Heading("源文件的修正");
  out.Table({{"", 16}, {"", 84}},
            {{Text("原文件"), {f.source.path, false, false, true}},
             {Text("原文件 SHA-256"), {f.source.sha256, false, false, true}},
             {Text("修正清单"), {f.list, false, false, true}},
             {Text("修正时间"), Text(f.made)}});
  if (f.changes.empty()) {
    out.Paragraph("副本与原文件的数据相同，没有修改。");
    return;
  }
  out.LeadIn("上列源文件是原文件的副本，除以下 " + Count(static_cast<std::int64_t>(f.changes.size())) +
             " 处修改外，每个表的每一行都与原文件相同：");
  std::vector<Row> rows;
  for (const auto& c : f.changes) {
    rows.push_back({Text(c.table), Number(c.row), Text(c.key),
                    {c.removed ? "删除整行" : "列“" + c.column + "”由 " + ValueWords(c.old_value) + " 改为 " +
                                                   ValueWords(c.new_value),
                     false, c.removed}});
  }
  out.Table({{"表", 14}, {"行号", 9}, {"键", 25}, {"修改", 52}}, rows);
}

void Steps(Composer& out, const Report& r) {
  out.Heading("步骤");
  if (r.steps.empty()) {
    out.Paragraph("没有执行任何步骤。");
    return;
  }
  std::vector<Row> rows;
  for (const auto& s : r.steps) {
    std::int64_t cut = 0;
    for (const auto& t : s.stats.truncations) cut += t.count;
    rows.push_back({Text(s.name), {StateCaption(s.state), false, s.state == StepRecord::State::kFailed},
                    Number(s.stats.rows_read), Number(s.stats.rows_written), Number(cut),
                    {Seconds(s.stats.seconds), true}});
    if (s.state == StepRecord::State::kFailed) {
      rows.push_back({{"错误 " + ErrorNumberText(s.error.ErrorCode) +
                           (s.error.Source.empty() ? "" : "（" + s.error.Source + "）") + "：" + s.error.Description,
                       false, true}});
    }
  }
  out.Table({{"步骤", 43}, {"结果", 8}, {"读取行数", 12}, {"写入行数", 12}, {"截断值", 11}, {"用时（秒）", 14}}, rows);
}

void Cuts(Composer& out, const Report& r) {
  out.Heading("截断的值");
  std::vector<Row> rows;
  for (const auto& s : r.steps) {
    for (const auto& t : s.stats.truncations) rows.push_back({Text(s.name), Text(t.column), Number(t.count), Text(FirstRows(t))});
  }
  if (rows.empty()) {
    out.Paragraph("没有值被截断或替换。");
    return;
  }
  out.LeadIn("以下列的值被截断或替换以适合目的列（列出最先的几行：在源查询中的位置与键）：");
  out.Table({{"步骤", 34}, {"列", 14}, {"个数", 9}, {"最先的几行", 43}}, rows);
}

void Reconciliation(Composer& out, const Report& r) {
  out.Heading("对账");
  if (r.reconciliation.empty()) {
    out.Paragraph(r.result == RunOutcome::kFailed         ? "升级没有完成，未对账。"
                  : r.result == RunOutcome::kUnreconciled ? "升级已完成，但无法对账（原因见上）。"
                                               : "没有对账项目。");
    return;
  }
  out.LeadIn("升级后分别清点源数据库与目的数据库：");
  // Each item on two rows, the source's figures above the destination's,
  // so that both have the width of the page.
  std::vector<Row> rows;
  for (const auto& l : r.reconciliation) {
    rows.push_back({Text(l.item), Text("源数据库"), Text(l.source), {l.match ? "相符" : "不符", false, !l.match}});
    rows.push_back({Text(""), Text("目的数据库"), Text(l.destination), Text("")});
  }
  out.Table({{"项目", 20}, {"数据库", 12}, {"清点结果", 58}, {"对账", 10}}, rows, 2);
}

void Findings(Composer& out, const Report& r) {
  const CheckResult& check = *r.check;
  out.Heading(r.kind == Report::Kind::kRun ? "升级前检查" : "检查结果");
  out.LeadIn(r.check_from_destination ? "表的定义取自目的数据库 " + r.database + "。"
                                      : std::string("表的定义取自 6.0 建库脚本。"));
  if (!check.tasks.empty()) {
    std::vector<Row> rows;
    for (const auto& t : check.tasks) {
      rows.push_back({Text(t.step), Text(t.table), Number(t.rows_read), {Count(t.rows_failing), true, t.rows_failing > 0},
                      Number(t.rows_cut)});
      for (const auto& c : t.columns) {
        std::string what;
        if (c.failing) what += Count(c.failing) + " 行将失败";
        if (c.cut) what += (what.empty() ? "" : "，") + Count(c.cut) + " 行将被截断或替换";
        rows.push_back({Text("列 " + (c.column.empty() ? std::string("（整个任务）") : c.column) + "：" + what)});
      }
    }
    out.Table({{"步骤", 44}, {"表", 17}, {"读取行数", 13}, {"将失败", 13}, {"将截断", 13}}, rows);
  }
  if (!check.postings.empty()) {
    out.LeadIn("将过帐（按导入的余额计算，未执行）：");
    std::vector<Row> rows;
    for (const auto& p : check.postings) {
      rows.push_back({Text(p.step), Text(p.ledger), Number(p.rows),
                      {p.quantity ? com::FormatCurrency(*p.quantity) : "—", true},
                      {com::FormatCurrency(p.amount), true}});
    }
    out.Table({{"步骤", 36}, {"帐", 14}, {"行数", 12}, {"数量合计", 19}, {"金额合计", 19}}, rows);
  }
  if (check.problems.empty()) {
    out.Paragraph("没有发现问题。");
  } else {
    out.LeadIn("问题（按升级的顺序）：", true);
    std::size_t shown = 0;
    for (const auto& p : check.problems) {
      if (shown++ == kProblemsShown) break;
      out.Paragraph(ProblemLine(p), KindFails(p.kind));
    }
    if (check.problems.size() > kProblemsShown) {
      out.Paragraph("……另有 " + std::to_string(check.problems.size() - kProblemsShown) +
                    " 个问题未列出，全部见 JSON 报告。");
    }
  }
  out.Paragraph("结论：" + VerdictText(check), check.Fails(), true);
}

void Signatures(Composer& out, const Report& r) {
  out.Heading("签字确认");
  const std::string fixes = r.fixes ? "，以及对原文件所做的上列修正" : "";
  out.LeadIn(r.kind == Report::Kind::kRun ? "签字确认：上列源文件（以其 SHA-256 为凭）的升级结果如本报告所列" + fixes + "。"
                                           : "签字确认：已知悉上列源文件（以其 SHA-256 为凭）的升级前检查结果" + fixes + "。");
  out.SignOff();
}

// Writes the report into `document`; returns its groups.
std::vector<Group> Compose(QTextDocument& document, const Report& r, const PageStarts& starts) {
  Composer out(document, starts);
  out.Title(TitleOf(r));
  Overview(out, r);
  SourceFixes(out, r);
  if (r.kind == Report::Kind::kRun) {
    Steps(out, r);
    Cuts(out, r);
    Reconciliation(out, r);
  }
  if (r.check) Findings(out, r);
  Signatures(out, r);
  return out.groups();
}

// The first group the end of a page falls within (top to bottom), or
// null. A group taller than a page is let be.
const Group* FirstSplit(const QTextDocument& document, const std::vector<Group>& groups, double page_height) {
  QAbstractTextDocumentLayout* layout = document.documentLayout();
  for (const Group& group : groups) {
    // The blocks of a row's cells follow each other; the tallest cell's
    // last is not always the last of them.
    QTextBlock block = document.findBlockByNumber(group.first);
    const double top = layout->blockBoundingRect(block).top();
    double bottom = top;
    for (; block.isValid() && block.blockNumber() <= group.last; block = block.next()) {
      bottom = std::max(bottom, layout->blockBoundingRect(block).bottom());
    }
    const bool split = static_cast<int>(top / page_height) != static_cast<int>(bottom / page_height);
    if (split && bottom - top < page_height / 2) return &group;
  }
  return nullptr;
}

// ---------------------------------------------------------------- pages

QFont SansFont(double points, bool bold = false) {
  QFont font{g_sans};
  font.setPointSizeF(points);
  // Text as written: no ligature ("ﬁ" for "fi"), no alternate figures,
  // which a reader of the PDF would find for the letters.
  font.setStyleStrategy(QFont::PreferNoShaping);
  if (bold) font.setWeight(QFont::Bold);
  return font;
}

QFont MonoFont() {
  QFont font{g_mono};
  font.setStyleStrategy(QFont::PreferNoShaping);
  return font;
}

QByteArray Render(const Report& r) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setResolution(kDpi);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(16, 12, 16, 12),
                                   QPageLayout::Millimeter));
  writer.setTitle(Q(TitleOf(r)));
  writer.setCreator(QStringLiteral("Velmora"));

  const QRectF area = writer.pageLayout().paintRectPixels(kDpi);
  const double width = area.width(), height = area.height();
  const double band = 22;  // header above, footer below the text

  // Laid out again, with a page begun before each group the page ended
  // within, until none is split. Each layout moves one group at least a
  // line down, so there are as many layouts as such groups, plus one.
  PageStarts starts;
  std::unique_ptr<QTextDocument> laid_out;
  for (;;) {
    auto document = std::make_unique<QTextDocument>();
    document->documentLayout()->setPaintDevice(&writer);
    document->setDefaultFont(SansFont(kBodyPoints));
    document->setUseDesignMetrics(true);
    QTextOption wrap = document->defaultTextOption();
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document->setDefaultTextOption(wrap);
    document->setDocumentMargin(0);
    QTextFrameFormat root = document->rootFrame()->frameFormat();
    root.setTopMargin(Doc(band));
    root.setBottomMargin(Doc(band));
    document->rootFrame()->setFrameFormat(root);
    document->setUndoRedoEnabled(false);
    const std::vector<Group> groups = Compose(*document, r, starts);
    document->setPageSize(QSizeF(width, height));
    const Group* split = FirstSplit(*document, groups, height);
    laid_out = std::move(document);
    if (split == nullptr) break;
    // A table's first item begins the page with what leads in to it.
    const int opening = split->opening >= 0 ? split->opening : split->led;
    const bool known = opening >= 0 ? !starts.openings.insert(opening).second
                                    : !starts.rows.insert({split->table, split->row}).second;
    if (known) break;  // a page begins there already: the group cannot be kept whole
  }
  QTextDocument& document = *laid_out;

  const int pages = document.pageCount();
  QPainter painter;
  if (!painter.begin(&writer)) throw com::Error(com::kErrInvalidArgument, kSource, "无法生成 PDF：Qt 的 PDF 写入器无法开始");
  const QString header_left = Q(TitleOf(r) + "  " + SchemeOf(r));
  const QString header_right = Q("开始时间 " + r.started);
  for (int page = 0; page < pages; ++page) {
    if (page > 0) writer.newPage();
    painter.save();
    const QRectF shown(0, page * height, width, height);
    painter.translate(0, -page * height);
    painter.setClipRect(shown);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = shown;
    context.palette.setColor(QPalette::Text, Qt::black);
    document.documentLayout()->draw(&painter, context);
    painter.restore();

    painter.setPen(QPen(kRule, Pt(0.5)));
    painter.setFont(SansFont(7.5));
    const QRectF top(0, 0, width, Pt(band - 8));
    painter.drawText(top, Qt::AlignLeft | Qt::AlignBottom, header_left);
    painter.drawText(top, Qt::AlignRight | Qt::AlignBottom, header_right);
    painter.drawLine(QPointF(0, Pt(band - 6)), QPointF(width, Pt(band - 6)));
    const QRectF bottom(0, height - Pt(band - 8), width, Pt(band - 8));
    painter.drawText(bottom, Qt::AlignHCenter | Qt::AlignTop,
                     Q("第 " + std::to_string(page + 1) + " 页，共 " + std::to_string(pages) + " 页"));
  }
  if (!painter.end()) throw com::Error(com::kErrInvalidArgument, kSource, "无法生成 PDF：Qt 的 PDF 写入器没有写完");

  QByteArray pdf = buffer.data();
  MendToUnicodeMaps(pdf, OrdinaryCodePoints({SansFont(kBodyPoints), SansFont(kBodyPoints, true), MonoFont()}));
  return pdf;
}

}  // namespace

void WriteReportPdf(const Report& report, const std::string& path) {
  NeedGuiApplication();
  NeedFonts();
  const QByteArray pdf = Render(report);
  WriteFileWhole(path, pdf.toStdString());
}

}  // namespace assurance
