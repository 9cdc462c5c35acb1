// Reading a BIFF5 or BIFF8 workbook back into the object model. TXLSReader walks the record
// groups of the workbook stream (TXLSRecordGroupReader): the workbook globals rebuild fonts,
// number formats, XFs, styles, the palette, sheets, shared strings, external references,
// defined names, protection and window settings; each worksheet substream rebuilds its
// settings and cells; a chart sheet keeps its chart substream as read (written back as the
// sheet, its series formulas through the calculator). Macro sheets are passed over up to their EOF.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/io/reader/read_stream.h"
#include "xls/io/reader/record_body.h"
#include "xls/model/variant.h"

namespace platform {
class ByteStream;
}

namespace xls {

class TXLSWorkbook;
class IXLSWorksheet;
class TXLSRange;
class TXLSCustomChart;

// Status of a read that ended inside a substream (no EOF closed it).
constexpr int kReadUnfinished = 100;
// A malformed or unsupported record that ends the read.
constexpr int kReadBadRecord = -1;

// Reads a workbook file (a compound file, or a bare BIFF stream) into the workbook, which is
// emptied first. fileFormat becomes 2 (BIFF8) or 1 (BIFF5) on success. Opening failures of the
// read stream (-2 no compound file, -3 no workbook stream) come back unchanged; decryption
// failures as -1001..-1005.
int ReadWorkbookFile(TXLSWorkbook& workbook, const std::u16string& fileName,
                     const std::u16string& password, std::int32_t& fileFormat);
// The same over a caller's stream (read from its current position).
int ReadWorkbookStream(TXLSWorkbook& workbook, platform::ByteStream& stream,
                       const std::u16string& password, std::int32_t& fileFormat);

// One built-in name (print area 6, print titles 7, filter database 13) applied after the last
// record: 0-based bounds, -1 where the entry has no such pair.
struct TXLSSystemName {
  std::int32_t kind = 0;
  std::int32_t sheet = 0;  // 1-based sheet number of the file (macro and module sheets counted)
  std::int32_t firstRow = -1, lastRow = -1, firstColumn = -1, lastColumn = -1;
  // BIFF8's filter database: the NAME record and its id, kept as a name when its sheet has no
  // autofilter (the list of an advanced filter).
  std::int32_t nameId = 0;
  std::vector<std::uint8_t> record;
};

class TXLSReader {
 public:
  // kSkippedObject: inside a worksheet's embedded substream that cannot be read, up to its EOF.
  enum State : int { kNone = 0, kGlobals = 1, kWorksheet = 2, kChartSheet = 3, kEmbeddedChart = 4, kSkippedObject = 5 };

  TXLSReader(TXLSWorkbook& workbook, const std::u16string& password);
  ~TXLSReader();
  TXLSReader(const TXLSReader&) = delete;
  TXLSReader& operator=(const TXLSReader&) = delete;

  TXLSReadStream& Stream() { return stream_; }
  // After the stream was opened: empties the workbook, runs the record loop and the finishing
  // steps. 1, 100 for a stream that ends inside a substream, or a failure.
  int Read();
  std::uint16_t Version() const { return version_; }
  int FileFormat() const { return version_ >= 0x0600 ? 2 : 1; }

 private:
  bool Biff8() const { return version_ >= 0x0600; }
  int Dispatch(std::uint16_t id, const TXLSBlobList* chunks);
  int Bof(const TXLSRecordBody& body);
  int EndGlobals();
  // Tells the workbook that something of the current sheet (outside a sheet: of the workbook)
  // was left out.
  void ReportLoss(const std::u16string& what);
  // One line of the given sheet (nullptr: of the workbook), taken as it is.
  void ReportLine(const IXLSWorksheet* sheet, const std::u16string& line);
  // One line for count things of a kind: one names a single thing, many the count of them with
  // "{n}" where the number goes. Nothing for a count of 0.
  void ReportLosses(std::size_t count, const std::u16string& one, const std::u16string& many);
  // The sheet's EOF: what its records left out, one line a kind.
  void ReportSheetLosses();
  void KeepMacroProject();
  void KeepEmbeddedObjects();
  void KeepProperties();
  void Finish();

  // Workbook globals.
  int Globals(std::uint16_t id, const TXLSBlobList& chunks);
  int Font(TXLSRecordBody body);
  void XF(TXLSRecordBody body);
  void Format(TXLSRecordBody body);
  void Style(TXLSRecordBody body);
  void Palette(TXLSRecordBody body);
  void BoundSheet(TXLSRecordBody body);
  void SST(const TXLSBlobList& chunks);
  void ExternSheet(TXLSRecordBody body);
  void Name(TXLSRecordBody body);
  void UserName(std::int32_t id, TXLSRecordBody body);
  // UserName, counting a name that is not kept.
  void ReadUserName(std::int32_t id, TXLSRecordBody body);
  // A built-in name that a page setup (print area, print titles of whole rows and columns) or
  // the filter holds as the file has it, taken as a system name: true. False for every other.
  bool BuiltInName(std::int32_t id, TXLSRecordBody body);
  // BIFF5 keeps the filter database as a hidden name "_FilterDatabase", and a BIFF8 file may
  // too: true when the name is one (taken as the built-in name).
  bool FilterDatabaseByText(std::int32_t id, TXLSRecordBody body);
  int SheetIdOfBiff5Scope(std::int32_t scope) const;
  // The 1-based position of the sheet read for the file's 1-based sheet position (which counts
  // the macro and module sheets passed over); 0 for a sheet passed over. Positions past the
  // BOUNDSHEET records move down by the sheets passed over.
  std::int32_t KeptSheet(std::int32_t filePosition) const;

  // Worksheet settings and cells.
  int Sheet(std::uint16_t id, const TXLSBlobList& chunks);
  void HeaderFooter(TXLSRecordBody body, bool header);
  void PageBreaks(TXLSRecordBody body, bool horizontal);
  void Selection(TXLSRecordBody body);
  void Pane(TXLSRecordBody body);
  void Window2(TXLSRecordBody body);
  void WsBool(TXLSRecordBody body);
  void Setup(TXLSRecordBody body);
  void ColInfo(TXLSRecordBody body);
  void Row(TXLSRecordBody body);
  void MergedCells(TXLSRecordBody body);
  int Note(TXLSRecordBody body);

  // The body as pointer and size: a record body handed by value costs a stalled copy per cell.
  void Cell(std::uint16_t id, const std::uint8_t* data, std::size_t size);
  // The fast path of the cell records: the XF as IXLSWorksheet::SetCellXF sets it, the value
  // as a program's value setter stores it.
  struct CellPlace;
  bool Place(std::int32_t row, std::int32_t column, CellPlace& place);
  void SetXF(CellPlace& place, std::int32_t xf);
  // A cell, row or column XF of the file; one past the file's XFs is the default cell format.
  std::int32_t FileXF(std::int32_t xf) const;
  void SetNumber(CellPlace& place, double value);  // a serial of the workbook's date system
  void SetText(CellPlace& place, const std::u16string& text);
  void SetSharedText(CellPlace& place, std::uint32_t sstIndex);
  void SetBoolOrError(CellPlace& place, bool error, std::uint8_t value);
  void SetBlank(CellPlace& place);
  void Formula(TXLSRecordBody body);
  void SharedOrArrayFormula(std::uint16_t id, TXLSRecordBody body);
  void DropPendingAnchor();
  // The cached result of a FORMULA (status 1 or an error code, and the value); false when a
  // text result follows in a STRING record. provisional: the result is one its writer may not
  // have calculated (an empty result, or the record asks for a calculation on load).
  bool FormulaResult(TXLSRecordBody& body, std::int32_t& status, Variant& value, bool& provisional);
  // The cell's formula keeps the result; a cell whose formula could not be read takes it as
  // its value.
  void KeepFormulaResult(std::int32_t row, std::int32_t column, std::int32_t status, const Variant& value,
                         bool provisional);
  void FormulaString(TXLSRecordBody body);
  void Validation(std::uint16_t id, const TXLSBlobList& chunks);
  bool LabelText(TXLSRecordBody& body, std::size_t offset, int codePage, std::u16string& text);

  IXLSWorksheet* CurrentSheet() const;
  int SSTCodePage() const { return codePage_ <= 0 || codePage_ == kCodePageUtf16 ? 1252 : codePage_; }

  TXLSWorkbook& workbook_;
  TXLSReadStream stream_;
  std::uint16_t version_ = 0;
  State state_ = kNone;
  // The shared strings one after the other in one buffer: string i starts at sharedStart_[i]
  // and ends where the next one starts (the last one at the end of the buffer).
  std::u16string sharedText_;
  std::vector<std::uint32_t> sharedStart_;
  // The string table index and serial each shared string got at its last use (0 before): a
  // repeated string is counted there without a lookup while the table still holds it there.
  struct SharedPlace {
    std::int32_t index = 0;
    std::uint32_t serial = 0;
  };
  std::vector<SharedPlace> sstPlaces_;
  std::uint32_t uniqueStrings_ = 0;
  std::uint16_t activeTab_ = 0;
  std::uint16_t firstVisibleTab_ = 0;
  bool frozen_ = false;
  bool fitToPage_ = false;
  std::int32_t sheetNumber_ = 0;  // 1-based position of the substream's sheet
  // Cells that merged areas may still cover in the current worksheet.
  std::int64_t mergedCellsLeft_ = 0;
  // The cell of a FORMULA whose formula comes with the SHRFMLA or ARRAY record that follows.
  std::int32_t pendingRow_ = -1, pendingColumn_ = -1;
  std::int32_t pendingStatus_ = 1;
  Variant pendingResult_;
  bool pendingHasResult_ = false;
  bool pendingProvisional_ = false;
  std::uint16_t pendingOptions_ = 0;
  // The formula cell whose text result comes with the STRING record that follows, and whether
  // its record asked for a calculation on load.
  std::int32_t stringRow_ = -1, stringColumn_ = -1;
  bool stringProvisional_ = false;
  std::int32_t fontCounter_ = 0;
  std::int32_t xfCounter_ = 0;
  // The key of the FONT or XF record read last: one buffer for all of them.
  std::u16string keyBuffer_;
  int codePage_ = 1252;
  std::int32_t nameCounter_ = 0;
  std::vector<TXLSSystemName> systemNames_;
  std::vector<std::u16string> biff5ExternSheets_;
  bool biff5AddInNames_ = false;  // the last BIFF5 EXTERNSHEET is the add-in's
  std::size_t lostExternCells_ = 0;  // XCT and CRN records of other books that could not be read
  struct CachedName {
    std::int32_t id;
    std::vector<std::uint8_t> body;
  };
  std::vector<CachedName> cachedNames_;
  IXLSWorksheet* sheet_ = nullptr;  // the sheet of the worksheet or chart substream being read
  // The chart being read: a chart sheet's (state 3), taken by its sheet at its EOF, or one
  // embedded in a worksheet (state 4), handed to the sheet's drawing at its EOF.
  std::unique_ptr<TXLSCustomChart> chart_;
  // BOF records met inside the substream being passed over, and the substreams of the current
  // worksheet passed over (their chart objects are told of already).
  std::int32_t skipDepth_ = 0;
  std::size_t skippedObjects_ = 0;
  std::uint16_t previousSheetId_ = 0;  // the worksheet record read before the current one
  bool newerCondFormat_ = false;  // the record before a CONTINUEFRT12 is a newer conditional format's
  std::uint16_t previousGlobalsId_ = 0;  // the globals record read before the current one
  // Records kept as read for BIFF8 saves, which BIFF5 saves leave out: of the globals, and of
  // the current worksheet.
  struct KeptCounts {
    std::size_t themes = 0, dxfs = 0, xfExts = 0;
    std::size_t condFormats = 0, sorts = 0, features = 0;
  } keptGlobals_, keptSheet_;
  // Lists the kept records counted for the globals or the current worksheet.
  void ReportKept(KeptCounts& counts);
  // The cell of the BIFF5 note read last, which NOTE records of row 0xFFFF continue (-1: none).
  std::int32_t noteRow_ = -1, noteColumn_ = -1;
  // What the current worksheet's records left out, told of at its EOF.
  struct SheetLosses {
    std::size_t formulas = 0;     // cells whose formula could not be read (they keep the result)
    std::size_t validations = 0;  // validations that could not be read
    std::size_t cutTexts = 0;     // validations whose texts were cut to what the format holds
    std::size_t richTexts = 0;    // cell texts whose formatting runs are not kept
    std::size_t hyperlinks = 0, condFormats = 0, condRules = 0;
    std::size_t notes = 0;  // notes whose comment box is not in the drawing
    std::size_t tabColours = 0;  // SHEETEXT records: the model keeps no tab colour
    std::size_t longTexts = 0;   // cell texts and text results cut to what a cell holds
    std::size_t pivotTables = 0;  // SXVIEW records: the model keeps no pivot table
    std::size_t sorts = 0;        // BIFF5 SORT records
    std::size_t tables = 0;       // FEAT11/FEAT12 records: the model keeps no table (list)
  } sheetLosses_;
  // Of the workbook globals.
  std::size_t richSharedTexts_ = 0;
  std::size_t lostNames_ = 0, lostMacroNames_ = 0;
  // STYLEEXT and TABLESTYLES records: the model keeps neither a style's extension nor table styles.
  std::size_t lostStyleExts_ = 0, lostTableStyles_ = 0;
  std::size_t lostMacroSheets_ = 0, lostOtherSheets_ = 0;
  // Per BOUNDSHEET in file order: the 1-based position of the sheet made for it, 0 for a macro
  // or module sheet passed over.
  std::vector<std::int32_t> boundSheets_;
  // Sheets whose name the model refuses: they keep the name they were given.
  struct Renamed {
    IXLSWorksheet* sheet;
    std::u16string name;
  };
  std::vector<Renamed> renamedSheets_;
};

}  // namespace xls
