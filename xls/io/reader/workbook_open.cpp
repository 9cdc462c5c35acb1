// The reader's slot in the model (xls/model/library_slots.h): the workbook's open entry points
// and its macro project.
#include "xls/io/reader/vba_project.h"
#include "xls/io/reader/workbook_reader.h"
#include "xls/model/library_slots.h"

namespace xls {

namespace {

class TReaderLibrary final : public TXLSReaderLibrary {
 public:
  TReaderLibrary() { LibrarySlots().reader = this; }
  int ReadFile(TXLSWorkbook& book, const std::u16string& fileName, const std::u16string& password,
               std::int32_t& format) override {
    return ReadWorkbookFile(book, fileName, password, format);
  }
  int ReadStream(TXLSWorkbook& book, platform::ByteStream& stream, const std::u16string& password,
                 std::int32_t& format) override {
    return ReadWorkbookStream(book, stream, password, format);
  }
  std::shared_ptr<TXLSVBAProject> ReadVBAProject(const TXLSFileStorage& storage) override {
    auto project = std::make_shared<TXLSVBAProject>();
    return project->SetStorage(&storage) == 1 ? project : nullptr;
  }
};

TReaderLibrary library;

}  // namespace

}  // namespace xls

// Named in kv_xls_reader's link interface, so that every program linking it fills the slot.
extern "C" void kv_xls_reader_slot() {}
