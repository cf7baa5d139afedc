#include "wizard/fix_editor.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace velmora {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QTableWidgetItem* ReadOnly(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

}  // namespace

FixEditorDialog::FixEditorDialog(QWidget* parent, const std::string& heading,
                                 const std::vector<assurance::FixLine>& lines)
    : QDialog(parent), lines_(lines), table_(new QTableWidget(static_cast<int>(lines.size()), kColumns, this)) {
  setObjectName(QStringLiteral("dlgFixes"));
  setWindowTitle(QStringLiteral("修正源数据"));
  resize(900, 480);
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(Q(heading), this);
  label->setObjectName(QStringLiteral("labFixes"));
  label->setWordWrap(true);
  layout->addWidget(label);

  table_->setObjectName(QStringLiteral("tblFixes"));
  table_->setHorizontalHeaderLabels({QStringLiteral("表"), QStringLiteral("行号"), QStringLiteral("键"),
                                     QStringLiteral("列"), QStringLiteral("当前值"), QStringLiteral("问题"),
                                     QStringLiteral("新值"), QStringLiteral("删除")});
  for (int r = 0; r < table_->rowCount(); ++r) {
    const assurance::FixLine& l = lines_[static_cast<std::size_t>(r)];
    table_->setVerticalHeaderItem(r, new QTableWidgetItem(QString::number(l.line)));
    table_->setItem(r, kTable, ReadOnly(Q(l.table)));
    table_->setItem(r, kRow, ReadOnly(QString::number(l.row)));
    table_->setItem(r, kKey, ReadOnly(Q(l.key)));
    table_->setItem(r, kColumn, ReadOnly(Q(l.column)));
    table_->setItem(r, kCurrent, ReadOnly(Q(l.current)));
    QTableWidgetItem* problem = ReadOnly(Q(l.problem));
    problem->setToolTip(Q(l.problem));
    table_->setItem(r, kProblem, problem);
    table_->setItem(r, kNewValue, new QTableWidgetItem(Q(l.new_value)));
    auto* remove = new QTableWidgetItem();
    remove->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    remove->setCheckState(l.action == assurance::FixAction::kDelete ? Qt::Checked : Qt::Unchecked);
    table_->setItem(r, kRemove, remove);
  }
  table_->resizeColumnsToContents();
  table_->setColumnWidth(kProblem, 260);
  table_->setColumnWidth(kNewValue, std::max(table_->columnWidth(kNewValue), 140));
  layout->addWidget(table_, 1);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* write = buttons->addButton(QStringLiteral("写出修正副本"), QDialogButtonBox::AcceptRole);
  write->setObjectName(QStringLiteral("cmdWriteCopy"));
  write->setDefault(true);
  QPushButton* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("cmdCancelFixes"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

std::vector<assurance::FixLine> FixEditorDialog::lines() const {
  std::vector<assurance::FixLine> out = lines_;
  for (int r = 0; r < table_->rowCount(); ++r) {
    assurance::FixLine& l = out[static_cast<std::size_t>(r)];
    l.new_value = table_->item(r, kNewValue)->text().toStdString();
    l.action = table_->item(r, kRemove)->checkState() == Qt::Checked ? assurance::FixAction::kDelete
               : !l.new_value.empty()                               ? assurance::FixAction::kSet
                                                                    : assurance::FixAction::kNone;
  }
  return out;
}

}  // namespace velmora
