// The writer's slot in the model (xls/model/library_slots.h): the workbook's own save operations,
// forwarding to the writer's entry points.
#include <string>
#include <utility>

#include "xls/io/workbook_writer.h"
#include "xls/model/library_slots.h"
#include "xls/model/workbook.h"

namespace xls {

namespace {

// The workbook keeps the reason of its last failed save for its callers.
std::int32_t Remember(TXLSWorkbook& book, std::int32_t result, std::string error) {
  if (result == 1) error.clear();
  else if (error.empty()) error = "the save failed with status " + std::to_string(result);
  book.SetLastSaveError(std::move(error));
  return result;
}

class TWriterLibrary final : public TXLSWriterLibrary {
 public:
  TWriterLibrary() { LibrarySlots().writer = this; }
  std::int32_t SaveFile(TXLSWorkbook& book, const std::u16string& fileName, std::int32_t format) override {
    std::string error;
    const std::int32_t result = SaveWorkbookAs(book, fileName, format, &error);
    return Remember(book, result, std::move(error));
  }
  std::int32_t SaveStream(TXLSWorkbook& book, platform::ByteStream& stream, std::int32_t format) override {
    std::string error;
    const std::int32_t result = SaveWorkbookToStream(book, stream, format, &error);
    return Remember(book, result, std::move(error));
  }
  std::int32_t Save(TXLSWorkbook& book) override {
    std::string error;
    const std::int32_t result = SaveWorkbook(book, &error);
    return Remember(book, result, std::move(error));
  }
};

TWriterLibrary library;

}  // namespace

}  // namespace xls

// Named in kv_xls_io's link interface, so that every program linking it fills the slot.
extern "C" void kv_xls_io_slot() {}
