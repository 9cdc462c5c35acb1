#include "xls/model/cell_address.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "xls/model/xls_constants.h"

namespace xls {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// A decimal integer without sign; -1 when the text is none or too long to be a row.
int DecimalOrMinusOne(const std::string& s) {
  if (s.empty() || s.size() > 9) return -1;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

bool SplitRange(const std::string& text, std::string& a, std::string& b) {
  auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  a = Trim(text.substr(0, colon));
  b = Trim(text.substr(colon + 1));
  if (!a.empty() && a[0] == '$') a.erase(0, 1);
  if (!b.empty() && b[0] == '$') b.erase(0, 1);
  return true;
}

bool OrderedRange(int a, int b, int& first, int& last) {
  if (a == -1 || b == -1 || a > kMaxRow || b > kMaxRow) return false;
  first = a < b ? a : b;
  last = a < b ? b : a;
  return true;
}

std::string ColumnLetters(int c) {  // 0-based
  if (c < 26) return std::string(1, static_cast<char>('A' + c));
  return std::string{static_cast<char>(64 + c / 26), static_cast<char>('A' + c % 26)};
}

}  // namespace

std::string CellRefName(std::uint16_t row, std::uint8_t col) { return ColumnLetters(col) + std::to_string(row + 1); }

std::string AreaRefName(std::uint16_t firstRow, std::uint8_t firstCol, std::uint16_t lastRow, std::uint8_t lastCol) {
  return CellRefName(firstRow, firstCol) + ":" + CellRefName(lastRow, lastCol);
}

std::string ColumnName(int column1) {
  if (column1 < 1 || column1 > kMaxCol + 1) return {};
  return ColumnLetters(column1 - 1);
}

int ColumnNumber(const std::string& text) {
  int value = 0;
  for (char c : text) {
    if (!IsLetter(c)) continue;
    value = value * 26 + (Upper(c) - 64);
    if (value > kMaxCol + 1) return -1;  // past IV; also keeps long runs from overflowing
  }
  return value == 0 ? -1 : value;
}

int ParseCellRef(const std::string& text, std::uint16_t& row, std::uint8_t& col) {
  if (text.size() < 2) return -1;
  char first = Upper(text[0]);
  if (first < 'A' || first > 'Z') return -1;
  int column = first - 'A' + 1;
  std::size_t rowStart = 1;
  char second = Upper(text[1]);
  if (second >= 'A' && second <= 'Z') {
    column = column * 26 + (second - 'A' + 1);
    rowStart = 2;
  }
  int r = DecimalOrMinusOne(text.substr(rowStart));
  if (r < 1 || r > kMaxRow + 1 || column < 1 || column > kMaxCol + 1) return -1;
  row = static_cast<std::uint16_t>(r - 1);
  col = static_cast<std::uint8_t>(column - 1);
  return 1;
}

int ParseAreaRef(const std::string& text, std::uint16_t& firstRow, std::uint8_t& firstCol, std::uint16_t& lastRow,
                 std::uint8_t& lastCol) {
  auto colon = text.find(':');
  if (colon == std::string::npos) return -1;
  std::uint16_t r1, r2;
  std::uint8_t c1, c2;
  if (ParseCellRef(text.substr(0, colon), r1, c1) != 1 || ParseCellRef(text.substr(colon + 1), r2, c2) != 1) return -1;
  firstRow = r1;
  firstCol = c1;
  lastRow = r2;
  lastCol = c2;
  return 1;
}

std::string RowsToAbsRef(int first, int last) {
  if (first < 1 || last < 1) return {};
  std::string s(1, '$');
  s += std::to_string(first);
  s += ":$";
  s += std::to_string(last);
  return s;
}

std::string ColsToAbsRef(int first, int last) {
  if (first < 1 || last < 1) return {};
  std::string s(1, '$');
  s += ColumnName(first);
  s += ":$";
  s += ColumnName(last);
  return s;
}

bool ParseRowRange(const std::string& text, int& first, int& last) {
  std::string a, b;
  if (!SplitRange(text, a, b)) return false;
  return OrderedRange(DecimalOrMinusOne(a), DecimalOrMinusOne(b), first, last);
}

bool ParseColRange(const std::string& text, int& first, int& last) {
  std::string a, b;
  if (!SplitRange(text, a, b)) return false;
  return OrderedRange(ColumnNumber(a), ColumnNumber(b), first, last);
}

void SwapInts(int& a, int& b) {
  int t = a;
  a = b;
  b = t;
}

double SerialToDateTime(double value) { return (value >= 0 && value < 60) ? value + 1 : value; }
double DateTimeToSerial(double value) { return (value >= 1 && value < 61) ? value - 1 : value; }

int PointsToTwips(double points) {
  double whole = std::trunc(points);
  double quarters = std::nearbyint((points - whole) * 4);
  return static_cast<int>(std::nearbyint((whole + quarters / 4) * 20));
}

double TwipsToPoints(int twips) { return std::nearbyint(twips / 5.0) / 4; }

std::uint16_t CharsToColWidth(double characters) {
  double whole = std::trunc(characters);
  double fraction = characters - whole;
  if (whole != 0) {
    double w = whole * 256 + 182 + std::nearbyint(fraction * 256);
    return static_cast<std::uint16_t>(static_cast<std::int64_t>(w) & 0xFFFF);
  }
  return static_cast<std::uint16_t>(std::nearbyint(characters * 460.8));
}

double ColWidthToChars(int width) {
  double chars = width >= 438 ? (width - 182) / 256.0 : width / 460.8;
  return std::nearbyint(chars * 100) / 100;
}

bool EncodeRK(std::uint32_t& rk, double value) {
  if (!(std::fabs(value) < 2147483648.0)) return false;
  const double lo = -536870912.0, hi = 536870911.0;  // -2^29 .. 2^29 - 1
  if (value == std::floor(value) && value >= lo && value <= hi) {
    rk = (static_cast<std::uint32_t>(static_cast<std::int32_t>(value)) << 2) | 2;
    return true;
  }
  double hundred = std::nearbyint(value * 100);
  if (hundred >= lo && hundred <= hi && hundred / 100 == value) {
    rk = (static_cast<std::uint32_t>(static_cast<std::int32_t>(hundred)) << 2) | 3;
    return true;
  }
  auto highBits = [](double v, std::uint32_t& out) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    std::uint32_t high = static_cast<std::uint32_t>(bits >> 32) & 0xFFFFFFFCu;
    std::uint64_t back = static_cast<std::uint64_t>(high) << 32;
    double d;
    std::memcpy(&d, &back, 8);
    out = high;
    return d == v;
  };
  std::uint32_t high;
  if (highBits(value, high)) {
    rk = high;
    return true;
  }
  if (highBits(value * 100, high)) {
    rk = high | 1;
    return true;
  }
  return false;
}

double DecodeRK(std::uint32_t rk) {
  double v;
  if (rk & 2) {
    v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&v, &bits, 8);
  }
  return (rk & 1) ? v / 100 : v;
}

bool IsRKValue(double value) {
  std::uint32_t rk;
  return EncodeRK(rk, value);
}

std::u16string NormalizeLineBreaks(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      out.push_back(u'\r');
      ++i;
    } else if (text[i] == u'\n') {
      out.push_back(u'\r');
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string FloatToDotStr(double value) {
  // The picture "#.#": at most one decimal, no leading or trailing zero digits.
  double tenths = std::round(std::fabs(value) * 10);
  char buf[48];
  if (!(tenths < 9e17)) {  // beyond whole tenths in 64 bits (or not a number): no decimal
    int len = std::snprintf(buf, sizeof buf, "%.0f", value);
    return std::string(buf, static_cast<std::size_t>(len > 0 ? len : 0));
  }
  long long t = static_cast<long long>(tenths);
  long long whole = t / 10, decimal = t % 10;
  int n = 0;
  if (t != 0 && value < 0) buf[n++] = '-';
  if (whole != 0) n += std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), "%lld", whole);
  if (decimal != 0) n += std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), ".%lld", decimal);
  return std::string(buf, static_cast<std::size_t>(n));
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

constexpr int kLineDeleted = -1;

// Where row or column v goes when |delta| lines are inserted (delta > 0) or deleted (delta < 0)
// at start; kLineDeleted when v is one of the deleted lines.
int Shift(int v, int delta, int start) {
  if (v < start) return v;
  if (delta < 0 && v < start - delta) return kLineDeleted;
  return v + delta;
}

// An area's first corner inside the deleted lines moves to the first line after them (now at
// start), its last corner to the line before them: the area shrinks to what is left of it.
int ShiftFirst(int v, int delta, int start) {
  const int moved = Shift(v, delta, start);
  return moved == kLineDeleted ? start : moved;
}

int ShiftLast(int v, int delta, int start) {
  const int moved = Shift(v, delta, start);
  return moved == kLineDeleted ? start - 1 : moved;
}

}  // namespace

bool ShiftReference(int& r1, int& c1, int& r2, int& c2, bool area, const TXLSCellShift& s) {
  const int oFirstRow = r1, oFirstCol = c1, oLastRow = area ? r2 : r1, oLastCol = area ? c2 : c1;
  const bool wholeColumn = area && oFirstRow == 0 && oLastRow == kMaxRow;
  const bool wholeRow = area && oFirstCol == 0 && oLastCol == kMaxCol;
  // A cell in deleted rows or columns is gone; an area loses its deleted part and is gone when
  // nothing of it is left.
  bool gone = false;
  if (s.rowCount != 0 && !wholeColumn && s.row <= oFirstRow && s.column <= oFirstCol && s.lastColumn >= oLastCol) {
    r1 = area ? ShiftFirst(oFirstRow, s.rowCount, s.row) : Shift(oFirstRow, s.rowCount, s.row);
    gone = gone || r1 == kLineDeleted;
  }
  if (s.columnCount != 0 && !wholeRow && s.column <= oFirstCol && s.row <= oFirstRow && s.lastRow >= oLastRow) {
    c1 = area ? ShiftFirst(oFirstCol, s.columnCount, s.column) : Shift(oFirstCol, s.columnCount, s.column);
    gone = gone || c1 == kLineDeleted;
  }
  if (!area) {
    if (gone) return false;
    r2 = r1;
    c2 = c1;
  } else {
    if (s.rowCount != 0 && !wholeColumn && s.row <= oLastRow && s.column <= oFirstCol && s.lastColumn >= oLastCol)
      r2 = std::min(ShiftLast(oLastRow, s.rowCount, s.row), kMaxRow);
    if (s.columnCount != 0 && !wholeRow && s.column <= oLastCol && s.row <= oFirstRow && s.lastRow >= oLastRow)
      c2 = std::min(ShiftLast(oLastCol, s.columnCount, s.column), kMaxCol);
  }
  return r1 <= r2 && c1 <= c2 && r1 >= 0 && c1 >= 0 && r2 <= kMaxRow && c2 <= kMaxCol;
}

}  // namespace xls
