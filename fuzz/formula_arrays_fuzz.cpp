// Array-constant tables as they follow a formula's tokens. Input: one byte (bit 0 picks BIFF5,
// bits 1-3 the table count), then the bytes. Tables that read must write and read back alike.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "xls/formula/formula_arrays.h"
#include "xls/model/blob.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool biff5 = data[0] & 1;
  const int count = (data[0] >> 1) & 7;
  xls::TXLSFormulatArrays arrays;
  if (arrays.Read(data + 1, size - 1, 0, biff5 ? 0x500 : 0x600, count) != 1) return 0;
  if (arrays.Count() != count) __builtin_trap();
  for (int format : {1, 2}) {
    xls::TXLSBlob out(arrays.TotalSize(format) + 16);
    if (arrays.Write(out, format) != 1) continue;
    if (out.GetSize() != arrays.TotalSize(format)) __builtin_trap();
    xls::TXLSFormulatArrays back;
    if (back.Read(out.GetData(), out.GetSize(), 0, format == 1 ? 0x500 : 0x600, count) != 1) __builtin_trap();
    xls::TXLSBlob again(out.GetSize() + 16);
    back.Write(again, format);
    if (again.GetSize() != out.GetSize()) __builtin_trap();
  }
  return 0;
}
