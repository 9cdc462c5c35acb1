// Table streams from outside (files a user opens): loaded into a new table and into an
// open one. The input is taken as the stream without its checksum, which is added here,
// so that the reader behind the checksum is reached. Any failure must be one of the
// table's or the framework's errors, never a crash; a stream that loads saves and loads
// again to the same records; a stream refused by an open table leaves it as it was.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "memtable/binary_format.h"
#include "memtable/mem_table.h"

namespace {

std::vector<std::uint8_t> Saved(memtable::TmvxMemTable& t, memtable::TmvxBinaryStreamFormat& format) {
  platform::MemoryStream out;
  t.SaveThroughFormat(out, &format);
  return out.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 2048) return 0;
  std::vector<std::uint8_t> bytes(data, data + size);
  std::uint32_t crc = memtable::TableStreamChecksum(data, size);
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  memtable::TmvxBinaryStreamFormat format;
  try {
    memtable::TmvxMemTable fresh;
    platform::MemoryStream in(bytes);
    fresh.LoadThroughFormat(in, &format);
    std::vector<std::uint8_t> once = Saved(fresh, format);
    memtable::TmvxMemTable again;
    platform::MemoryStream second(once);
    again.LoadThroughFormat(second, &format);
    if (Saved(again, format) != once) __builtin_trap();
  } catch (const dataset::EDatabaseError&) {
  } catch (const dataset::VariantError&) {
  }
  try {
    memtable::TmvxMemTable open;
    open.GetFieldDefs().Add("Id", dataset::ftInteger);
    open.GetFieldDefs().Add("Name", dataset::ftString, 8);
    open.Open();
    open.Append();
    open.FieldByName("Id").SetAsInteger(1);
    open.Post();
    const std::vector<std::uint8_t> before = Saved(open, format);
    platform::MemoryStream in(bytes);
    try {
      open.LoadThroughFormat(in, &format);
    } catch (const dataset::EDatabaseError&) {
      if (Saved(open, format) != before || open.ControlsDisabled()) __builtin_trap();
    } catch (const dataset::VariantError&) {
      if (Saved(open, format) != before || open.ControlsDisabled()) __builtin_trap();
    }
  } catch (const dataset::EDatabaseError&) {
  } catch (const dataset::VariantError&) {
  }
  return 0;
}
