#include "xls/model/cell_store.h"

#include <new>

#include "xls/model/string_table.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/xf_list.h"

namespace xls {

TXLSCellRef::TXLSCellRef(TXLSCellRef&& other) noexcept
    : row_(other.row_), column_(other.column_), kind_(other.kind_), xf_(other.xf_), data_(other.data_),
      merge_(std::move(other.merge_)) {
  if (other.kind_ == kCellFormula) {
    other.kind_ = kCellBlank;
    other.data_.value = 0;
  }
}

TXLSCellRef& TXLSCellRef::operator=(TXLSCellRef&& other) noexcept {
  if (this == &other) return *this;
  DropFormula();
  row_ = other.row_;
  column_ = other.column_;
  kind_ = other.kind_;
  xf_ = other.xf_;
  data_ = other.data_;
  merge_ = std::move(other.merge_);
  if (other.kind_ == kCellFormula) {
    other.kind_ = kCellBlank;
    other.data_.value = 0;
  }
  return *this;
}

void TXLSCellRef::SetFormula(std::unique_ptr<TXLSCellFormula> formula) {
  DropFormula();
  if (kind_ == kCellString) return;  // the caller gives the string's use back first
  if (!formula) {
    kind_ = kCellBlank;
    return;
  }
  data_.formula = formula.release();
  kind_ = kCellFormula;
}

static_assert(sizeof(TXLSCellRef) <= 24, "a cell record stays small");

TXLSCellHeap::TXLSCellHeap(IXLSWorksheet* owner) : owner_(owner) {}

TXLSCellHeap::~TXLSCellHeap() {
  for (auto& page : top_) {
    if (!page) continue;
    for (auto& row : *page) {
      if (!row) continue;
      for (auto& cols : *row) {
        if (!cols) continue;
        for (TXLSCellRef*& cell : *cols) {
          if (!cell) continue;
          ReleaseUses(*cell);
          cell->~TXLSCellRef();  // the slabs go with the store
          cell = nullptr;
        }
      }
    }
  }
}

TXLSCellRef* TXLSCellHeap::NewCell(std::int32_t row, std::int32_t column) {
  void* place = nullptr;
  if (freeCells_) {
    place = freeCells_;
    freeCells_ = *static_cast<void**>(freeCells_);
  } else {
    if (slabUsed_ == slabSize_) {
      // Small sheets take small slabs; big ones grow to 4096 cells a slab.
      slabSize_ = slabSize_ == 0 ? 64 : (slabSize_ < 4096 ? slabSize_ * 2 : 4096);
      slabs_.push_back(std::make_unique<CellSlot[]>(slabSize_));
      slabUsed_ = 0;
    }
    place = &slabs_.back()[slabUsed_++];
  }
  return new (place) TXLSCellRef(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
}

void TXLSCellHeap::FreeCell(TXLSCellRef* cell) {
  cell->~TXLSCellRef();
  void* place = cell;
  *static_cast<void**>(place) = freeCells_;
  freeCells_ = place;
}

void TXLSCellHeap::ReleaseUses(TXLSCellRef& cell) {
  TXLSWorkbook* book = owner_ ? owner_->Workbook() : nullptr;
  if (!book) return;
  if (cell.Kind() == kCellString) book->StringTable().Release(cell.StringIndex());
  if (cell.XF() > 0) book->XFList().MoveUse(cell.XF(), 0);
}

const TXLSCellHeap::Row* TXLSCellHeap::RowAt(std::int32_t row) const {
  const auto& page = top_[static_cast<std::size_t>(row >> 8)];
  if (!page) return nullptr;
  return (*page)[static_cast<std::size_t>(row & 255)].get();
}

TXLSCellRef** TXLSCellHeap::Slot(std::int32_t row, std::int32_t column, bool create) {
  auto& page = top_[static_cast<std::size_t>(row >> 8)];
  if (!page) {
    if (!create) return nullptr;
    page = std::make_unique<RowPage>();
  }
  auto& r = (*page)[static_cast<std::size_t>(row & 255)];
  if (!r) {
    if (!create) return nullptr;
    r = std::make_unique<Row>();
  }
  auto& cols = (*r)[static_cast<std::size_t>(column >> kColumnPageBits)];
  if (!cols) {
    if (!create) return nullptr;
    cols = std::make_unique<ColumnPage>();
    cols->fill(nullptr);
  }
  return &(*cols)[static_cast<std::size_t>(column & (kColumnPageSize - 1))];
}

TXLSCellRef* TXLSCellHeap::FindCell(std::int32_t row, std::int32_t column) const {
  if (row < 0 || row > 65535 || column < 0 || column > 255) return nullptr;
  const Row* r = RowAt(row);
  if (!r) return nullptr;
  const auto& cols = (*r)[static_cast<std::size_t>(column >> kColumnPageBits)];
  return cols ? (*cols)[static_cast<std::size_t>(column & (kColumnPageSize - 1))] : nullptr;
}

void TXLSCellHeap::Attach(std::int32_t row, std::int32_t column, TXLSCellRef*& slot,
                          TXLSCellRef* given) {
  if (given) {
    given->SetAddress(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
    slot = given;
  } else {
    // A new cell shows what the position showed: its row's or column's format.
    std::int32_t xf = owner_->GetCellXF(row, column);
    TXLSCellRef* cell = NewCell(row, column);
    cell->SetXF(xf);
    if (xf > 0) owner_->Workbook()->XFList().MoveUse(0, xf);
    slot = cell;
  }
  if (row < firstRow_ || rowCount_ == 0) {
    firstRow_ = row;
    rowCount_ = lastRow_ - row + 1;
  }
  if (row > lastRow_ || rowCount_ == 0) {
    lastRow_ = row;
    rowCount_ = row - firstRow_ + 1;
  }
  if (column < firstColumn_ || columnCount_ == 0) {
    firstColumn_ = column;
    columnCount_ = lastColumn_ - column + 1;
  }
  if (column > lastColumn_ || columnCount_ == 0) {
    lastColumn_ = column;
    columnCount_ = column - firstColumn_ + 1;
  }
  TXLSRowInfo* info = owner_->RowInfo().GetOrCreate(row);
  if (info->firstUsedColumn < 0 || info->firstUsedColumn > column) info->firstUsedColumn = column;
  if (column > info->lastUsedColumn) info->lastUsedColumn = column;
}

TXLSCellRef* TXLSCellHeap::GetOrCreateCell(std::int32_t row, std::int32_t column) {
  TXLSCellRef** slot = Slot(row, column, true);
  if (!*slot) Attach(row, column, *slot, nullptr);
  return *slot;
}

void TXLSCellHeap::PutCell(std::int32_t row, std::int32_t column, std::unique_ptr<TXLSCellRef> cell) {
  if (!cell) return;
  DeleteCell(row, column);
  TXLSCellRef* own = NewCell(row, column);
  *own = std::move(*cell);
  TXLSCellRef** slot = Slot(row, column, true);
  Attach(row, column, *slot, own);
}

void TXLSCellHeap::DissolveMerge(TXLSCellRef* master) {
  if (!master || !master->IsMergeMaster()) return;
  const std::int32_t r1 = master->Row(), c1 = master->Column();
  const std::int32_t r2 = r1 + master->Merge()->rows - 1, c2 = c1 + master->Merge()->columns - 1;
  for (std::int32_t r = r1; r <= r2 && r <= 65535; ++r) {
    for (std::int32_t c = c1; c <= c2 && c <= 255; ++c) {
      TXLSCellRef* cell = FindCell(r, c);
      if (cell && cell != master && cell->Merge() && cell->Merge()->master == master) {
        cell->SetMerge(nullptr);
      }
    }
  }
  master->SetMerge(nullptr);
}

void TXLSCellHeap::DeleteCell(std::int32_t row, std::int32_t column) {
  TXLSCellRef** slot = Slot(row, column, false);
  if (!slot || !*slot) return;
  // No cell may keep referring to a master that goes.
  DissolveMerge(*slot);
  TXLSCellRef* cell = *slot;
  *slot = nullptr;
  ReleaseUses(*cell);
  FreeCell(cell);
  ShrinkBounds(row, column);
}

std::unique_ptr<TXLSCellRef> TXLSCellHeap::DetachCell(std::int32_t row, std::int32_t column) {
  TXLSCellRef** slot = Slot(row, column, false);
  if (!slot || !*slot) return nullptr;
  DissolveMerge(*slot);
  auto cell = std::make_unique<TXLSCellRef>(std::move(**slot));
  FreeCell(*slot);
  *slot = nullptr;
  ShrinkBounds(row, column);
  return cell;
}

void TXLSCellHeap::ShrinkBounds(std::int32_t row, std::int32_t column) {
  TXLSRowInfoList& rows = owner_->RowInfo();
  TXLSRowInfo* info = rows.Find(row);
  bool rowEmpty = false;
  if (info) {
    if (info->firstUsedColumn == column && info->lastUsedColumn == column) {
      rowEmpty = true;
      if (rows.IsDefaultRow(*info)) {
        rows.DeleteRow(row);
        info = nullptr;
      } else {
        info->firstUsedColumn = -1;
        info->lastUsedColumn = -1;
      }
    } else {
      if (column == info->firstUsedColumn && info->firstUsedColumn < info->lastUsedColumn) {
        std::int32_t c = column + 1;
        while (c < info->lastUsedColumn && !FindCell(row, c)) ++c;
        info->firstUsedColumn = c;
      }
      if (column == info->lastUsedColumn && info->lastUsedColumn > info->firstUsedColumn) {
        std::int32_t c = column - 1;
        while (c > info->firstUsedColumn && !FindCell(row, c)) --c;
        info->lastUsedColumn = c;
      }
    }
  }
  auto used = [&rows](std::int32_t r) {
    const TXLSRowInfo* e = rows.Find(r);
    return e && e->firstUsedColumn >= 0;
  };
  if (rowEmpty && rowCount_ >= 1) {
    if (row == firstRow_ && row == lastRow_) {
      firstRow_ = lastRow_ = rowCount_ = 0;
      firstColumn_ = lastColumn_ = columnCount_ = 0;
      return;
    }
    if (row == firstRow_) {
      std::int32_t r = row + 1;
      while (r < lastRow_ && !used(r)) ++r;
      firstRow_ = r;
      rowCount_ = lastRow_ - firstRow_ + 1;
    } else if (row == lastRow_) {
      std::int32_t r = row - 1;
      while (r > firstRow_ && !used(r)) --r;
      lastRow_ = r;
      rowCount_ = lastRow_ - firstRow_ + 1;
    }
  }
  if (rowCount_ == 0) return;
  if (column == firstColumn_) {
    std::int32_t best = lastColumn_;
    for (std::int32_t r = firstRow_; r <= lastRow_ && best > column; ++r) {
      const TXLSRowInfo* e = rows.Find(r);
      if (e && e->firstUsedColumn >= 0 && e->firstUsedColumn < best) best = e->firstUsedColumn;
    }
    if (best > firstColumn_) {
      firstColumn_ = best;
      columnCount_ = lastColumn_ - firstColumn_ + 1;
    }
  } else if (column == lastColumn_) {
    std::int32_t best = firstColumn_;
    for (std::int32_t r = firstRow_; r <= lastRow_ && best < column; ++r) {
      const TXLSRowInfo* e = rows.Find(r);
      if (e && e->firstUsedColumn >= 0 && e->lastUsedColumn > best) best = e->lastUsedColumn;
    }
    if (best < lastColumn_) {
      lastColumn_ = best;
      columnCount_ = lastColumn_ - firstColumn_ + 1;
    }
  }
}

void TXLSCellHeap::MoveCell(std::int32_t srcRow, std::int32_t srcColumn, std::int32_t dstRow,
                            std::int32_t dstColumn, bool copyFormat) {
  if (srcRow == dstRow && srcColumn == dstColumn) return;
  DeleteCell(dstRow, dstColumn);
  TXLSCellRef* cell = FindCell(srcRow, srcColumn);
  if (cell) {
    if (copyFormat && cell->XF() == 0) {
      std::int32_t xf = owner_->GetCellXF(srcRow, srcColumn);
      cell->SetXF(xf);
      if (xf > 0) owner_->Workbook()->XFList().MoveUse(0, xf);
    }
    if (cell->Kind() == kCellBlank && !cell->Merged() &&
        cell->XF() == owner_->GetCellXF(dstRow, dstColumn)) {
      DeleteCell(srcRow, srcColumn);
      return;
    }
    std::unique_ptr<TXLSCellRef> moved = DetachCell(srcRow, srcColumn);
    PutCell(dstRow, dstColumn, std::move(moved));
    return;
  }
  if (copyFormat) {
    std::int32_t xf = owner_->GetCellXF(srcRow, srcColumn);
    if (xf != owner_->GetCellXF(dstRow, dstColumn)) owner_->SetCellXF(dstRow, dstColumn, xf);
  }
}

}  // namespace xls
