// Arbitrary bytes read as a workbook file by the workbook reader: the first byte picks the
// password, the rest is the file (a compound file or a bare BIFF stream). A workbook that reads
// must save and read again, and the macro project it keeps is read. Errors are fine; crashes,
// hangs and reads outside a buffer are not.
// Two workbooks serve every input (each read starts by clearing the book), so the cost of making
// a workbook and its function catalogue is paid once; inputs are capped at 256 KiB.
// The round trip is a function of the bytes alone: an input that went through it before (libFuzzer
// meets the same bytes again and again) is read but not saved again, and a saved file met before
// (most mutations that still read give a workbook saved before) is not read again. What an input
// left in a workbook is cleared at its end, so that an input frees what it allocates and libFuzzer
// does not run it a second time to look for a leak. Most inputs fail before the reader touches
// the book (the file is no compound file, or its stream is not found): those are not cleared
// again, since clearing a book costs more than reading most such inputs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_stream.h"
#include "xls/io/reader/vba_project.h"
#include "xls/model/workbook.h"

namespace {

// The hashes of byte strings whose round trip passed, in a table made once, so that a run
// allocates nothing here that it does not free (libFuzzer runs an input again to look for a leak
// when it does); forgotten all at once when half full.
class Seen {
 public:
  void Insert(const std::uint8_t* bytes, std::size_t size) {
    if (2 * count_ >= kSlots) {
      std::fill(slots_.begin(), slots_.end(), 0);
      count_ = 0;
    }
    const std::size_t hash = Hash(bytes, size);
    std::size_t& slot = Slot(hash);
    if (slot == 0) ++count_;
    slot = hash;
  }
  bool Contains(const std::uint8_t* bytes, std::size_t size) { return Slot(Hash(bytes, size)) != 0; }

 private:
  static constexpr std::size_t kSlots = std::size_t{1} << 18;
  // Never 0, which marks an empty slot.
  static std::size_t Hash(const std::uint8_t* bytes, std::size_t size) {
    return std::hash<std::string_view>()({reinterpret_cast<const char*>(bytes), size}) | 1;
  }
  // The slot of hash, or the empty one where it would go.
  std::size_t& Slot(std::size_t hash) {
    std::size_t i = hash & (kSlots - 1);
    while (slots_[i] != 0 && slots_[i] != hash) i = (i + 1) & (kSlots - 1);
    return slots_[i];
  }

  std::vector<std::size_t> slots_ = std::vector<std::size_t>(kSlots);
  std::size_t count_ = 0;
};

Seen inputs, savedFiles;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 256 * 1024) return 0;
  static const char16_t* const kPasswords[] = {u"", u"VelvetSweatshop", u"123456789012345", u"Password1234_"};
  // Merged areas may cover 1,024 cells a sheet (see the record fuzzer): larger ones only slowed
  // the runs.
  auto create = [] {
    xls::IXLSWorkbook b = xls::TXLSWorkbook::Create();
    b->SetMergedCellsPerSheetForTest(1024);
    return b;
  };
  static xls::IXLSWorkbook book = create();
  static xls::IXLSWorkbook again = create();
  // The reader sets the code name as it starts on the book: a mark left in it says the read
  // ended before that.
  static const std::u16string kUntouched = u"\u0001";
  struct ClearAtEnd {
    bool reopened = false;
    ~ClearAtEnd() {
      if (book->GetCodeName() != kUntouched) book->Clear();
      if (reopened) again->Clear();
    }
  } clearAtEnd;
  book->SetCodeName(kUntouched);
  platform::MemoryStream file(std::vector<std::uint8_t>(data + 1, data + size));
  if (book->OpenStreamWithPassword(file, kPasswords[data[0] % 4]) != 1) return 0;
  if (book->HasVBA()) {
    xls::TXLSVBAProject project;
    if (project.SetStorage(book->VBAStorage()) != 1 && project.ModuleCount() != 0) __builtin_trap();
  }
  if (inputs.Contains(data, size)) return 0;
  platform::MemoryStream saved;
  if (book->SaveToStreamFormat(saved, 2) != 1) return 0;
  saved.Seek(0, platform::SeekOrigin::Begin);
  const std::vector<std::uint8_t>& bytes = saved.Bytes();
  if (savedFiles.Contains(bytes.data(), bytes.size())) {
    inputs.Insert(data, size);
    return 0;
  }
  clearAtEnd.reopened = true;
  if (again->OpenStream(saved) != 1) __builtin_trap();
  savedFiles.Insert(bytes.data(), bytes.size());
  inputs.Insert(data, size);
  return 0;
}
