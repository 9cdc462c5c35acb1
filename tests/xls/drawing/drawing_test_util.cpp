#include "drawing_test_util.h"

#include "xls/io/drawing/chart.h"

namespace xls::test {
namespace {

std::unique_ptr<TXLSBlobList> Group(const std::vector<BiffRecord>& records, std::size_t& i) {
  auto list = std::make_unique<TXLSBlobList>();
  do {
    auto* block = new TXLSBlob(static_cast<std::uint32_t>(records[i].data.size()));
    if (!records[i].data.empty()) {
      block->PutBuffer(records[i].data.data(), 0, static_cast<std::uint32_t>(records[i].data.size()), 0);
      block->SetSize(static_cast<std::uint32_t>(records[i].data.size()));
    }
    list->Add(block);
    ++i;
  } while (i < records.size() && records[i].id == 0x003C);
  return list;
}

}  // namespace

std::vector<BiffRecord> SheetRecords(const std::vector<BiffRecord>& all, std::uint32_t bofOffset) {
  std::vector<BiffRecord> out;
  int depth = 0;
  for (const BiffRecord& r : all) {
    if (r.offset < bofOffset) continue;
    out.push_back(r);
    if (r.id == 0x0809) ++depth;
    if (r.id == 0x000A && --depth == 0) break;
  }
  return out;
}

std::vector<std::uint32_t> SheetOffsets(const std::vector<BiffRecord>& all) {
  std::vector<std::uint32_t> out;
  for (const BiffRecord& r : all)
    if (r.id == 0x0085) out.push_back(r.DWord(0));
  return out;
}

std::unique_ptr<TXLSBlobList> DrawingGroupData(const std::vector<BiffRecord>& all) {
  for (std::size_t i = 0; i < all.size(); ++i)
    if (all[i].id == kRecDrawingGroup) return Group(all, i);
  return std::make_unique<TXLSBlobList>();
}

void ReadSheetDrawing(const std::vector<BiffRecord>& sheet, TMsoDrawing& drawing) {
  std::size_t i = 1;  // after the sheet's BOF
  while (i < sheet.size()) {
    const BiffRecord& r = sheet[i];
    if (r.id == 0x0809) {  // an embedded chart's substream
      auto chart = std::make_unique<TXLSCustomChart>();
      int depth = 0;
      for (; i < sheet.size(); ++i) {
        chart->AddRecord(sheet[i].id, static_cast<std::uint32_t>(sheet[i].data.size()), sheet[i].data.data());
        if (sheet[i].id == 0x0809) ++depth;
        if (sheet[i].id == 0x000A && --depth == 0) break;
      }
      ++i;
      drawing.SetChart(std::move(chart));
      continue;
    }
    if (r.id == kRecMsoDrawing) {
      drawing.ReadDrawing(*Group(sheet, i));
    } else if (r.id == kRecObj) {
      drawing.ReadObj(*Group(sheet, i));
    } else if (r.id == kRecTxo) {
      drawing.ReadTxo(*Group(sheet, i), false);
    } else if (r.id == kRecNote) {
      std::u16string author;
      const std::uint16_t n = r.Word(8);
      const bool wide = r.data.size() > 10 && (r.data[10] & 1);
      for (std::uint16_t k = 0; k < n; ++k) author += static_cast<char16_t>(wide ? r.Word(11 + 2 * k) : r.data[11 + k]);
      drawing.ReadNote(r.Word(6), r.Word(0), r.Word(2), author, r.Word(4));
      ++i;
    } else if (r.id == 0x000A) {
      drawing.FinishRead();
      return;
    } else {
      ++i;
    }
  }
}

std::vector<BiffRecord> DrawingPart(const std::vector<BiffRecord>& sheet) {
  std::vector<BiffRecord> out;
  int chart = 0;
  bool drawingRun = false;
  for (std::size_t i = 1; i < sheet.size(); ++i) {
    const BiffRecord& r = sheet[i];
    if (r.id == 0x0809) ++chart;
    const bool ours = chart > 0 || r.id == kRecMsoDrawing || r.id == kRecObj || r.id == kRecTxo || r.id == kRecNote ||
                      (r.id == 0x003C && drawingRun);
    if (ours) out.push_back(r);
    drawingRun = ours;
    if (r.id == 0x000A && chart > 0) --chart;
  }
  return out;
}

}  // namespace xls::test
