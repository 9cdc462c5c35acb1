// The writer's slot in the model (xls/model/library_slots.h): the workbook's own save operations,
// forwarding to the writer's entry points.
#include "xls/io/workbook_writer.h"
#include "xls/model/library_slots.h"
#include "xls/model/workbook.h"

namespace xls {

namespace {

class TWriterLibrary final : public TXLSWriterLibrary {
 public:
  TWriterLibrary() { LibrarySlots().writer = this; }
  std::int32_t SaveFile(TXLSWorkbook& book, const std::u16string& fileName, std::int32_t format) override {
    return SaveWorkbookAs(book, fileName, format);
  }
  std::int32_t SaveStream(TXLSWorkbook& book, platform::ByteStream& stream, std::int32_t format) override {
    return SaveWorkbookToStream(book, stream, format);
  }
  std::int32_t Save(TXLSWorkbook& book) override { return SaveWorkbook(book); }
};

TWriterLibrary library;

}  // namespace

}  // namespace xls

// Named in kv_xls_io's link interface, so that every program linking it fills the slot.
extern "C" void kv_xls_io_slot() {}
