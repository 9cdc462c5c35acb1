// Arbitrary bytes opened as a workbook: the first byte picks the password, the rest is the file
// (a compound file or a bare BIFF stream). Every record is read, FILEPASS records switch on
// decryption, and every storage of the file is read as a macro project: errors are fine,
// crashes, hangs and reads outside a buffer are not.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/byte_stream.h"
#include "xls/io/reader/read_stream.h"
#include "xls/io/reader/vba_project.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const char16_t* const kPasswords[] = {u"", u"VelvetSweatshop", u"kestravel", u"123456789012345",
                                               u"Password1234_", u"0123456789012345678901234567890123"};
  xls::TXLSReadStream stream(kPasswords[data[0] % (sizeof kPasswords / sizeof kPasswords[0])]);
  platform::MemoryStream file(std::vector<std::uint8_t>(data + 1, data + size));
  if (stream.OpenStream(file) != 1) return 0;
  xls::TXLSRecordGroupReader groups(stream);
  xls::TXLSRecordGroup group;
  std::uint32_t last = 0;
  int status;
  while ((status = groups.Next(group)) == 1) {
    if (!group.chunks || group.chunks->Count() == 0) __builtin_trap();
    if (stream.Position() < last) __builtin_trap();  // the position only grows
    last = stream.Position();
    if (group.id == xls::kRecBOF) groups.SetJoinContinue(group.chunks->GetChunk(0)->GetWord(2) != 0x20);
  }
  if (status == 1) __builtin_trap();
  if (const platform::CompoundFileReader* root = stream.RootStorage()) {
    for (int child : root->GetEntry(platform::CompoundFileReader::kRoot).children) {
      if (root->GetEntry(child).type != platform::CompoundEntryType::Storage) continue;
      xls::TXLSFileStorage storage(root->GetEntry(child).name);
      if (storage.Load(*root, platform::CompoundFileReader::kRoot) != 1) continue;
      xls::TXLSVBAProject project;
      if (project.SetStorage(&storage) != 1 && project.ModuleCount() != 0) __builtin_trap();
    }
  }
  stream.Close();
  stream.CloseStorage();
  return 0;
}
