// The root of the spreadsheet object model: the workbook owns the sheet collection, the cell
// formats with their fonts and number formats, the shared strings, the workbook protection and
// the colour palette. Callers hold it through IXLSWorkbook, a reference-counted handle; every
// interface object of the library (ranges and their views, fonts, fills, borders, page setup)
// is held the same way and lives as long as a handle to it does.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/drawing_slot.h"
#include "xls/model/protect.h"
#include "xls/model/variant.h"

namespace platform {
class ByteStream;
}

namespace xls {

class IXLSWorkSheets;
class IXLSWorksheet;
class TXLSStringTable;
class TXLSXFList;
// The calculation settings: those each worksheet of a file carries (CALCMODE, CALCCOUNT,
// ITERATION, DELTA, SAVERECALC; the format's program keeps them with the workbook), the globals'
// PRECISION, and the RECALCID build of the program that calculated the results last. A read
// workbook keeps the file's; a workbook the library made has these.
struct TXLSCalcSettings {
  static constexpr std::uint32_t kCalculatedByUs = 0x00FFFFFF;  // no program needs to calculate again
  // A build below every program's: the format's program calculates every formula on load, as
  // it does for a file that names no build.
  static constexpr std::uint32_t kNotCalculated = 0;
  std::uint16_t calcMode = 1;  // 0 manual, 1 automatic, 0xFFFF automatic but for tables
  std::uint16_t calcCount = 100;
  std::uint16_t iteration = 0;
  double delta = 0.001;
  std::uint16_t saveRecalc = 1;
  std::uint16_t precision = 1;  // 0: as displayed
  std::uint32_t recalcBuild = kCalculatedByUs;
};

class TXLSWorkbook;
class TXLSWorkbookFormulas;
class TXLSNames;
class TXLSFileStorage;
class TXLSFileStream;
class TXLSVBAProject;

using IXLSWorkbook = std::shared_ptr<TXLSWorkbook>;

// 1 January 1904, day 0 of the 1904 date system, in the 1900 system's serials.
constexpr double kDate1904Days = 1462;

class TXLSWorkbook {
 public:
  static constexpr std::uint16_t kDefaultCodePage = 1252;
  static constexpr int kPaletteSize = 64;

  // A new workbook: no sheets, code page 1252, sheet-name prefix "Sheet", BIFF8 saving.
  static IXLSWorkbook Create();
  ~TXLSWorkbook();
  TXLSWorkbook(const TXLSWorkbook&) = delete;
  TXLSWorkbook& operator=(const TXLSWorkbook&) = delete;

  // Colours: 0x00BBGGRR of a colour index; palette indexes 1..56 can be changed.
  std::uint32_t GetColor(std::int32_t index) const { return PaletteIndexToRGB(index); }
  void SetPaletteColor(std::int32_t index, std::uint32_t rgb);
  std::int32_t ResetPalette();
  std::uint32_t PaletteIndexToRGB(std::int32_t index) const;
  // The palette index 1..56 nearest to an RGB value; the first of equally near ones wins.
  std::int32_t NearestColorIndex(std::uint32_t rgb) const;

  std::int32_t SetCodePage(std::uint16_t codePage);
  std::uint16_t GetCodePage() const { return codePage_; }

  IXLSWorkSheets& GetWorksheets() { return *sheets_; }
  const IXLSWorkSheets& GetWorksheets() const { return *sheets_; }
  IXLSWorksheet* GetActiveSheet() const;
  // Closing keeps the workbook as it is; the last handle frees it.
  std::int32_t Close() { return 1; }

  // Saving in the default format (BIFF8 unless changed), in a given one (1 BIFF5, 2 BIFF8),
  // and again under the last BIFF file name. Carried out by the file writer (library
  // kv_xls_io, see library_slots.h), which callers that save link; results as there.
  std::int32_t SaveAs(const std::u16string& fileName);
  std::int32_t SaveAsFormat(const std::u16string& fileName, std::int32_t format);
  std::int32_t SaveToStream(platform::ByteStream& stream);
  std::int32_t SaveToStreamFormat(platform::ByteStream& stream, std::int32_t format);
  std::int32_t Save();
  // Why the last of those saves failed (the cell it could not write, the file error, ...), as
  // UTF-8 text; empty after a save that succeeded.
  const std::string& GetLastSaveError() const { return lastSaveError_; }
  void SetLastSaveError(std::string text) { lastSaveError_ = std::move(text); }
  // Reading a BIFF8 or BIFF5 workbook file or stream into this workbook, which is emptied
  // first. Carried out by the reader (library kv_xls_reader), which callers that open link.
  // 1 on success; the reader's failures unchanged.
  std::int32_t Open(const std::u16string& fileName) { return OpenWithPassword(fileName, u""); }
  std::int32_t OpenWithPassword(const std::u16string& fileName, const std::u16string& password);
  std::int32_t OpenStream(platform::ByteStream& stream) { return OpenStreamWithPassword(stream, u""); }
  std::int32_t OpenStreamWithPassword(platform::ByteStream& stream, const std::u16string& password);
  // What the last Open read from the file but could not keep (an embedded chart it could not
  // read, say), one text each; empty when everything was kept. The reader adds them.
  const std::vector<std::u16string>& GetReadLosses() const { return readLosses_; }
  void AddReadLoss(const std::u16string& text) { readLosses_.push_back(text); }
  // Records of the workbook globals that the model holds nothing of (the theme, differential
  // formats, extended cell formats), kept as read from a BIFF8 file for BIFF8 saves.
  struct KeptRecord {
    std::uint16_t id = 0;
    std::vector<std::uint8_t> body;
  };
  const std::vector<KeptRecord>& KeptGlobals() const { return keptGlobals_; }
  void KeepGlobal(std::uint16_t id, std::vector<std::uint8_t> body) { keptGlobals_.push_back({id, std::move(body)}); }
  // The text exports (library kv_xls_export): HTML pages, an RTF document of every sheet.
  std::int32_t SaveAsHTML(const std::u16string& fileName);
  std::int32_t SaveAsRTF(const std::u16string& fileName);
  std::int32_t SaveAsRTFToStream(platform::ByteStream& stream);

  bool GetProtected() const { return protect_.GetProtected(); }
  void Protect() { protect_.Protect(""); }
  // An 8-bit password; a workbook already protected by another password stays as it is.
  bool ProtectWithPassword(const std::string& password) { return protect_.Protect(password); }
  void Unprotect() { protect_.Unprotect("", false); }
  bool UnprotectWithPassword(const std::string& password) { return protect_.Unprotect(password, true); }
  bool UnprotectWithPassword2(const std::string& password) { return UnprotectWithPassword(password); }
  TXLSProtect& Protection() { return protect_; }

  TXLSCalcSettings& CalcSettings() { return calcSettings_; }
  const TXLSCalcSettings& CalcSettings() const { return calcSettings_; }
  std::int32_t GetRefModeA1() const { return refModeA1_; }
  void SetRefModeA1(std::int32_t flag) { refModeA1_ = flag != 0 ? 1 : 0; }
  bool GetDate1904() const { return date1904_; }
  // Cells, formulas and files hold serials of the workbook's date system: a 1904 book counts
  // 1904-01-01 as 0, 1462 days below the 1900 system. Switching the system keeps every serial,
  // so the dates they show move by those days, as in the format's own program (a cell given a
  // date value becomes its serial).
  void SetDate1904(bool flag);
  // The serial of a date value (1899-12-30 is 0) in this workbook's system, and the date value
  // of a serial: the one place where dates enter and leave the workbook's system. A time of day
  // without a date stays as it is.
  double SerialOfDate(double dateValue) const;
  double DateOfSerial(double serial) const;
  bool GetIgnoreDrawings() const { return ignoreDrawings_; }
  void SetIgnoreDrawings(bool flag) { ignoreDrawings_ = flag; }
  // The cells that a read file's merged areas may cover per worksheet: merging makes a cell for
  // every position. Test and fuzzing hook: the fuzz targets keep it small so that inputs which
  // merge large areas stay fast.
  std::int64_t MergedCellsPerSheet() const { return mergedCellsPerSheet_; }
  void SetMergedCellsPerSheetForTest(std::int64_t cells) { mergedCellsPerSheet_ = cells; }

  const std::u16string& SheetNamePrefix() const { return prefix_; }
  const std::u16string& GetFileName() const { return fileName_; }
  void SetFileName(const std::u16string& name) { fileName_ = name; }
  std::int32_t GetDefaultSaveFormat() const { return defaultSaveFormat_; }
  void SetDefaultSaveFormat(std::int32_t format) { defaultSaveFormat_ = format; }
  std::int32_t GetCurrentFormat() const { return currentFormat_; }
  void SetCurrentFormat(std::int32_t format) { currentFormat_ = format; }
  std::uint16_t GetFirstVisibleTab() const { return firstVisibleTab_; }
  void SetFirstVisibleTab(std::uint16_t tab) { firstVisibleTab_ = tab; }
  const std::u16string& GetCodeName() const { return codeName_; }
  void SetCodeName(const std::u16string& name) { codeName_ = name; }

  // The macro project kept from an opened file: its VBA storage ("_VBA_PROJECT_CUR", or
  // "_VBA_PROJECT" in BIFF5) and its "Ctls" stream, written back (with OBJPROJ and the code
  // names) by saves in the format of the file they came from.
  void SetVBAParts(std::unique_ptr<TXLSFileStorage> storage, std::unique_ptr<TXLSFileStream> controls,
                   std::int32_t loadedFormat);
  bool HasVBA() const { return vbaStorage_ != nullptr; }
  void ClearVBA();
  const TXLSFileStorage* VBAStorage() const { return vbaStorage_.get(); }
  const TXLSFileStream* ControlsStream() const { return controls_.get(); }
  std::int32_t GetLoadedFormat() const { return loadedFormat_; }
  // The document property streams ("\005SummaryInformation", "\005DocumentSummaryInformation")
  // of an opened file, written back as read by every BIFF save.
  void KeepPropertyStream(std::unique_ptr<TXLSFileStream> stream);
  const std::vector<std::unique_ptr<TXLSFileStream>>& PropertyStreams() const { return propertyStreams_; }
  // The macro project of the kept VBA storage (its name, code page, modules and their source),
  // read on the first call by the reader (library kv_xls_reader); nullptr when there is no
  // storage or it holds no readable project.
  TXLSVBAProject* GetVBAProject();
  // True while a save in the current format writes the macro project back.
  bool KeepsVBA() const { return vbaStorage_ && currentFormat_ == loadedFormat_; }

  // Empties the workbook before a file is read into it: no sheets, no strings, no protection,
  // an empty format list (the file brings its own), A1 references.
  void Clear();

  TXLSXFList& XFList() { return *xfList_; }
  TXLSStringTable& StringTable() { return *strings_; }

  // Advanced by every value change so that cached formula results are computed again;
  // it never takes the value 0.
  void BumpRecalcStamp();
  std::uint32_t GetRecalcStamp() const { return recalcStamp_; }
  // True from the end of a file's reading until the first change a formula could read (a bump
  // of the stamp): formulas read from the file stand for the results the file cached.
  bool ResultsAsRead() const { return resultsAsRead_; }
  void KeepResultsAsRead() { resultsAsRead_ = true; }
  void SetRecalcStamp(std::uint32_t stamp) { recalcStamp_ = stamp; }

  // The calculator's cell source: -1 for a sheet index outside 1..count or a position outside
  // the sheet; outside is set for positions beyond the sheet's last used row or column.
  std::int32_t GetCellValue(std::int32_t sheetIndex, std::int32_t row, std::int32_t column,
                            bool& outside, Variant& value) const;
  // The defined names, the external-reference table and the formula compiler, made on first
  // use. Made by the formula library (kv_xls_formula), which callers that use them link.
  TXLSWorkbookFormulas& Formulas();
  bool HasFormulas() const { return formulas_ != nullptr; }
  // The drawing group (pictures, shape clusters): made and used by the drawing library.
  TXLSDrawingGroupBase* DrawingGroupSlot() const { return drawingGroup_.get(); }
  void SetDrawingGroupSlot(std::unique_ptr<TXLSDrawingGroupBase> group) { drawingGroup_ = std::move(group); }
  std::shared_ptr<TXLSNames> GetNames();

  // Calculates formula text (a leading "=" is optional) on the active sheet; the calculator's
  // status, with an empty value unless it is 1. Carried out by the calculator (kv_xls_formula).
  std::int32_t Evaluate(const std::u16string& formula, Variant& value);

  // Sheet lookups for formula references.
  std::int32_t GetSheetIdByName(const std::u16string& name, std::int32_t& id) const;
  std::int32_t GetSheetIndexById(std::int32_t id, std::int32_t& index) const;
  std::int32_t GetSheetNameByIndex(std::int32_t index, std::u16string& name) const;
  std::int32_t GetNextSheetIndex() const;

 private:
  TXLSWorkbook();

  // Order matters: sheets are destroyed before the lists their cells count uses in.
  std::u16string prefix_ = u"Sheet";
  std::array<std::uint32_t, kPaletteSize> colors_{};
  std::uint16_t codePage_ = kDefaultCodePage;
  std::unique_ptr<TXLSXFList> xfList_;
  std::unique_ptr<TXLSStringTable> strings_;
  TXLSProtect protect_;
  bool date1904_ = false;
  std::u16string fileName_;
  std::string lastSaveError_;
  std::uint16_t firstVisibleTab_ = 0;
  std::int32_t defaultSaveFormat_ = 2;
  std::int32_t currentFormat_ = 0;
  std::uint32_t recalcStamp_ = 1;
  bool resultsAsRead_ = false;
  std::int32_t refModeA1_ = 1;
  TXLSCalcSettings calcSettings_;
  std::u16string codeName_;
  bool ignoreDrawings_ = false;
  std::vector<std::u16string> readLosses_;
  std::vector<KeptRecord> keptGlobals_;
  std::int64_t mergedCellsPerSheet_ = std::int64_t{1} << 20;
  std::unique_ptr<TXLSFileStorage> vbaStorage_;
  std::unique_ptr<TXLSFileStream> controls_;
  std::vector<std::unique_ptr<TXLSFileStream>> propertyStreams_;
  // Read from vbaStorage_ on request, and forgotten with it.
  std::shared_ptr<TXLSVBAProject> vbaProject_;
  std::int32_t loadedFormat_ = 0;
  // Outlives the sheets: their drawings give their drawing ids back to it.
  std::unique_ptr<TXLSDrawingGroupBase> drawingGroup_;
  std::unique_ptr<IXLSWorkSheets> sheets_;
  // Destroyed first: nothing in it gives anything back to the lists above.
  std::shared_ptr<TXLSWorkbookFormulas> formulas_;
};

}  // namespace xls
