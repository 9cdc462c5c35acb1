#include "xls/io/builtin_names.h"

#include <algorithm>

#include "xls/formula/rules/sheet_rules.h"
#include "xls/io/biff_writer.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"
#include "xls/model/xls_constants.h"

namespace xls {
namespace {

constexpr std::uint16_t kRecName = 0x0018;
constexpr std::uint8_t kPrintArea = 6;
constexpr std::uint8_t kPrintTitles = 7;
constexpr std::uint8_t kFilterDatabase = 13;
constexpr std::uint8_t kPtgArea3d = 0x3B;
constexpr std::uint8_t kPtgMemFunc = 0x29;
constexpr std::uint8_t kPtgUnion = 0x10;

struct Area {
  std::uint32_t firstRow, lastRow, firstColumn, lastColumn;
};

struct NameContext {
  int version;
  int sheet;        // 1-based position
  int externEntry;  // BIFF8: 0-based EXTERNSHEET entry
};

bool HasPrintArea(const TXLSPageSetup& page) { return page.PrintAreaFirstRow() >= 0; }
bool HasTitleRows(const TXLSPageSetup& page) { return page.TitleFirstRow() >= 1; }
bool HasTitleColumns(const TXLSPageSetup& page) { return page.TitleFirstColumn() >= 1; }
bool FilterArea(IXLSWorksheet& sheet, Area& area) {
  std::int32_t r1, c1, r2, c2;
  if (!SheetFilterDatabase(sheet, r1, c1, r2, c2)) return false;
  area = Area{static_cast<std::uint32_t>(r1), static_cast<std::uint32_t>(r2), static_cast<std::uint32_t>(c1),
              static_cast<std::uint32_t>(c2)};
  return true;
}

std::uint32_t AreaSize(int version) { return version == kBiff5 ? 21 : 11; }

void AddArea(TXLSBlob& b, const NameContext& n, const Area& a, bool titles) {
  b.AddByte(kPtgArea3d);
  if (n.version == kBiff5) {
    b.AddWord(static_cast<std::uint32_t>(-n.sheet) & 0xFFFF);
    b.AddWord(0);
    b.AddWord(0);
    b.AddWord(0x1087);
    b.AddWord(titles ? 0x8008 : 0x8005);
    b.AddWord(static_cast<std::uint32_t>(n.sheet - 1));
    b.AddWord(static_cast<std::uint32_t>(n.sheet - 1));
    b.AddWord(a.firstRow);
    b.AddWord(a.lastRow);
    b.AddByte(a.firstColumn);
    b.AddByte(a.lastColumn);
    return;
  }
  b.AddWord(static_cast<std::uint32_t>(n.externEntry));
  b.AddWord(a.firstRow);
  b.AddWord(a.lastRow);
  b.AddWord(a.firstColumn);
  b.AddWord(a.lastColumn);
}

// A built-in NAME whose formula is one area, or (with second) the union of two.
std::unique_ptr<TXLSBlob> BuildName(const NameContext& n, std::uint8_t code, const Area& area,
                                    const Area* second) {
  // The filter database is hidden.
  const std::uint32_t options = code == kFilterDatabase ? 0x0021 : 0x0020;
  const bool biff5 = n.version == kBiff5;
  const std::uint32_t formula =
      second ? 1 + 2 + 2 * AreaSize(n.version) + 1 : AreaSize(n.version);
  const std::uint32_t length = 2 + 1 + 1 + 2 + 2 + 2 + 4 + (biff5 ? 1 : 2) + formula;
  auto b = NewBiffRecord(kRecName, length);
  b->AddWord(options);
  b->AddByte(0);
  b->AddByte(1);
  b->AddWord(formula);
  b->AddWord(biff5 || second ? static_cast<std::uint32_t>(n.sheet) : 0u);
  b->AddWord(static_cast<std::uint32_t>(n.sheet));
  b->AddDWord(0);
  if (!biff5) b->AddByte(0);
  b->AddByte(code);
  if (!second) {
    AddArea(*b, n, area, false);
    return b;
  }
  b->AddByte(kPtgMemFunc);
  b->AddWord(formula - 3);
  AddArea(*b, n, area, true);
  AddArea(*b, n, *second, true);
  b->AddByte(kPtgUnion);
  return b;
}

}  // namespace

bool SheetHasBuiltInName(IXLSWorksheet& sheet, int code) {
  const TXLSPageSetup& page = *sheet.GetPageSetup();
  Area filter{};
  switch (code) {
    case kPrintArea: return HasPrintArea(page);
    case kPrintTitles: return HasTitleRows(page) || HasTitleColumns(page);
    case kFilterDatabase: return FilterArea(sheet, filter);
    default: return false;
  }
}

std::vector<int> SheetsWithBuiltInNames(TXLSWorkbook& book) {
  std::vector<int> out;
  IXLSWorkSheets& sheets = book.GetWorksheets();
  for (std::int32_t i = 1; i <= sheets.GetCount(); ++i) {
    const TXLSPageSetup& page = *sheets.GetItem(i)->GetPageSetup();
    Area filter{};
    if (HasPrintArea(page) || HasTitleRows(page) || HasTitleColumns(page) || FilterArea(*sheets.GetItem(i), filter))
      out.push_back(i);
  }
  return out;
}

int WriteBuiltInNames(TXLSBlobList& out, TXLSWorkbook& book, int version,
                      const std::map<int, int>& externIndex, std::uint16_t limit) {
  IXLSWorkSheets& sheets = book.GetWorksheets();
  std::vector<int> order;
  for (std::int32_t i = 1; i <= sheets.GetCount(); ++i) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&sheets](int a, int b) {
    return sheets.GetItem(a)->GetName() < sheets.GetItem(b)->GetName();
  });
  auto context = [&](int sheet) {
    auto found = externIndex.find(sheet);
    return NameContext{version, sheet, found == externIndex.end() ? 0 : found->second};
  };
  const std::uint32_t lastRow = version == kBiff5 ? 16383 : 65535;
  int result = 1;
  for (int sheet : order) {
    const TXLSPageSetup& page = *sheets.GetItem(sheet)->GetPageSetup();
    if (!HasPrintArea(page) || result != 1) continue;
    const Area area{static_cast<std::uint32_t>(page.PrintAreaFirstRow()), static_cast<std::uint32_t>(page.PrintAreaLastRow()),
                    static_cast<std::uint32_t>(page.PrintAreaFirstColumn()),
                    static_cast<std::uint32_t>(page.PrintAreaLastColumn())};
    result = AddBiffRecord(out, BuildName(context(sheet), kPrintArea, area, nullptr), limit);
  }
  for (int sheet : order) {
    const TXLSPageSetup& page = *sheets.GetItem(sheet)->GetPageSetup();
    const bool rows = HasTitleRows(page), columns = HasTitleColumns(page);
    if ((!rows && !columns) || result != 1) continue;
    const Area titleRows{static_cast<std::uint32_t>(page.TitleFirstRow() - 1),
                         static_cast<std::uint32_t>(page.TitleLastRow() - 1), 0, kMaxCol};
    const Area titleColumns{0, lastRow, static_cast<std::uint32_t>(page.TitleFirstColumn() - 1),
                            static_cast<std::uint32_t>(page.TitleLastColumn() - 1)};
    if (rows && columns)
      result = AddBiffRecord(out, BuildName(context(sheet), kPrintTitles, titleColumns, &titleRows), limit);
    else
      result = AddBiffRecord(out, BuildName(context(sheet), kPrintTitles, rows ? titleRows : titleColumns, nullptr),
                             limit);
  }
  for (int sheet : order) {
    Area area{};
    if (result != 1 || !FilterArea(*sheets.GetItem(sheet), area)) continue;
    // BIFF5 rows end at 16383.
    if (version == kBiff5) area.lastRow = std::min(area.lastRow, lastRow);
    result = AddBiffRecord(out, BuildName(context(sheet), kFilterDatabase, area, nullptr), limit);
  }
  return result;
}

}  // namespace xls
