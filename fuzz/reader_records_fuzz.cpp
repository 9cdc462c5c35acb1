// Bare BIFF records after a fixed start: the first byte picks BIFF8 or BIFF5 and whether the
// records land in the workbook globals or in a worksheet; the rest is taken as records (id,
// length, body) as they come. Errors are fine; crashes, hangs and reads outside a buffer are not.
// One workbook serves every input (each open starts by clearing the book), so the cost of making
// a workbook and its function catalogue is paid once; inputs are capped at 64 KiB.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/byte_stream.h"
#include "xls/model/workbook.h"

namespace {

void Record(std::vector<std::uint8_t>& out, std::uint16_t id, const std::vector<std::uint8_t>& body) {
  out.push_back(static_cast<std::uint8_t>(id));
  out.push_back(static_cast<std::uint8_t>(id >> 8));
  out.push_back(static_cast<std::uint8_t>(body.size()));
  out.push_back(static_cast<std::uint8_t>(body.size() >> 8));
  out.insert(out.end(), body.begin(), body.end());
}

std::vector<std::uint8_t> Bof(bool biff8, std::uint8_t type) {
  std::vector<std::uint8_t> b = {0x00, static_cast<std::uint8_t>(biff8 ? 0x06 : 0x05), type, 0x00,
                                 0xBB, 0x0D, 0xCC, 0x07};
  if (biff8) b.insert(b.end(), {0, 0, 0, 0, 6, 0, 0, 0});
  return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 64 * 1024) return 0;
  // Merged areas may cover 1,024 cells a sheet, not a million: every covered position becomes a
  // cell (two allocations), and the fuzzer, rewarded by the merge loop's growing hit counts,
  // otherwise fills its corpus with inputs that take seconds each. The merge code runs all the
  // same.
  static xls::IXLSWorkbook book = [] {
    xls::IXLSWorkbook b = xls::TXLSWorkbook::Create();
    b->SetMergedCellsPerSheetForTest(1024);
    return b;
  }();
  const bool biff8 = (data[0] & 1) == 0;
  const bool inSheet = (data[0] & 2) != 0;
  std::vector<std::uint8_t> stream;
  Record(stream, 0x0809, Bof(biff8, 0x05));
  if (inSheet) {
    std::vector<std::uint8_t> sheet = {0, 0, 0, 0, 0, 0, 5};
    if (biff8) sheet.push_back(0);
    sheet.insert(sheet.end(), {'S', 'h', 'e', 'e', 't'});
    Record(stream, 0x0085, sheet);
    Record(stream, 0x000A, {});
    Record(stream, 0x0809, Bof(biff8, 0x10));
  }
  stream.insert(stream.end(), data + 1, data + size);
  platform::MemoryStream file(std::move(stream));
  book->OpenStream(file);
  return 0;
}
