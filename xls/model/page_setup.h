// A worksheet's print settings (margins, header and footer, orientation, paper, scaling, print
// area and titles) and its horizontal and vertical page breaks. The sheet writer turns them
// into the page records; the reader fills them back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/variant.h"

namespace xls {

class IXLSWorksheet;
class TXLSRange;

// The fields of a SETUP record that the page setup does not hold, and those it shows
// differently, as a file gave them; a save writes them back.
struct TXLSSetupAsRead {
  // Option 0x0004 clear: paper size, scale, orientation, resolutions and copies describe a
  // printer. Set, they are stale values the format's own program leaves behind: the page setup
  // shows the defaults for them.
  bool printerFieldsValid = true;
  // Option 0x0040 clear: the orientation bit holds; set, the page setup shows portrait.
  bool orientationValid = true;
  bool portrait = true;
  std::uint16_t paperSize = 0;
  std::uint16_t scale = 100;
  std::uint16_t pageStart = 1;
  std::uint16_t resolution = 600;
  std::uint16_t verticalResolution = 600;
  std::uint16_t copies = 1;
  // Options 0x0080 (first page number used), 0x0200 (notes at the end), 0x0C00 (how cell
  // errors print).
  std::uint16_t otherOptions = 0;
};

class TXLSPageSetup {
 public:
  explicit TXLSPageSetup(IXLSWorksheet* sheet) : sheet_(sheet) {}

  // 1 portrait, 2 landscape.
  std::int32_t GetOrientation() const { return portrait_ ? 1 : 2; }
  // Setting the orientation, the paper size or the zoom makes the read printer fields valid.
  void SetOrientation(std::int32_t v);
  std::int32_t GetOrder() const { return order_; }
  void SetOrder(std::int32_t v);
  // The stored 0 stands for the paper code 256.
  std::int32_t GetPaperSize() const { return paperSize_ == 0 ? 256 : paperSize_; }
  void SetPaperSize(std::int32_t v) {
    paperSize_ = static_cast<std::uint16_t>(v == 256 ? 0 : v);
    asRead_.printerFieldsValid = true;
  }

  double GetBottomMargin() const { return bottomMargin_; }
  void SetBottomMargin(double v) { bottomMargin_ = v; }
  double GetTopMargin() const { return topMargin_; }
  void SetTopMargin(double v) { topMargin_ = v; }
  double GetLeftMargin() const { return leftMargin_; }
  void SetLeftMargin(double v) { leftMargin_ = v; }
  double GetRightMargin() const { return rightMargin_; }
  void SetRightMargin(double v) { rightMargin_ = v; }
  double GetHeaderMargin() const { return headerMargin_; }
  void SetHeaderMargin(double v) { headerMargin_ = v; }
  double GetFooterMargin() const { return footerMargin_; }
  void SetFooterMargin(double v) { footerMargin_ = v; }

  const std::u16string& GetLeftHeader() const { return leftHeader_; }
  void SetLeftHeader(const std::u16string& s) { leftHeader_ = s; }
  const std::u16string& GetCenterHeader() const { return centerHeader_; }
  void SetCenterHeader(const std::u16string& s) { centerHeader_ = s; }
  const std::u16string& GetRightHeader() const { return rightHeader_; }
  void SetRightHeader(const std::u16string& s) { rightHeader_ = s; }
  const std::u16string& GetLeftFooter() const { return leftFooter_; }
  void SetLeftFooter(const std::u16string& s) { leftFooter_ = s; }
  const std::u16string& GetCenterFooter() const { return centerFooter_; }
  void SetCenterFooter(const std::u16string& s) { centerFooter_ = s; }
  const std::u16string& GetRightFooter() const { return rightFooter_; }
  void SetRightFooter(const std::u16string& s) { rightFooter_ = s; }

  bool GetCenterHorizontally() const { return centerHorizontally_; }
  void SetCenterHorizontally(bool v) { centerHorizontally_ = v; }
  bool GetCenterVertically() const { return centerVertically_; }
  void SetCenterVertically(bool v) { centerVertically_ = v; }
  bool GetPrintGridlines() const { return printGridlines_; }
  void SetPrintGridlines(bool v) { printGridlines_ = v; }
  bool GetPrintHeadings() const { return printHeadings_; }
  void SetPrintHeadings(bool v) { printHeadings_ = v; }
  bool GetDraft() const { return draft_; }
  void SetDraft(bool v) { draft_ = v; }
  bool GetBlackAndWhite() const { return blackAndWhite_; }
  void SetBlackAndWhite(bool v) { blackAndWhite_ = v; }
  bool GetPrintNotes() const { return printNotes_; }
  void SetPrintNotes(bool v) { printNotes_ = v; }

  // The zoom as an integer while scaling by zoom, else false (fitting to pages).
  Variant GetZoom() const;
  // Boolean: fitting on for false, off for true. Integer 10..400: zoom, fitting off.
  void SetZoom(const Variant& v);
  // The page count as an integer, or false when it is 0.
  Variant GetFitToPagesTall() const { return PageCount(fitTall_); }
  Variant GetFitToPagesWide() const { return PageCount(fitWide_); }
  // A number sets the count and turns fitting on; a boolean sets fitting, false also
  // clears the count.
  void SetFitToPagesTall(const Variant& v) { SetFit(fitTall_, v); }
  void SetFitToPagesWide(const Variant& v) { SetFit(fitWide_, v); }
  bool GetFitMode() const { return fitMode_; }
  std::uint16_t GetZoomValue() const { return zoom_; }

  // The print area as area text ("A1:C10"), empty when none.
  std::u16string GetPrintArea() const { return printAreaText_; }
  // 0-based bounds; false (and nothing changed) for an inverted or out-of-sheet area.
  bool SetPrintArea(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastRow,
                    std::int32_t lastColumn);
  // Parses area text; an empty text clears the print area.
  bool SetPrintAreaText(const std::u16string& text);
  std::int32_t PrintAreaFirstRow() const { return areaFirstRow_; }
  std::int32_t PrintAreaLastRow() const { return areaLastRow_; }
  std::int32_t PrintAreaFirstColumn() const { return areaFirstCol_; }
  std::int32_t PrintAreaLastColumn() const { return areaLastCol_; }

  // Title rows and columns as absolute text ("$1:$3", "$A:$B"); 1-based pairs inside.
  std::u16string GetPrintTitleRows() const;
  std::u16string GetPrintTitleColumns() const;
  bool SetPrintTitleRows(const std::u16string& text);
  bool SetPrintTitleColumns(const std::u16string& text);
  // 1-based bounds; 0 and 0 for no title rows (columns). Bounds outside the sheet are refused.
  bool SetPrintTitleRows(std::int32_t first, std::int32_t last);
  bool SetPrintTitleColumns(std::int32_t first, std::int32_t last);
  std::int32_t TitleFirstRow() const { return titleFirstRow_; }
  std::int32_t TitleLastRow() const { return titleLastRow_; }
  std::int32_t TitleFirstColumn() const { return titleFirstCol_; }
  std::int32_t TitleLastColumn() const { return titleLastCol_; }

  const TXLSSetupAsRead& SetupAsRead() const { return asRead_; }
  // The reader's last step: the printer fields the file marked not valid show the defaults.
  void SetSetupAsRead(const TXLSSetupAsRead& read);

  // The sheet's entry in the workbook's external-sheet table, -1 until the writer sets it.
  std::int32_t GetExternSheetId() const { return externSheetId_; }
  void SetExternSheetId(std::int32_t id) { externSheetId_ = id; }
  IXLSWorksheet* GetWorksheet() const { return sheet_; }

 private:
  static Variant PageCount(std::uint16_t n);
  void SetFit(std::uint16_t& count, const Variant& v);

  IXLSWorksheet* sheet_;
  std::int32_t areaFirstRow_ = -1, areaLastRow_ = -1, areaFirstCol_ = -1, areaLastCol_ = -1;
  bool portrait_ = true;
  std::uint8_t order_ = 0;
  std::uint16_t paperSize_ = 0;
  bool printGridlines_ = true;
  bool centerHorizontally_ = false;
  bool centerVertically_ = false;
  bool printHeadings_ = false;
  double headerMargin_ = 0.5;
  double footerMargin_ = 0.5;
  double bottomMargin_ = 1.0;
  double rightMargin_ = 0.75;
  double leftMargin_ = 0.75;
  double topMargin_ = 1.0;
  std::u16string printAreaText_;
  std::u16string centerHeader_, rightHeader_, rightFooter_, centerFooter_, leftFooter_, leftHeader_;
  std::int32_t titleFirstRow_ = 0, titleLastRow_ = 0, titleFirstCol_ = 0, titleLastCol_ = 0;
  std::uint16_t fitWide_ = 0;
  std::uint16_t zoom_ = 100;
  std::uint16_t fitTall_ = 0;
  bool fitMode_ = false;
  bool draft_ = false;
  bool blackAndWhite_ = false;
  bool printNotes_ = false;
  std::int32_t externSheetId_ = -1;
  TXLSSetupAsRead asRead_;
};

using IXLSPageSetup = std::shared_ptr<TXLSPageSetup>;

class TXLSPageBreak {
 public:
  TXLSPageBreak(std::int32_t position, std::int32_t index) : position_(position), index_(index) {}
  virtual ~TXLSPageBreak() = default;
  std::int32_t GetPosition() const { return position_; }
  std::int32_t GetIndex() const { return index_; }
  void SetIndex(std::int32_t i) { index_ = i; }

 private:
  std::int32_t position_;
  std::int32_t index_;
};

class TXLSHPageBreak : public TXLSPageBreak {
 public:
  using TXLSPageBreak::TXLSPageBreak;
};
class TXLSVPageBreak : public TXLSPageBreak {
 public:
  using TXLSPageBreak::TXLSPageBreak;
};

// Breaks kept sorted by position without duplicates; indexes are 1-based places in the list.
class TXLSPageBreaks {
 public:
  TXLSPageBreaks(IXLSWorksheet* sheet, std::int32_t kind) : sheet_(sheet), kind_(kind) {}
  virtual ~TXLSPageBreaks() = default;

  // The break at a 0-based row (horizontal) or column (vertical); an existing one is returned.
  TXLSPageBreak* AddBreak(std::int32_t position);
  // The break at the range's first row or first column.
  TXLSPageBreak* Add(const TXLSRange& range);
  TXLSPageBreak* GetItem(std::int32_t i) const;
  std::int32_t GetCount() const { return static_cast<std::int32_t>(breaks_.size()); }
  std::int32_t GetKind() const { return kind_; }
  IXLSWorksheet* GetWorksheet() const { return sheet_; }
  void Clear() { breaks_.clear(); }

 protected:
  virtual std::unique_ptr<TXLSPageBreak> NewItem(std::int32_t position, std::int32_t index) = 0;

 private:
  IXLSWorksheet* sheet_;
  std::int32_t kind_;
  std::vector<std::unique_ptr<TXLSPageBreak>> breaks_;
};

class TXLSHPageBreaks : public TXLSPageBreaks {
 public:
  explicit TXLSHPageBreaks(IXLSWorksheet* sheet) : TXLSPageBreaks(sheet, 0) {}

 protected:
  std::unique_ptr<TXLSPageBreak> NewItem(std::int32_t position, std::int32_t index) override {
    return std::make_unique<TXLSHPageBreak>(position, index);
  }
};

class TXLSVPageBreaks : public TXLSPageBreaks {
 public:
  explicit TXLSVPageBreaks(IXLSWorksheet* sheet) : TXLSPageBreaks(sheet, 1) {}

 protected:
  std::unique_ptr<TXLSPageBreak> NewItem(std::int32_t position, std::int32_t index) override {
    return std::make_unique<TXLSVPageBreak>(position, index);
  }
};

}  // namespace xls
