#include "xls/formula/formula_arrays.h"

#include "platform/little_endian.h"
#include "xls/formula/syntax_tree.h"
#include "xls/model/blob.h"
#include "xls/model/codepage.h"

namespace xls {

namespace {

constexpr int kTypeEmpty = 0x00, kTypeNumber = 0x01, kTypeString = 0x02, kTypeBool = 0x04, kTypeError = 0x10;

struct Reader {
  const std::uint8_t* data;
  std::size_t pos, end;
  bool ok = true;

  bool Need(std::size_t n) {
    if (!ok || n > end - pos) ok = false;
    return ok;
  }
  std::uint32_t Byte() { return Need(1) ? data[pos++] : 0; }
  std::uint32_t Word() {
    if (!Need(2)) return 0;
    std::uint32_t v = platform::LoadLE16(data + pos);
    pos += 2;
    return v;
  }
  double Double() {
    if (!Need(8)) return 0;
    const double v = platform::LoadLEDouble(data + pos);
    pos += 8;
    return v;
  }
  void Skip(std::size_t n) {
    if (Need(n)) pos += n;
  }
};

// The 8-bit form of a BIFF5 string: at most 255 bytes.
std::string Narrow(const std::u16string& text) {
  std::string s = WideToAnsi(text);
  if (s.size() > 255) s.resize(255);
  return s;
}

}  // namespace

void TXLSFormulatArrayItem::Set(const Variant& v) {
  value = v;
  if (v.IsEmptyOrNull()) type = kTypeEmpty, value = Variant();
  else if (v.IsBoolean()) type = kTypeBool;
  else if (v.IsError()) type = kTypeError;
  else if (v.IsNumber()) type = kTypeNumber;
  else if (v.IsText()) type = kTypeString;
  else type = kTypeEmpty, value = Variant();
}

bool TXLSFormulatArray::SetSize(std::int32_t rows, std::int32_t columns) {
  if (rows < 1 || columns < 1 || rows > 65536 || columns > 256) return false;
  rows_ = rows;
  columns_ = columns;
  items_.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns), TXLSFormulatArrayItem());
  return true;
}

TXLSFormulatArrayItem* TXLSFormulatArray::Item(std::int32_t row, std::int32_t column) {
  if (row < 1 || row > rows_ || column < 1 || column > columns_) return nullptr;
  return &items_[static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(column - 1)];
}

const TXLSFormulatArrayItem* TXLSFormulatArray::Item(std::int32_t row, std::int32_t column) const {
  return const_cast<TXLSFormulatArray*>(this)->Item(row, column);
}

bool TXLSFormulatArray::SetItem(std::int32_t row, std::int32_t column, const Variant& value) {
  TXLSFormulatArrayItem* item = Item(row, column);
  if (item) item->Set(value);
  return item != nullptr;
}

TXLSFormulatArray* TXLSFormulatArrays::Item(std::int32_t i) const {
  if (i < 1 || i > Count()) return nullptr;
  return arrays_[static_cast<std::size_t>(i - 1)].get();
}

std::int32_t TXLSFormulatArrays::Add(std::unique_ptr<TXLSFormulatArray> array) {
  arrays_.push_back(std::move(array));
  return Count();
}

std::unique_ptr<TXLSFormulatArrays> TXLSFormulatArrays::Copy() const {
  auto out = std::make_unique<TXLSFormulatArrays>();
  for (const auto& a : arrays_) out->Add(a->Copy());
  return out;
}

std::int32_t TXLSFormulatArrays::Read(const std::uint8_t* data, std::size_t size, std::size_t offset, int version,
                                      std::int32_t count) {
  if (!data || offset > size) return count > 0 ? -1 : 1;
  const bool biff8 = version >= 0x0600;
  Reader r{data, offset, size};
  for (std::int32_t k = 0; k < count; ++k) {
    std::uint32_t columns = r.Byte();
    std::uint32_t rows = r.Word();
    if (biff8) {
      columns += 1;
      rows += 1;
    } else if (columns == 0) {
      columns = 256;
    }
    // Each value takes at least its type byte: a table larger than the bytes left is cut short.
    if (!r.ok || rows == 0 || static_cast<std::size_t>(rows) * columns > r.end - r.pos) return -1;
    auto array = std::make_unique<TXLSFormulatArray>();
    array->SetSize(static_cast<std::int32_t>(rows), static_cast<std::int32_t>(columns));
    for (std::uint32_t i = 0; i < rows; ++i) {
      for (std::uint32_t j = 0; j < columns; ++j) {
        TXLSFormulatArrayItem& item = *array->Item(static_cast<std::int32_t>(i + 1), static_cast<std::int32_t>(j + 1));
        const std::uint32_t type = r.Byte();
        item.type = static_cast<std::int32_t>(type);
        switch (type) {
          case kTypeEmpty:
            r.Skip(8);
            item.value = Variant();
            break;
          case kTypeNumber:
            item.value = Variant(r.Double());
            break;
          case kTypeString: {
            std::u16string text;
            if (biff8) {
              const std::uint32_t n = r.Word();
              const bool wide = (r.Byte() & 1) != 0;
              if (r.Need(static_cast<std::size_t>(n) * (wide ? 2 : 1))) {
                for (std::uint32_t c = 0; c < n; ++c)
                  text += wide ? static_cast<char16_t>(r.data[r.pos + 2 * c] | r.data[r.pos + 2 * c + 1] << 8)
                               : static_cast<char16_t>(r.data[r.pos + c]);
                r.pos += static_cast<std::size_t>(n) * (wide ? 2 : 1);
              }
            } else {
              const std::uint32_t n = r.Byte();
              if (r.Need(n)) {
                text = AnsiToWideCP(std::string(reinterpret_cast<const char*>(r.data + r.pos), n));
                r.pos += n;
              }
            }
            item.value = Variant(text);
            break;
          }
          case kTypeBool:
          case kTypeError: {
            const std::uint32_t b = r.Byte();
            r.Skip(7);
            item.value = type == kTypeBool ? Variant(b == 1) : Variant(static_cast<int>(b));
            break;
          }
          default:
            break;  // an unknown type keeps the default value and takes no data
        }
        if (!r.ok) return -1;
      }
    }
    Add(std::move(array));
  }
  return 1;
}

std::uint32_t TXLSFormulatArrays::TotalSize(int format) const {
  const bool biff5 = format == 1;
  std::uint32_t size = 0;
  for (const auto& a : arrays_) {
    size += 3;
    for (std::int32_t i = 1; i <= a->Rows(); ++i)
      for (std::int32_t j = 1; j <= a->Columns(); ++j) {
        const TXLSFormulatArrayItem& item = *a->Item(i, j);
        if (item.type == kTypeString) {
          const std::uint32_t n = static_cast<std::uint32_t>(Narrow(item.value.TextValue()).size());
          size += biff5 ? 2 + n : 4 + 2 * static_cast<std::uint32_t>(item.value.TextValue().size());
        } else {
          size += 9;
        }
      }
  }
  return size;
}

std::int32_t TXLSFormulatArrays::Write(TXLSBlob& out, int format) const {
  const bool biff5 = format == 1;
  for (const auto& a : arrays_) {
    if (biff5 && a->Rows() > 65535) return -1;
    if (biff5) {
      out.AddByte(static_cast<std::uint32_t>(a->Columns()) & 0xFF);
      out.AddWord(static_cast<std::uint32_t>(a->Rows()));
    } else {
      out.AddByte(static_cast<std::uint32_t>(a->Columns() - 1));
      out.AddWord(static_cast<std::uint32_t>(a->Rows() - 1));
    }
    for (std::int32_t i = 1; i <= a->Rows(); ++i) {
      for (std::int32_t j = 1; j <= a->Columns(); ++j) {
        const TXLSFormulatArrayItem& item = *a->Item(i, j);
        switch (item.type) {
          case kTypeNumber: {
            double v = 0;
            item.value.ToDouble(v);
            out.AddByte(kTypeNumber);
            out.AddDouble(v);
            break;
          }
          case kTypeString:
            out.AddByte(kTypeString);
            if (biff5) {
              const std::string s = Narrow(item.value.TextValue());
              out.AddByte(static_cast<std::uint32_t>(s.size()));
              out.AddString(s);
            } else {
              std::u16string s = item.value.TextValue();
              if (s.size() > 0xFFFF) s.resize(0xFFFF);
              out.AddWord(static_cast<std::uint32_t>(s.size()));
              out.AddByte(1);
              out.AddWideString(s);
            }
            break;
          case kTypeBool:
          case kTypeError: {
            std::uint32_t b = 0;
            if (item.type == kTypeBool) b = item.value.IsBoolean() && item.value.BooleanValue() ? 1 : 0;
            else b = item.value.IsError() ? static_cast<std::uint32_t>(item.value.ErrorCode())
                                          : static_cast<std::uint32_t>(item.value.IntegerValue());
            out.AddByte(static_cast<std::uint32_t>(item.type));
            out.AddByte(b & 0xFF);
            for (int k = 0; k < 7; ++k) out.AddByte(0);
            break;
          }
          default:
            for (int k = 0; k < 9; ++k) out.AddByte(0);
        }
      }
    }
  }
  return 1;
}

std::unique_ptr<TXLSFormulatArrays> TXLSFormulatArrays::FromTree(const TXLSSyntaxItem& tree) {
  auto out = std::make_unique<TXLSFormulatArrays>();
  auto walk = [&](auto&& self, const TXLSSyntaxItem& n) -> void {
    for (int i = 1; i <= n.ChildCount(); ++i) self(self, *n.Child(i));
    if (n.kind != kNodeArray) return;
    auto array = std::make_unique<TXLSFormulatArray>();
    const int count = n.ChildCount();
    const int columns = count > 0 && n.value > 0 ? n.value : 1;
    const int rows = count > 0 ? count / columns : 1;
    array->SetSize(rows, columns);
    for (int k = 0; k < count && k < rows * columns; ++k) {
      const TXLSSyntaxItem& v = *n.Child(k + 1);
      Variant value;
      switch (v.kind) {
        case kNodeNumber: value = Variant(v.number); break;
        case kNodeString: value = Variant(v.text); break;
        case kNodeBool: value = Variant(v.value == 1); break;
        default: break;
      }
      TXLSFormulatArrayItem& item = *array->Item(k / columns + 1, k % columns + 1);
      item.Set(value);
      if (v.kind == kNodeError) item.value = Variant(static_cast<int>(v.value)), item.type = kTypeError;
    }
    out->Add(std::move(array));
  };
  walk(walk, tree);
  return out;
}

}  // namespace xls
