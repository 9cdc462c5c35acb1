#include "xls/formula/rules/rule_ranges.h"

#include <algorithm>

#include "xls/model/blob.h"

namespace xls {
namespace {

constexpr std::int32_t kLastRow = 65535;
constexpr std::int32_t kLastColumn = 255;

// One axis of the overlap test: the range's a1..a2 against the band's b1..b2 (-1 unbounded).
bool AxisOverlaps(std::int32_t a1, std::int32_t a2, std::int32_t b1, std::int32_t b2) {
  if (b1 >= 0 && b2 >= 0) return !(b2 < a1 || b1 > a2);
  if (b1 < 0 && b2 < 0) return true;
  if (b1 < 0) return b2 >= a1;
  return b1 <= a2;
}

// Lines inserted inside a range or right after it (the band starts in it or on the line after
// it and spans all of its cells across): the range grows by them, as inserted cells take the
// format of the line before them.
bool Inserted(const TCondRange& r, const TRuleBand& band, std::int32_t rowDelta, std::int32_t columnDelta,
              TCondRange& out) {
  auto covers = [](std::int32_t b1, std::int32_t b2, std::int32_t a1, std::int32_t a2) {
    return (b1 < 0 || b1 <= a1) && (b2 < 0 || b2 >= a2);
  };
  if (rowDelta > 0 && columnDelta == 0 && band.firstRow > r.firstRow && band.firstRow <= r.lastRow + 1 &&
      covers(band.firstColumn, band.lastColumn, r.firstColumn, r.lastColumn)) {
    out = TCondRange(r.firstRow, r.firstColumn, std::min(r.lastRow + rowDelta, kLastRow), r.lastColumn);
    return true;
  }
  if (columnDelta > 0 && rowDelta == 0 && band.firstColumn > r.firstColumn && band.firstColumn <= r.lastColumn + 1 &&
      covers(band.firstRow, band.lastRow, r.firstRow, r.lastRow)) {
    out = TCondRange(r.firstRow, r.firstColumn, r.lastRow, std::min(r.lastColumn + columnDelta, kLastColumn));
    return true;
  }
  return false;
}

}  // namespace

TCondRange::TCondRange(std::int32_t row1, std::int32_t column1, std::int32_t row2, std::int32_t column2)
    : firstRow(std::min(row1, row2)),
      firstColumn(std::min(column1, column2)),
      lastRow(std::max(row1, row2)),
      lastColumn(std::max(column1, column2)) {}

std::optional<TCondRange> RangeBounds(const std::vector<TCondRange>& ranges) {
  if (ranges.empty()) return std::nullopt;
  TCondRange b = ranges.front();
  for (const TCondRange& r : ranges) {
    b.firstRow = std::min(b.firstRow, r.firstRow);
    b.firstColumn = std::min(b.firstColumn, r.firstColumn);
    b.lastRow = std::max(b.lastRow, r.lastRow);
    b.lastColumn = std::max(b.lastColumn, r.lastColumn);
  }
  return b;
}

bool RangeOverlapsBand(const TCondRange& r, const TRuleBand& band) {
  return AxisOverlaps(r.firstRow, r.lastRow, band.firstRow, band.lastRow) &&
         AxisOverlaps(r.firstColumn, r.lastColumn, band.firstColumn, band.lastColumn);
}

std::vector<TCondRange> CutBand(const TCondRange& range, const TRuleBand& band) {
  std::vector<TCondRange> pieces;
  if (!RangeOverlapsBand(range, band)) {
    pieces.push_back(range);
    return pieces;
  }
  std::int32_t r1 = range.firstRow, c1 = range.firstColumn, r2 = range.lastRow, c2 = range.lastColumn;
  if (band.firstRow >= 0 && r1 < band.firstRow) {
    pieces.emplace_back(r1, c1, band.firstRow - 1, c2);
    r1 = band.firstRow;
  }
  if (band.lastColumn >= 0 && r1 <= r2 && band.lastColumn < c2) {
    pieces.emplace_back(r1, band.lastColumn + 1, r2, c2);
    c2 = band.lastColumn;
  }
  if (band.lastRow >= 0 && band.lastRow < r2 && r1 <= r2 && c1 <= c2) {
    pieces.emplace_back(band.lastRow + 1, c1, r2, c2);
    r2 = band.lastRow;
  }
  if (band.firstColumn >= 0 && c1 < band.firstColumn && r1 <= r2 && c1 <= c2)
    pieces.emplace_back(r1, c1, r2, band.firstColumn - 1);
  return pieces;
}

std::vector<TCondRange> CutRanges(const std::vector<TCondRange>& ranges, const TRuleBand& band, bool move,
                                  std::int32_t rowDelta, std::int32_t columnDelta) {
  const std::optional<TCondRange> bounds = RangeBounds(ranges);
  TCondRange grown;
  const bool grows = move && std::any_of(ranges.begin(), ranges.end(), [&](const TCondRange& r) {
                       return Inserted(r, band, rowDelta, columnDelta, grown);
                     });
  if (!bounds || (!grows && !RangeOverlapsBand(*bounds, band))) return ranges;
  std::vector<TCondRange> out;
  for (auto it = ranges.rbegin(); it != ranges.rend(); ++it) {
    const TCondRange& r = *it;
    if (move && Inserted(r, band, rowDelta, columnDelta, grown)) {
      out.push_back(grown);
      continue;
    }
    if (!RangeOverlapsBand(r, band)) {
      out.push_back(r);
      continue;
    }
    for (const TCondRange& piece : CutBand(r, band)) out.push_back(piece);
    if (!move) continue;
    // The part inside the band, moved; it stays on the sheet or goes.
    std::int32_t r1 = std::max(r.firstRow, band.firstRow < 0 ? r.firstRow : band.firstRow) + rowDelta;
    std::int32_t r2 = std::min(r.lastRow, band.lastRow < 0 ? r.lastRow : band.lastRow) + rowDelta;
    std::int32_t c1 = std::max(r.firstColumn, band.firstColumn < 0 ? r.firstColumn : band.firstColumn) + columnDelta;
    std::int32_t c2 = std::min(r.lastColumn, band.lastColumn < 0 ? r.lastColumn : band.lastColumn) + columnDelta;
    if (r2 < 0 || c2 < 0 || r1 > kLastRow || c1 > kLastColumn) continue;
    r1 = std::max(r1, 0);
    c1 = std::max(c1, 0);
    r2 = std::min(r2, kLastRow);
    c2 = std::min(c2, kLastColumn);
    out.emplace_back(r1, c1, r2, c2);
  }
  return out;
}

void JoinAdjacent(std::vector<TCondRange>& ranges) {
  auto joined = [](const TCondRange& a, const TCondRange& b, TCondRange& out) {
    const bool rows = a.firstColumn == b.firstColumn && a.lastColumn == b.lastColumn &&
                      (a.lastRow + 1 == b.firstRow || b.lastRow + 1 == a.firstRow);
    const bool columns = a.firstRow == b.firstRow && a.lastRow == b.lastRow &&
                         (a.lastColumn + 1 == b.firstColumn || b.lastColumn + 1 == a.firstColumn);
    if (!rows && !columns) return false;
    out = TCondRange(std::min(a.firstRow, b.firstRow), std::min(a.firstColumn, b.firstColumn),
                     std::max(a.lastRow, b.lastRow), std::max(a.lastColumn, b.lastColumn));
    return true;
  };
  for (bool again = true; again;) {
    again = false;
    for (std::size_t i = 0; i < ranges.size() && !again; ++i) {
      for (std::size_t j = i + 1; j < ranges.size() && !again; ++j) {
        TCondRange both;
        if (!joined(ranges[i], ranges[j], both)) continue;
        ranges[i] = both;
        ranges.erase(ranges.begin() + static_cast<std::ptrdiff_t>(j));
        again = true;
      }
    }
  }
}

void WriteRangeList(TXLSBlob& out, const std::vector<TCondRange>& ranges) {
  out.AddWord(static_cast<std::uint32_t>(ranges.size()));
  for (const TCondRange& r : ranges) {
    out.AddWord(static_cast<std::uint32_t>(r.firstRow));
    out.AddWord(static_cast<std::uint32_t>(r.lastRow));
    out.AddWord(static_cast<std::uint32_t>(r.firstColumn));
    out.AddWord(static_cast<std::uint32_t>(r.lastColumn));
  }
}

bool ReadRangeList(const TXLSBlob& data, std::uint32_t& position, std::vector<TCondRange>& ranges) {
  if (position + 2 > data.GetSize()) return false;
  const std::uint32_t count = data.GetWord(position);
  position += 2;
  if (position + 8u * count > data.GetSize()) return false;
  for (std::uint32_t i = 0; i < count; ++i, position += 8)
    ranges.emplace_back(data.GetWord(position), data.GetWord(position + 4), data.GetWord(position + 2),
                        data.GetWord(position + 6));
  return true;
}

void TDVRangeList::Add(const TCondRange& range) {
  ranges_.push_back(range);
  bounds_ = RangeBounds(ranges_);
}

void TDVRangeList::Assign(std::vector<TCondRange> ranges) {
  ranges_ = std::move(ranges);
  bounds_ = RangeBounds(ranges_);
}

void TDVRangeList::DeleteRect(const TRuleBand& band) { Assign(CutRanges(ranges_, band, false, 0, 0)); }

void TDVRangeList::ShiftCells(const TRuleBand& band, std::int32_t rowDelta, std::int32_t columnDelta) {
  std::vector<TCondRange> moved = CutRanges(ranges_, band, true, rowDelta, columnDelta);
  JoinAdjacent(moved);
  Assign(std::move(moved));
}

}  // namespace xls
