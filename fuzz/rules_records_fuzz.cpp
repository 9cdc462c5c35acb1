// Conditional-format, validation and autofilter records as they come: the input is a run of
// records (a selector byte, then a 16-bit length and the body). Every record is read into a
// sheet's rules; what they write is read into fresh rules and written again, which must give the
// same bytes. Errors are fine; crashes, reads outside a buffer and unstable writes are not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/rules/sheet_rules.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace {

constexpr std::uint16_t kIds[] = {0x01B0, 0x01B1, 0x01B2, 0x01BE, 0x009D, 0x009E};

void Feed(xls::TXLSSheetRules& rules, std::uint16_t id, const std::uint8_t* body, std::size_t size, bool split) {
  xls::TXLSBlobList group;
  for (int i = 0; i <= (split ? 1 : 0); ++i) {
    auto* b = new xls::TXLSBlob(static_cast<std::uint32_t>(size));
    b->PutBuffer(body, 0, static_cast<std::uint32_t>(size), 0);
    b->SetSize(static_cast<std::uint32_t>(size));
    group.Add(b);
  }
  switch (id) {
    case 0x01B0: case 0x01B1:
      rules.CondFormats().ReadRecord(id, group);
      break;
    case 0x01B2: case 0x01BE:
      rules.Validations().ReadRecord(id, group);
      break;
    case 0x009D:
      if (size >= 2 && (body[0] | body[1]) != 0) rules.Autofilter().SetColumnCount(body[0] | (body[1] & 0x0F) << 8);
      break;
    default:
      rules.Autofilter().ReadItem(*group.GetChunk(0), 0x0600);
      break;
  }
}

std::string Written(xls::TXLSSheetRules& rules) {
  std::string out;
  auto sink = [&out](std::unique_ptr<xls::TXLSBlob> b) {
    out.append(reinterpret_cast<const char*>(b->GetData()), b->GetSize());
    return 1;
  };
  rules.CondFormats().Write(sink);
  rules.Validations().Write(sink);
  std::int64_t bytes = 0;
  rules.Autofilter().WriteRecords(sink, bytes, 2);
  return out;
}

}  // namespace

namespace {

// One workbook (with its calculator and function catalogue) for every input: the rules of each
// input are made afresh on its two sheets.
struct Book {
  xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  xls::IXLSWorksheet* first = book->GetWorksheets().Add();
  xls::IXLSWorksheet* second = book->GetWorksheets().Add();
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A few records at a time: they meet each other's rules all the same, and longer runs of them
  // only slowed every input as the fuzzer grew them.
  if (size > 2048) return 0;
  static Book b;
  xls::TXLSCalculator& calc = b.book->Formulas().Calculator();
  xls::TXLSSheetRules rules(calc, b.first->GetSheetId());
  rules.Autofilter().SetRange(1, 1, 4, 10);
  for (std::size_t at = 0; at + 3 <= size;) {
    const std::uint8_t selector = data[at];
    const std::size_t length = std::min<std::size_t>(data[at + 1] | data[at + 2] << 8, size - at - 3);
    Feed(rules, kIds[selector % 6], data + at + 3, length, selector & 0x80);
    at += 3 + length;
  }
  const std::string first = Written(rules);
  // Read back what was written (record by record) into fresh rules.
  xls::TXLSSheetRules copy(calc, b.second->GetSheetId());
  const auto* w = reinterpret_cast<const std::uint8_t*>(first.data());
  for (std::size_t at = 0; at + 4 <= first.size();) {
    const std::uint16_t id = static_cast<std::uint16_t>(w[at] | w[at + 1] << 8);
    const std::size_t length = static_cast<std::size_t>(w[at + 2] | w[at + 3] << 8);
    if (id == 0x009D && length >= 2) copy.Autofilter().SetRange(1, 1, w[at + 4] | w[at + 5] << 8, 10);
    else if (id != 0x009B) Feed(copy, id, w + at + 4, length, false);
    at += 4 + length;
  }
  if (Written(copy) != first) std::abort();
  return 0;
}
