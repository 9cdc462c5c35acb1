// The cell rectangles of conditional formats and data validations, and how they are cut by
// deleted cells and moved by shifted ones. A band's sides may be -1 (unbounded on that side).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace xls {

class TXLSBlob;

// Rows and columns 0-based and inclusive; the constructor puts the smaller row and column first.
struct TCondRange {
  std::int32_t firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;
  TCondRange() = default;
  TCondRange(std::int32_t row1, std::int32_t column1, std::int32_t row2, std::int32_t column2);
  bool operator==(const TCondRange&) const = default;
};
using TDVRange = TCondRange;

struct TRuleBand {
  std::int32_t firstRow = -1, firstColumn = -1, lastRow = -1, lastColumn = -1;
};

// The union of the ranges; none for an empty list.
std::optional<TCondRange> RangeBounds(const std::vector<TCondRange>& ranges);
bool RangeOverlapsBand(const TCondRange& range, const TRuleBand& band);
// The pieces of the range outside the band (above, right, below, left, as far as they exist).
std::vector<TCondRange> CutBand(const TCondRange& range, const TRuleBand& band);
// A list after the band was deleted (move false) or shifted by the deltas (move true). Taken
// from the last range to the first: a range that overlaps the band gives its pieces (and, when
// moving, then its part inside the band moved, clipped to the sheet), any other stays as it is.
// Lines inserted inside a range or right after it, across all of its cells, make it grow instead
// (inserted cells take the format of the line before them).
// The whole list is left alone when its bounds do not overlap the band.
std::vector<TCondRange> CutRanges(const std::vector<TCondRange>& ranges, const TRuleBand& band, bool move,
                                  std::int32_t rowDelta, std::int32_t columnDelta);

// Ranges that lie edge to edge over the same rows or columns (the cells above a deleted band
// and those that moved up to meet them) joined into one, in the place of the first.
void JoinAdjacent(std::vector<TCondRange>& ranges);

// A range list as records keep it: count (u16), then per range first row, last row, first
// column, last column (u16 each). Reading stops at the end of the record (false then).
void WriteRangeList(TXLSBlob& out, const std::vector<TCondRange>& ranges);
bool ReadRangeList(const TXLSBlob& data, std::uint32_t& position, std::vector<TCondRange>& ranges);

// A list with its bounding rectangle kept up to date.
class TDVRangeList {
 public:
  const std::vector<TCondRange>& Ranges() const { return ranges_; }
  const std::optional<TCondRange>& Bounds() const { return bounds_; }
  std::size_t Count() const { return ranges_.size(); }
  void Add(const TCondRange& range);
  void Assign(std::vector<TCondRange> ranges);
  // The list may end up empty.
  void DeleteRect(const TRuleBand& band);
  void ShiftCells(const TRuleBand& band, std::int32_t rowDelta, std::int32_t columnDelta);

 private:
  std::vector<TCondRange> ranges_;
  std::optional<TCondRange> bounds_;
};

}  // namespace xls
