// Hyperlinks of a worksheet: each covers a rectangle of cells and points to a web or mail
// address, a network path, a file or a place in the workbook. The sheet owns one store; ranges
// hand out IXLSHyperLinks (all links of the sheet, or those touching the range) and
// IXLSHyperLink objects. Creating a link styles its cells as a link and writes its text into
// the top-left cell. The sheet writer writes HLINK and HLINKTOOLTIP records (BIFF8); the
// reader rebuilds links from them; range operations delete or shift links with their cells.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/range.h"

namespace xls {

class IXLSWorksheet;
class TXLSBlob;
class TXLSCustomHyperlinks;

enum HyperlinkKind : std::uint8_t { kLinkUrl = 0, kLinkUnc = 1, kLinkFile = 2, kLinkPlace = 3 };

class TXLSCustomHyperlink {
 public:
  std::int32_t firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;  // 0-based
  std::uint8_t kind = kLinkPlace;
  std::u16string screenTip, textToDisplay, targetFrame, address, subAddress;

  static std::uint8_t DetectKind(const std::u16string& address);
  // The HLINK record (header included).
  std::unique_ptr<TXLSBlob> BuildHLINK() const;
  // The HLINKTOOLTIP record, or nullptr without a screen tip.
  std::unique_ptr<TXLSBlob> BuildTooltip() const;
  bool Intersects(std::int32_t r1, std::int32_t c1, std::int32_t r2, std::int32_t c2) const {
    return firstRow <= r2 && lastRow >= r1 && firstColumn <= c2 && lastColumn >= c1;
  }
  bool Inside(std::int32_t r1, std::int32_t c1, std::int32_t r2, std::int32_t c2) const {
    return firstRow >= r1 && lastRow <= r2 && firstColumn >= c1 && lastColumn <= c2;
  }
  TXLSCustomHyperlinks* Owner() const { return owner_; }
  std::int32_t Index() const { return index_; }

 private:
  friend class TXLSCustomHyperlinks;
  TXLSCustomHyperlinks* owner_ = nullptr;
  std::int32_t index_ = 0;
};

class TXLSCustomHyperlinks {
 public:
  explicit TXLSCustomHyperlinks(IXLSWorksheet* sheet) : sheet_(sheet) {}
  TXLSCustomHyperlinks(const TXLSCustomHyperlinks&) = delete;
  TXLSCustomHyperlinks& operator=(const TXLSCustomHyperlinks&) = delete;

  IXLSWorksheet* Sheet() const { return sheet_; }
  std::int32_t Count() const { return static_cast<std::int32_t>(links_.size()); }
  TXLSCustomHyperlink* GetItem(std::int32_t i) const;  // 1-based; nullptr outside 1..count

  // A link over the anchor's cells; its text goes into the top-left cell.
  TXLSCustomHyperlink* Add(const IXLSRange& anchor, const std::u16string& address, const std::u16string& subAddress,
                           const std::u16string& screenTip, const std::u16string& textToDisplay);
  void Delete(std::int32_t i);  // restyles the link's cells as plain cells
  void Clear();
  // Links intersecting a range of this store's sheet (nothing, or 0, for another sheet's).
  void DeleteInRange(const IXLSRange& range);
  std::int32_t CountInRange(const IXLSRange& range) const;
  TXLSCustomHyperlink* ItemInRange(const IXLSRange& range, std::int32_t i) const;
  // For range operations (0-based, inclusive): drops every link intersecting the area (cells
  // cleared).
  void DeleteArea(std::int32_t r1, std::int32_t c1, std::int32_t r2, std::int32_t c2);
  // For cells inserted or deleted: every link's cells (first row, first column, last row, last
  // column) as `move` changes them; a link for which it answers false is dropped.
  void MoveAreas(const std::function<bool(std::int32_t&, std::int32_t&, std::int32_t&, std::int32_t&)>& move);

  // For copying and moving ranges (0-based, inclusive): the links lying wholly inside an area,
  // taking them out (without restyling), and a link placed again moved by rows and columns
  // (nullptr when that leaves the sheet).
  std::vector<TXLSCustomHyperlink> LinksInside(std::int32_t r1, std::int32_t c1, std::int32_t r2,
                                               std::int32_t c2) const;
  void RemoveInside(std::int32_t r1, std::int32_t c1, std::int32_t r2, std::int32_t c2);
  TXLSCustomHyperlink* AddMoved(const TXLSCustomHyperlink& link, std::int32_t rows, std::int32_t columns);

  // Cells restyled as a link or back as plain cells.
  void StyleCells(const TXLSCustomHyperlink& link, bool asLink);
  void WriteText(const TXLSCustomHyperlink& link);

  // HLINK then HLINKTOOLTIP per link; each record is handed to add (1 or a failing status).
  template <class AddRecord>
  int WriteRecords(AddRecord add) const {
    for (const auto& link : links_) {
      int result = add(link->BuildHLINK());
      if (result == 1 && !link->screenTip.empty()) result = add(link->BuildTooltip());
      if (result != 1) return result;
    }
    return 1;
  }
  // Record data (without the header). HLINK: the new link's index, or -1 for a record whose
  // counts or lengths overrun it (nothing is added). HLINKTOOLTIP: 1 when it was taken.
  std::int32_t LoadHLINK(const std::uint8_t* data, std::size_t size);
  std::int32_t LoadHLINKTooltip(const std::uint8_t* data, std::size_t size);

 private:
  TXLSCustomHyperlink* NewHyperlink();
  void Pack();

  IXLSWorksheet* sheet_;
  std::vector<std::unique_ptr<TXLSCustomHyperlink>> links_;
};

// The interface objects. A link object forwards to its link; once the link is gone nothing
// happens.
class TXLSHyperLink {
 public:
  TXLSHyperLink(TXLSCustomHyperlinks& store, TXLSCustomHyperlink& link) : store_(store), link_(&link) {}
  void Delete();
  std::u16string GetAddress() const;
  void SetAddress(const std::u16string& v);
  std::u16string GetSubAddress() const;
  void SetSubAddress(const std::u16string& v);
  std::u16string GetScreenTip() const;
  void SetScreenTip(const std::u16string& v);
  std::u16string GetTextToDisplay() const;
  void SetTextToDisplay(const std::u16string& v);
  IXLSRange GetRange() const;
  void SetRange(const IXLSRange& range);
  std::uint8_t GetKind() const;

 private:
  TXLSCustomHyperlink* Link() const;
  TXLSCustomHyperlinks& store_;
  TXLSCustomHyperlink* link_;
};
using IXLSHyperLink = std::shared_ptr<TXLSHyperLink>;

class TXLSHyperLinks {
 public:
  // range empty: every link of the sheet.
  TXLSHyperLinks(TXLSCustomHyperlinks& store, IXLSRange range) : store_(store), range_(std::move(range)) {}
  std::int32_t GetCount() const;
  IXLSHyperLink GetItem(std::int32_t i) const;
  void Delete();
  IXLSHyperLink Add(const IXLSRange& anchor, const std::u16string& address, const std::u16string& subAddress = {},
                    const std::u16string& screenTip = {}, const std::u16string& textToDisplay = {});

 private:
  TXLSCustomHyperlinks& store_;
  IXLSRange range_;
};
using IXLSHyperLinks = std::shared_ptr<TXLSHyperLinks>;

}  // namespace xls
