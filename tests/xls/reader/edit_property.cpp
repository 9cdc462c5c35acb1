// The property of edits: EditBook edited by a seeded random sequence, and what the save holds.
#include "edit_property.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "xls/formula/names.h"
#include "xls/model/cell_store.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

std::string Where(const TrackedArea& a) {
  if (a.gone) return "#REF!";
  return std::to_string(a.sheet) + ":" + std::to_string(a.r1) + "," + std::to_string(a.c1) + ":" +
         std::to_string(a.r2) + "," + std::to_string(a.c2);
}

}  // namespace

void TrackedArea::Shift(int movedSheet, bool rows, int at, int count) {
  if (gone || sheet != movedSheet) return;
  int& lo = rows ? r1 : c1;
  int& hi = rows ? r2 : c2;
  const int last = rows ? 65535 : 255;
  if (lo == 0 && hi == last) return;  // whole columns (rows) do not move with rows (columns)
  if (count > 0) {
    if (lo >= at) lo += count;
    if (hi >= at) hi = std::min(hi + count, last);
    gone = lo > last;
    return;
  }
  const int end = at - count;  // the first line after the deleted ones
  lo = lo < at ? lo : (lo >= end ? lo + count : at);
  hi = hi < at ? hi : (hi >= end ? hi + count : at - 1);
  gone = lo > hi;
}

std::map<std::string, std::string> SavedNames(const Bytes& file) {
  std::vector<int> externSheets;  // EXTERNSHEET entry -> 1-based sheet
  std::map<std::string, std::string> out;
  for (const auto& [id, body] : RecordsOf(file, {0x0017, 0x0018})) {
    if (id == 0x0017) {
      for (std::size_t at = 2; at + 6 <= body.size(); at += 6)
        externSheets.push_back((body[at + 2] | body[at + 3] << 8) + 1);
      continue;
    }
    const int flags = body[0] | body[1] << 8, length = body[3], itab = body[8] | body[9] << 8;
    const int wide = body[14] & 1 ? 2 : 1;
    std::string name;
    for (int i = 0; i < length; ++i) name.push_back(static_cast<char>(body[15 + static_cast<std::size_t>(i * wide)]));
    if (flags & 0x20) name = "builtin" + std::to_string(static_cast<int>(name[0])) + "@" + std::to_string(itab);
    const std::uint8_t* t = body.data() + 15 + length * wide;
    const int ptg = (t[0] & 0x1F) | 0x20, entry = t[1] | t[2] << 8;
    auto word = [&](int at) { return t[at] | t[at + 1] << 8; };
    TrackedArea a;
    a.sheet = entry < static_cast<int>(externSheets.size()) ? externSheets[static_cast<std::size_t>(entry)] : -1;
    if (ptg == 0x3A) a.r1 = a.r2 = word(3), a.c1 = a.c2 = word(5) & 0xFF;
    else if (ptg == 0x3B) a.r1 = word(3), a.r2 = word(5), a.c1 = word(7) & 0xFF, a.c2 = word(9) & 0xFF;
    else a.gone = true;  // ptgRefErr3d, ptgAreaErr3d
    out[name] = Where(a);
  }
  return out;
}

std::map<CellKey, CachedResult> SavedResults(const Bytes& file) {
  std::map<CellKey, CachedResult> out;
  int sheet = -1;  // the globals' BOF first
  for (const auto& [id, body] : RecordsOf(file, {0x0809, 0x0006})) {
    if (id == 0x0809) {
      ++sheet;
      continue;
    }
    CachedResult& c = out[{sheet, body[0] | body[1] << 8, body[2] | body[3] << 8}];
    if (body[12] == 0xFF && body[13] == 0xFF) c.type = body[6], c.code = body[8];
    else std::memcpy(&c.number, body.data() + 6, 8);
    c.options = body[14] | body[15] << 8;
  }
  return out;
}

std::vector<std::string> ResultsDifferingFromFreshCalculation(const Bytes& file) {
  IXLSWorkbook book = Open(file);
  book->BumpRecalcStamp();  // calculate rather than take the file's results
  const std::map<CellKey, CachedResult> cached = SavedResults(file);
  const Records recalcId = RecordsOf(file, {0x01C1});
  std::vector<std::string> wrong;
  for (std::int32_t s = 1; s <= book->GetWorksheets().GetCount(); ++s) {
    IXLSWorksheet& sheet = *book->GetWorksheets().GetItem(s);
    sheet.Cells().ForEach([&](TXLSCellRef& cell) {
      if (!cell.Formula()) return;
      Variant v;
      const std::int32_t status = cell.Formula()->Calculate(sheet, cell.Row(), cell.Column(), v);
      const std::string where =
          std::to_string(s) + "!" + std::to_string(cell.Row()) + "," + std::to_string(cell.Column());
      const auto found = cached.find({s, cell.Row(), cell.Column()});
      if (found == cached.end()) return wrong.push_back(where + " has no FORMULA record");
      const CachedResult& c = found->second;
      if (status < 0) {
        // Not calculated here: its result may be stale after the edits, so the save asks for it.
        const bool asked = (c.options & 0x0002) && (recalcId.empty() || recalcId[0].second.size() < 8 ||
                                                    (recalcId[0].second[4] | recalcId[0].second[5] << 8 |
                                                     recalcId[0].second[6] << 16 | recalcId[0].second[7] << 24) == 0);
        if (!asked) wrong.push_back(where + " is not calculated here and not flagged for a calculation");
        return;
      }
      bool same = c.type == 0 || c.type == 3;  // a text (its STRING record) or empty
      if (status != 1) same = c.type == 2 && c.code == status;
      else if (v.IsNumber())
        same = c.type < 0 && std::fabs(c.number - v.NumberValue()) <= 1e-9 * std::max(1.0, std::fabs(c.number));
      else if (v.IsBoolean()) same = c.type == 1 && c.code == (v.BooleanValue() ? 1 : 0);
      if (!same)
        wrong.push_back(where + " saved " + std::to_string(c.number) + " type " + std::to_string(c.type) + " code " +
                        std::to_string(c.code) + ", calculated status " + std::to_string(status) + " " +
                        (v.IsNumber() ? std::to_string(v.NumberValue()) : ""));
    });
  }
  return wrong;
}

std::map<std::string, std::string> ExpectedNames(const EditRun& run) {
  std::map<std::string, std::string> out;
  for (const auto& [name, area] : run.expected) out[name] = Where(area);
  return out;
}

EditRun RunEdits(std::uint32_t seed, int steps) {
  static const char* const kEdits[] = {"set",           "formula",    "insert rows",         "delete rows",
                                       "insert column", "delete column", "insert row of Other", "add sheet",
                                       "rename sheet",  "name"};
  std::mt19937 random(seed);
  EditRun run;
  auto pick = [&](int lo, int hi) {  // logged after the edit it is for
    const int v = std::uniform_int_distribution<int>(lo, hi)(random);
    run.log += " " + std::to_string(v);
    return v;
  };
  run.date1904 = seed % 2 == 1;
  IXLSWorkbook book = Open(EditBook(run.date1904));
  run.expected = {{"Rate", {1, 1, 0, 1, 0}},          {"Block", {1, 2, 0, 3, 1}},
                  {"Far", {2, 0, 0, 0, 0}},           {"builtin6@1", {1, 0, 0, 7, 2}},
                  {"builtin7@1", {1, 0, 0, 0, 255}},  {"builtin13@1", {1, 0, 0, 5, 2}}};
  IXLSWorkSheets& sheets = book->GetWorksheets();
  auto shift = [&](int sheetIndex, bool rows, int at, int count) {
    IXLSWorksheet& s = *sheets.GetItem(sheetIndex);
    const int last = at + std::abs(count);
    IXLSRange r = rows ? s.GetRangeRC(at + 1, 1, last, 256) : s.GetRangeRC(1, at + 1, 65536, last);
    if (count > 0) r->Insert();
    else r->Delete();
    // A filter is no more once its header row is deleted.
    TrackedArea& filter = run.expected["builtin13@1"];
    if (rows && count < 0 && sheetIndex == filter.sheet && filter.r1 >= at && filter.r1 < at - count) filter.gone = true;
    for (auto& [name, area] : run.expected) area.Shift(sheetIndex, rows, at, count);
  };
  for (int step = 0; step < steps; ++step) {
    const int what = std::uniform_int_distribution<int>(1, 10)(random);
    run.log += std::string(run.log.empty() ? "" : "; ") + kEdits[what - 1];
    int r = 0, c = 0, at = 0;
    switch (what) {
      case 1: case 2:  // a number in A1:C10, or a formula in H1:J10
        r = pick(1, 10), c = what == 1 ? pick(1, 3) : pick(8, 10);
        sheets.GetItem(1)->GetRangeRC(r, c, r, c)->SetValue(
            what == 1 ? Variant(static_cast<double>(pick(-5, 70))) : Variant(std::u16string(u"=SUM(A1:C3)+Rate+B2*1")));
        break;
      case 3: case 4:
        at = pick(0, 8);
        shift(1, true, at, pick(1, 2) * (what == 3 ? 1 : -1));
        break;
      case 5: case 6: shift(1, false, pick(0, 4), what == 5 ? 1 : -1); break;
      case 7: shift(2, true, pick(0, 1), 1); break;
      case 8: if (sheets.GetCount() < 4) sheets.Add(); break;
      case 9:
        sheets.GetItem(pick(1, 2))->SetName(u"Renamed" + std::u16string(1, static_cast<char16_t>(u'0' + step)));
        break;
      case 10: {
        const std::string name = "Made" + std::to_string(step);
        r = pick(0, 6), c = pick(0, 2);
        std::u16string where = u"='" + sheets.GetItem(1)->GetName() + u"'!$A$1";
        where[where.size() - 3] = static_cast<char16_t>(u'A' + c);
        where.back() = static_cast<char16_t>(u'1' + r);
        EXPECT_TRUE(book->GetNames()->Add(std::u16string(name.begin(), name.end()), where)) << name;
        run.expected[name] = {1, r, c, r, c};
        break;
      }
    }
  }
  // Names whose cells are gone stay, as #REF!; a print area, titles or filter database whose
  // cells are gone is no more.
  std::erase_if(run.expected, [](const auto& e) { return e.second.gone && e.first.rfind("builtin", 0) == 0; });
  run.saved = Saved(*book, 2);
  run.saved5 = Saved(*book, 1);
  return run;
}

}  // namespace xls::test
