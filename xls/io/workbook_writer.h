// Saving a workbook as a BIFF8 ("Workbook" stream) or BIFF5 ("Book" stream) compound file.
// The whole workbook stream is built in memory first: the workbook-globals records, then each
// sheet's substream at an offset known ahead, so that BOUNDSHEET, INDEX and EXTSST can point
// at absolute stream positions; then it is written once, front to back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/byte_stream.h"
#include "xls/io/sheet_writer.h"
#include "xls/model/blob.h"
#include "xls/model/xls_constants.h"

namespace xls {

class TXLSWorkbook;

// Save formats of the library.
enum TXLSSaveFormat : std::int32_t {
  kSaveBiff5 = 1,
  kSaveBiff8 = 2,
  kSaveHtml = 3,
  kSaveRtf = 4,
  kSaveCsv = 5,
  kSaveTsv = 6,
  kSaveCsvUnicode = 7,
  kSaveTsvUnicode = 8,
};

class TXLSWorkbookWriter {
 public:
  // format: kSaveBiff5 or kSaveBiff8.
  TXLSWorkbookWriter(TXLSWorkbook& book, std::int32_t format);
  ~TXLSWorkbookWriter();
  TXLSWorkbookWriter(const TXLSWorkbookWriter&) = delete;
  TXLSWorkbookWriter& operator=(const TXLSWorkbookWriter&) = delete;

  // Builds every record list; a workbook without sheets gets one first. 1, or the first
  // failing status: -1 when no sheet can be added, and for a BIFF5 save of what BIFF5 cannot
  // hold (a sheet name that the workbook's code page cannot carry, a row past 16,384), with
  // the reason in Error().
  int BuildStream();
  const std::string& Error() const { return error_; }
  // Moves the built records into the stream (freeing them as they go), padded with zeros to a
  // multiple of 512 bytes. 1 or -1.
  int WriteStream(platform::ByteStream& out);

  std::uint32_t StreamSize() const { return streamSize_; }
  std::uint32_t SheetOffset(std::size_t i) const { return sheetOffsets_.at(i); }
  std::uint16_t RecordLimit() const { return limit_; }
  int Version() const { return version_; }
  // The bytes of the BOUNDSHEET records of all sheets.
  std::uint32_t GetBoundSheetsSize() const;
  // The sheet names as BIFF5 writes them, in the workbook's code page (after BuildStream).
  const std::vector<std::string>& Biff5SheetNames() const { return biff5Names_; }
  const char16_t* StreamName() const { return version_ == kBiff5 ? u"Book" : u"Workbook"; }

 private:
  int Add(TXLSBlobList& list, std::unique_ptr<TXLSBlob> record);
  int WriteGlobals();
  int WriteBiff5ExternSheets();
  int WriteFormats();
  int WriteBoundSheets();
  int WriteTail();
  int CheckBiff5Limits();
  std::unique_ptr<TXLSBlob> BuildWindow1(std::uint32_t selectedTabs) const;
  std::unique_ptr<TXLSBlob> BuildPalette() const;

  TXLSWorkbook& book_;
  int version_;
  std::uint16_t limit_;
  std::unique_ptr<TXLSBlobList> globals_, tail_;
  std::uint32_t recalcBuildAt_ = 0;  // where RECALCID's build stands among the globals (BIFF8)
  std::vector<std::unique_ptr<TXLSSheetWriter>> sheets_;
  std::vector<std::uint32_t> sheetOffsets_;
  std::uint32_t streamSize_ = 0;
  std::vector<std::string> biff5Names_;
  std::string error_;
};

// The save entry points. Formats 3 to 8 go to the text exporters (SaveWorkbookAsText, which
// gives their results). Results of the BIFF saves: 1 success; -1 an empty file name, no sheet, a BIFF5 save of a workbook that BIFF5
// cannot hold (see BuildStream), or a record or stream that could not be written; -2 the file could not be created or written. A file is written through a
// temporary file renamed over the target only when complete, so that a failed save leaves an
// existing file as it was. error (when given) receives the reason of a failure.
std::int32_t SaveWorkbookAs(TXLSWorkbook& book, const std::u16string& fileName,
                            std::int32_t format, std::string* error = nullptr);
// Writes the compound file at the stream's current position; nothing is written when the
// workbook cannot be built.
std::int32_t SaveWorkbookToStream(TXLSWorkbook& book, platform::ByteStream& stream,
                                  std::int32_t format, std::string* error = nullptr);
// Saves again under the workbook's file name and current format: -4 without a file name or
// with a current format other than 1 to 3.
std::int32_t SaveWorkbook(TXLSWorkbook& book, std::string* error = nullptr);

}  // namespace xls
