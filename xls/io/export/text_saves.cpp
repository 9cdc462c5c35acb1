// The exporters' slot in the model (xls/model/library_slots.h): the save operations of
// workbooks, sheets and ranges in the text formats, and the range's autofit and width.
#include "xls/io/export/text_saves.h"

#include "xls/io/drawing/sheet_drawing.h"
#include "xls/io/export/autofit.h"
#include "xls/io/export/csv_saver.h"
#include "xls/io/export/html_export.h"
#include "xls/io/export/rtf_export.h"
#include "xls/model/library_slots.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"

namespace xls {

namespace {

// The saver of formats 5 to 8, with the workbook's code page for 8-bit text.
TXLSCSVSaver SaverOf(std::int32_t format, const TXLSRange& range) {
  const bool unicode = format == kTextSaveCsvUnicode || format == kTextSaveTsvUnicode;
  TXLSCSVSaver saver = format == kTextSaveCsv || format == kTextSaveCsvUnicode ? TXLSCSVSaver::CreateEx(unicode)
                                                                               : TXLSTSVSaver(unicode);
  saver.SetCodePage(range.GetWorksheet()->Workbook()->GetCodePage());
  return saver;
}

bool IsDelimited(std::int32_t format) { return format >= kTextSaveCsv && format <= kTextSaveTsvUnicode; }

// The RTF export with the sheets' pictures (JPEG, PNG, DIB) from their drawings.
TXLSRTFExport RtfExport() {
  TXLSRTFExport rtf;
  rtf.SetPictureSource([](IXLSWorksheet& sheet) {
    std::vector<TXLSRTFPicture> out;
    TMsoDrawing* drawing = FindDrawing(sheet);
    for (std::size_t i = 1; drawing && i <= drawing->Pictures().Count(); ++i) {
      const TXLSPicture* picture = drawing->Pictures().Item(i);
      const TMSOPicture* stored = picture->GetPicture();
      if (!stored || stored->data.empty() || stored->blipType < kBlipJPEG || stored->blipType > kBlipDIB) continue;
      TXLSRTFPicture p;
      p.row = picture->Shape()->Anchor().row1;
      p.column = picture->Shape()->Anchor().column1;
      p.blipType = stored->blipType;
      p.bytes = stored->data;
      p.widthPoints = picture->Shape()->width;
      p.heightPoints = picture->Shape()->height;
      out.push_back(std::move(p));
    }
    return out;
  });
  return rtf;
}

class TExportLibrary final : public TXLSExportLibrary {
 public:
  TExportLibrary() { LibrarySlots().exporter = this; }

  // ----- ranges -----------------------------------------------------------------------------

  std::int32_t SaveRangeAsCSV(TXLSRange& range, const std::u16string& fileName) override {
    TXLSCSVSaver saver;
    saver.SetCodePage(range.GetWorksheet()->Workbook()->GetCodePage());
    return saver.SaveToFile(fileName, range.GetValue());
  }

  std::int32_t SaveRange(TXLSRange& range, const std::u16string& fileName, std::int32_t format) override {
    if (format == kTextSaveHtml) return TXLSHTMLExport().SaveRangeToFile(range, fileName);
    if (!IsDelimited(format)) return -1;
    return SaverOf(format, range).SaveToFile(fileName, range.GetValue());
  }

  std::int32_t SaveRangeToStream(TXLSRange& range, platform::ByteStream& stream, std::int32_t format) override {
    if (format == kTextSaveHtml) return TXLSHTMLExport().WriteRange(range, stream);
    if (!IsDelimited(format)) return -1;
    return SaverOf(format, range).SaveToStream(stream, range.GetValue());
  }

  void AutoFitColumns(TXLSRange& range) override { TXLSAutoFit(range).AutoFitColumns(); }
  void AutoFitRows(TXLSRange& range) override { TXLSAutoFit(range).AutoFitRows(); }
  std::int32_t CharsToPixels(double characters) override { return TXLSAutoFit::CharsToPixels(characters); }
  double PixelsToPoints(double pixels) override { return TXLSAutoFit::PixelsToPoints(pixels); }

  // ----- sheets -----------------------------------------------------------------------------

  std::int32_t SaveSheet(IXLSWorksheet& sheet, const std::u16string& fileName, std::int32_t format) override {
    if (format == kTextSaveRtf) return RtfExport().SaveSheetToFile(sheet, fileName);
    if (format != kTextSaveHtml && !IsDelimited(format)) return -1;
    return sheet.GetUsedRange()->SaveAs(fileName, format);
  }

  std::int32_t SaveSheetToStream(IXLSWorksheet& sheet, platform::ByteStream& stream, std::int32_t format) override {
    if (format == kTextSaveRtf) return RtfExport().SaveSheetToStream(sheet, stream);
    if (format != kTextSaveHtml && !IsDelimited(format)) return -1;
    return sheet.GetUsedRange()->SaveAsToStream(stream, format);
  }

  // ----- workbooks --------------------------------------------------------------------------

  std::int32_t SaveBookAsHTML(TXLSWorkbook& book, const std::u16string& fileName) override {
    return TXLSHTMLExport().SaveWorkbook(book, fileName);
  }

  std::int32_t SaveBookAsRTF(TXLSWorkbook& book, const std::u16string& fileName) override {
    return RtfExport().SaveWorkbookToFile(book, fileName);
  }

  std::int32_t SaveBookAsRTFToStream(TXLSWorkbook& book, platform::ByteStream& stream) override {
    return RtfExport().SaveWorkbookToStream(book, stream);
  }
};

TExportLibrary library;

}  // namespace

std::int32_t SaveWorkbookAsText(TXLSWorkbook& book, const std::u16string& fileName, platform::ByteStream* stream,
                                std::int32_t format, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return -1;
  };
  if (!stream && fileName.find_first_not_of(u" \t\r\n") == std::u16string::npos) return fail("no file name");
  std::int32_t result = -1;
  if (format == kTextSaveHtml) {
    if (stream) return fail("HTML pages are saved to files");
    result = book.SaveAsHTML(fileName);
  } else if (format == kTextSaveRtf) {
    result = stream ? book.SaveAsRTFToStream(*stream) : book.SaveAsRTF(fileName);
  } else if (IsDelimited(format)) {
    IXLSWorksheet* sheet = book.GetActiveSheet();
    if (!sheet) return fail("the workbook has no active sheet");
    result = stream ? sheet->SaveToStream(*stream, format) : sheet->SaveAs(fileName, format);
  } else {
    return fail("this save format is not available");
  }
  if (result != 1) return fail(stream ? "the stream could not be written" : "the file could not be written");
  return result;
}

}  // namespace xls

// Named in kv_xls_export's link interface, so that every program linking it fills the slot.
extern "C" void kv_xls_export_slot() {}
