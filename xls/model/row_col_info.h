// Per-column and per-row settings of a worksheet: widths and heights, formats (XF), hidden
// flags and outline levels, plus each row's first and last used column, which the cell store
// keeps. Only columns and rows that differ from the defaults, or rows that hold cells, have
// entries. Every change of an entry's XF moves one use in the workbook's XF list. The lists
// also build the records that carry these settings.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/blob.h"

namespace xls {

class TXLSXFList;

struct TXLSColumnInfo {
  std::uint16_t width = 2340;  // 1/256 of a character
  std::int32_t xf = 15;
  std::uint8_t hidden = 0;
  std::uint8_t outlineLevel = 0;  // level - 1, 0..7
  // The outline group that ends beside this column is collapsed (shown closed).
  std::uint8_t collapsed = 0;
  // The width was fitted to the column's contents (COLINFO 0x0004); a width set clears it.
  std::uint8_t bestFit = 0;
};

class TXLSColumnInfoList {
 public:
  static constexpr std::uint16_t kDefaultWidth = 2340;

  explicit TXLSColumnInfoList(TXLSXFList* xfList);
  ~TXLSColumnInfoList();

  TXLSColumnInfo* GetEntry(std::int32_t c) const;
  TXLSColumnInfo* GetOrCreate(std::int32_t c);
  void SetColumnInfo(std::int32_t c, std::uint16_t width, std::int32_t level, std::int32_t xf,
                     bool hidden, bool collapsed = false, bool bestFit = false);
  // Widths in characters; setting clamps to 0..255 characters.
  double GetColumnWidth(std::int32_t c) const;
  void SetColumnWidth(std::int32_t c, double characters);
  void SetStandardWidth(double characters);
  double GetStandardWidth() const;
  const TXLSColumnInfo& DefaultColumn() const { return default_; }
  std::int32_t GetColumnXF(std::int32_t c) const;
  void SetColumnXF(std::int32_t c, std::int32_t xf);
  bool IsHidden(std::int32_t c) const;
  void SetHidden(std::int32_t c, bool hidden);
  std::int32_t GetFirstVisibleColumn() const;
  std::int32_t GetOutlineLevel(std::int32_t c) const;
  void SetOutlineLevel(std::int32_t c, std::int32_t level);
  // The collapsed mark of the outline group beside the column (false without an entry).
  bool IsCollapsed(std::int32_t c) const;
  void CopyColumnInfo(std::int32_t c, const TXLSColumnInfo* source);
  void DeleteColumnInfo(std::int32_t c);

  std::int32_t FirstColumn() const { return first_; }
  std::int32_t LastColumn() const { return last_; }
  std::int32_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  std::uint8_t MaxOutlineLevel() const { return maxLevel_; }

  // DEFCOLWIDTH and one COLINFO per run of equal columns, appended to out.
  void WriteColInfos(TXLSBlobList& out);
  // STANDARDWIDTH, or nothing while the default width is unchanged.
  std::unique_ptr<TXLSBlob> BuildStandardWidth() const;

 private:
  void Track(std::int32_t c);

  TXLSXFList* xfList_;
  // Held in place, with a mark for the columns that have an entry: a sheet read from a file
  // often has all 256.
  std::array<TXLSColumnInfo, 256> entries_{};
  std::bitset<256> present_;
  TXLSColumnInfo default_;
  std::int32_t first_ = 0, last_ = 0, count_ = 0;
  std::uint8_t maxLevel_ = 0;
};

// The height, in twips, that the format's own program gives the rows of a sheet that names no
// default height (no DEFAULTROWHEIGHT): the line of the default font at 96 pixels an inch (its
// ascent and descent over the em, in whole pixels) and two pixels of margin. Arial 10 gives 17
// pixels (255 twips), Calibri 11 gives 20 (300 twips, 15 points).
std::uint16_t DefaultRowTwipsOfFont(const std::u16string& name, double points);

struct TXLSRowInfo {
  std::uint16_t height = 255;  // twips
  std::uint8_t customHeight = 0;
  std::int32_t xf = 15;
  std::uint8_t hasStyle = 0;
  std::uint8_t hidden = 0;
  std::uint8_t outlineLevel = 0;  // level - 1
  std::int32_t firstUsedColumn = -1;
  std::int32_t lastUsedColumn = -1;
  std::uint8_t unsynced = 0;
  // The outline group that ends beside this row is collapsed (shown closed).
  std::uint8_t collapsed = 0;
};

class TXLSRowInfoList {
 public:
  // The tallest row a ROW record holds: 409.5 points.
  static constexpr double kMaxRowHeight = 409.5;

  explicit TXLSRowInfoList(TXLSXFList* xfList);
  ~TXLSRowInfoList();

  TXLSRowInfo* Find(std::int32_t r) const;
  TXLSRowInfo* GetOrCreate(std::int32_t r);
  // The first row from r up to limit that has an entry, or -1; empty pages of rows are skipped
  // whole and the rest of a page a word of 64 rows at a time.
  std::int32_t NextRow(std::int32_t r, std::int32_t limit = 65535) const;
  // xf 4095 means no style.
  void SetRowInfo(std::int32_t r, std::uint16_t height, bool customHeight, std::int32_t level,
                  bool hidden, bool hasStyle, std::int32_t xf, bool unsynced, bool collapsed = false);
  // Heights in points; setting clamps to 0..409.5.
  double GetRowHeight(std::int32_t r) const;
  void SetRowHeight(std::int32_t r, double points);
  void SetDefaultRowHeight(double points);
  // DEFAULTROWHEIGHT as a file gave it: its option word and the height in twips, written back
  // as they are.
  void SetDefaultRowAsRead(std::uint16_t options, std::uint16_t twips);
  double GetDefaultRowHeight() const;
  const TXLSRowInfo& DefaultRow() const { return default_; }
  std::int32_t GetRowXF(std::int32_t r) const;
  void SetRowXF(std::int32_t r, std::int32_t xf);
  bool IsHidden(std::int32_t r) const;
  void SetHidden(std::int32_t r, bool hidden);
  std::int32_t GetFirstVisibleRow() const;
  bool HasCustomHeight(std::int32_t r) const;
  std::int32_t GetOutlineLevel(std::int32_t r) const;
  void SetOutlineLevel(std::int32_t r, std::int32_t level);
  // The collapsed mark of the outline group beside the row (false without an entry).
  bool IsCollapsed(std::int32_t r) const;
  void CopyRowInfo(std::int32_t r, const TXLSRowInfo* source);
  // True when the entry says nothing the default row does not say (its used columns aside).
  bool IsDefaultRow(const TXLSRowInfo& entry) const;
  void DeleteRow(std::int32_t r);

  std::int32_t FirstRow() const { return first_; }
  std::int32_t LastRow() const { return last_; }
  std::int32_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  std::uint8_t MaxOutlineLevel() const { return maxLevel_; }
  void ResetMaxOutlineLevel() { maxLevel_ = 0; }

  std::unique_ptr<TXLSBlob> BuildDefaultRowHeight() const;
  std::unique_ptr<TXLSBlob> BuildRowRecord(std::int32_t r);
  // The ROW records of the rows from..to that have entries, appended to out.
  void WriteRows(TXLSBlobList& out, std::int32_t from, std::int32_t to);

 private:
  // 256 rows held in place, with a bit for each row that has an entry.
  struct Page {
    std::array<TXLSRowInfo, 256> rows{};
    std::array<std::uint64_t, 4> present{};
    bool Has(std::size_t i) const { return (present[i >> 6] >> (i & 63)) & 1; }
    void Mark(std::size_t i, bool on) {
      const std::uint64_t bit = std::uint64_t{1} << (i & 63);
      present[i >> 6] = on ? present[i >> 6] | bit : present[i >> 6] & ~bit;
    }
  };

  TXLSXFList* xfList_;
  std::array<std::unique_ptr<Page>, 256> pages_;
  TXLSRowInfo default_;
  std::uint16_t defaultOptions_ = 0;
  std::int32_t first_ = 0, last_ = 0, count_ = 0;
  std::uint8_t maxLevel_ = 0;
};

}  // namespace xls
