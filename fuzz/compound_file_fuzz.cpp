// The compound-file reader over arbitrary bytes: it must refuse damaged files with an error,
// never crash, hang or allocate without bound; and whatever it accepts must read back cleanly.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/compound_file.h"
#include "xls/model/file_streams.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::CompoundFileReader reader;
  if (!reader.Open(std::vector<std::uint8_t>(data, data + size))) return 0;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < reader.Entries().size(); ++i) {
    const auto& e = reader.GetEntry(static_cast<int>(i));
    if (reader.ReadStream(static_cast<int>(i), bytes) && bytes.size() != e.size) __builtin_trap();
    for (int c : e.children)
      if (reader.Find(static_cast<int>(i), reader.GetEntry(c).name) < 0) __builtin_trap();
  }
  // Copy every storage of the root as the workbook does with a macro project, and save it.
  platform::CompoundFileWriter writer;
  for (int c : reader.GetEntry(platform::CompoundFileReader::kRoot).children) {
    if (reader.GetEntry(c).type != platform::CompoundEntryType::Storage) continue;
    xls::TXLSFileStorage tree(reader.GetEntry(c).name);
    if (tree.Load(reader, platform::CompoundFileReader::kRoot) == 1) tree.Save(writer, platform::CompoundFileWriter::kRoot);
  }
  platform::MemoryStream out;
  if (!writer.Save(out)) __builtin_trap();
  platform::CompoundFileReader again;
  if (!again.Open(out.Bytes())) __builtin_trap();
  return 0;
}
