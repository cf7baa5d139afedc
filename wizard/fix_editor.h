// The fix list inside the wizard: a table of the check's problems placed
// in the 5.6 file, one row each, where the operator types a new value or
// marks the row to be left out of the corrected copy.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "library/assurance/fix_list.h"

class QTableWidget;

namespace velmora {

class FixEditorDialog final : public QDialog {
 public:
  // The columns of the table, in order.
  enum Column { kTable, kRow, kKey, kColumn, kCurrent, kProblem, kNewValue, kRemove, kColumns };

  // Shows `lines` under `heading`, each numbered by its `line` (the
  // number the list's messages name it by); only 新值 and the removal mark
  // can be changed. "写出修正副本" accepts the dialog, "取消" rejects it.
  FixEditorDialog(QWidget* parent, const std::string& heading, const std::vector<assurance::FixLine>& lines);

  // The lines as edited: a marked row is kDelete (its new value kept, so
  // that the list's own check names the contradiction), else kSet with a
  // new value, else kNone.
  std::vector<assurance::FixLine> lines() const;

  QTableWidget* table() const { return table_; }

 private:
  std::vector<assurance::FixLine> lines_;
  QTableWidget* table_;
};

}  // namespace velmora
