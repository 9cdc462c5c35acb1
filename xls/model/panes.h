// A worksheet's split or frozen window panes and the PANE record that carries them.
#pragma once

#include <cstdint>
#include <memory>

#include "xls/model/blob.h"

namespace xls {

class IXLSWorksheet;

class TXLSPanes {
 public:
  explicit TXLSPanes(IXLSWorksheet* sheet) : sheet_(sheet) {}
  void Clear();

  // Off: no panes. On (when there are none): a split before the selection, as far as it lies
  // within 20 rows and 10 columns of the top-left visible cell, else one row and one column.
  void SetSplit(bool on);
  // On: a split (made when missing) frozen at whole rows and columns. Off: unfrozen.
  void SetFrozen(bool on);
  // Split position in columns and rows from the top-left visible cell; both 0 remove panes.
  void SetSplitPosition(double columns, double rows);
  void SetSplitColumn(double columns) { SetSplitPosition(columns, rowSplit_); }
  void SetSplitRow(double rows) { SetSplitPosition(columnSplit_, rows); }
  void SetTopRow(std::int32_t row);
  void SetLeftColumn(std::int32_t column);

  bool HasPanes() const { return hasPanes_; }
  bool Frozen() const { return frozen_; }
  double ColumnSplit() const { return columnSplit_; }
  double RowSplit() const { return rowSplit_; }
  std::int32_t TopRow() const { return topRow_; }
  std::int32_t LeftColumn() const { return leftColumn_; }
  std::int32_t GetActivePane() const { return hasPanes_ ? activePane_ : 3; }

  // The PANE record; nullptr without panes. Stores the active pane it writes.
  std::unique_ptr<TXLSBlob> BuildPane();

 private:
  void DefaultSplit();

  IXLSWorksheet* sheet_;
  bool frozen_ = false;
  bool hasPanes_ = false;
  double columnSplit_ = 0;
  double rowSplit_ = 0;
  std::int32_t topRow_ = 0;
  std::int32_t leftColumn_ = 0;
  std::int32_t activePane_ = 3;
};

}  // namespace xls
