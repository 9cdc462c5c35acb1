// Array constants of one formula as values. In a file they are not inside the tokens: the
// tArray token marks their place and the tables follow the token stream, one after another
// in token order. TXLSFormulatArrays reads them from, and writes them to, that trailing area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "xls/model/variant.h"

namespace xls {

class TXLSBlob;
class TXLSSyntaxItem;

struct TXLSFormulatArrayItem {
  Variant value = Variant(0);
  std::int32_t type = 0;  // BIFF type byte: 0 empty, 1 number, 2 string, 4 boolean, 16 error

  // The value with the type byte that goes with it.
  void Set(const Variant& v);
};

class TXLSFormulatArray {
 public:
  TXLSFormulatArray() : items_(1) {}
  std::int32_t Rows() const { return rows_; }
  std::int32_t Columns() const { return columns_; }
  // A new size drops the items; both counts at least 1.
  bool SetSize(std::int32_t rows, std::int32_t columns);
  // 1-based; nullptr outside the table.
  TXLSFormulatArrayItem* Item(std::int32_t row, std::int32_t column);
  const TXLSFormulatArrayItem* Item(std::int32_t row, std::int32_t column) const;
  bool SetItem(std::int32_t row, std::int32_t column, const Variant& value);
  std::unique_ptr<TXLSFormulatArray> Copy() const { return std::make_unique<TXLSFormulatArray>(*this); }

 private:
  std::vector<TXLSFormulatArrayItem> items_;  // row-major
  std::int32_t rows_ = 1, columns_ = 1;
};

class TXLSFormulatArrays {
 public:
  std::int32_t Count() const { return static_cast<std::int32_t>(arrays_.size()); }
  TXLSFormulatArray* Item(std::int32_t i) const;  // 1-based
  std::int32_t Add(std::unique_ptr<TXLSFormulatArray> array);  // the new 1-based index
  std::unique_ptr<TXLSFormulatArrays> Copy() const;

  // Reads `count` tables (one per tArray token of the formula) from data[offset, size);
  // version 0x0600 and above is BIFF8. Every read stays inside the bytes given; 1, or -1 when
  // a table is cut short (the tables read so far stay).
  std::int32_t Read(const std::uint8_t* data, std::size_t size, std::size_t offset, int version, std::int32_t count);
  // Appends every table (format 1 BIFF5, else BIFF8); 1, or -1 for a table BIFF5 cannot hold.
  std::int32_t Write(TXLSBlob& out, int format) const;
  std::uint32_t TotalSize(int format) const;

  // The array constants of a formula tree, in token order.
  static std::unique_ptr<TXLSFormulatArrays> FromTree(const TXLSSyntaxItem& tree);

 private:
  std::vector<std::unique_ptr<TXLSFormulatArray>> arrays_;
};

}  // namespace xls
