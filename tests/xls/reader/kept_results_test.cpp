// What a file said, through our save: cached results until a cell changes (then calculated),
// the 1904 date system's results whatever the cell's format, BIFF5 calls through a defined name,
// command-equivalent function numbers, ARRAY records as read and the results of formulas under
// a merged area.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/byte_stream.h"
#include "platform/compound_file.h"
#include "reader_test_support.h"
#include "xls/formula/calc/calculator.h"
#include "xls/formula/calc/compiled_formula.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/blob.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Number(std::uint16_t row, std::uint16_t column, double v) {
  Bytes b;
  PutWord(b, row);
  PutWord(b, column);
  PutWord(b, 15);
  PutDouble(b, v);
  return b;
}

Bytes Formula(std::uint16_t row, std::uint16_t column, const Bytes& tokens, double cached) {
  Bytes b;
  PutWord(b, row);
  PutWord(b, column);
  PutWord(b, 15);
  PutDouble(b, cached);
  PutWord(b, 0);
  PutDWord(b, 0);
  PutWord(b, static_cast<std::uint32_t>(tokens.size()));
  b.insert(b.end(), tokens.begin(), tokens.end());
  return b;
}

// Globals (the NAME records given, one sheet "Data") and the sheet's records.
Bytes Book(std::uint16_t version, const std::vector<Bytes>& names, const std::function<void(BiffBuilder&)>& cells) {
  BiffBuilder b;
  b.Bof(0x0005, version);
  for (const Bytes& name : names) b.Record(0x0018, name);
  Bytes sheet;
  PutDWord(sheet, 0);
  PutWord(sheet, 0);
  if (version == 0x0600) {
    PutString8(sheet, "Data", true);
  } else {
    sheet.push_back(4);
    sheet.insert(sheet.end(), {'D', 'a', 't', 'a'});
  }
  b.Record(0x0085, sheet).Eof().Bof(0x0010, version);
  cells(b);
  b.Eof();
  return b.bytes;
}

IXLSWorkbook Open(const Bytes& bytes) {
  platform::MemoryStream stream(bytes);
  IXLSWorkbook book = TXLSWorkbook::Create();
  EXPECT_EQ(book->OpenStream(stream), 1);
  return book;
}

Bytes Saved(TXLSWorkbook& book, int format) {
  platform::MemoryStream saved;
  EXPECT_EQ(book.SaveToStreamFormat(saved, format), 1);
  return saved.Bytes();
}

// The records of a saved file's workbook stream with the given id, bodies only.
std::vector<Bytes> Records(const Bytes& file, std::uint16_t id) {
  platform::CompoundFileReader cf;
  std::vector<Bytes> out;
  if (!cf.Open(file)) return out;
  int entry = cf.Find(platform::CompoundFileReader::kRoot, u"Workbook");
  if (entry < 0) entry = cf.Find(platform::CompoundFileReader::kRoot, u"Book");
  Bytes stream;
  if (entry < 0 || !cf.ReadStream(entry, stream)) return out;
  for (std::size_t at = 0; at + 4 <= stream.size();) {
    const std::uint16_t rid = static_cast<std::uint16_t>(stream[at] | stream[at + 1] << 8);
    const std::size_t size = static_cast<std::size_t>(stream[at + 2] | stream[at + 3] << 8);
    if (rid == id) out.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                    stream.begin() + static_cast<std::ptrdiff_t>(at + 4 + size));
    at += 4 + size;
  }
  return out;
}

double Value(TXLSWorkbook& book, const char16_t* cell) {
  return book.GetWorksheets().GetItem(1)->GetRange(cell)->GetValue().NumberValue();
}

// A1 = 3, B1 = A1*2 and C1 = B1+1 cached as a workbook calculated by hand leaves them (7, 9).
Bytes StaleBook() {
  return Book(0x0600, {}, [](BiffBuilder& b) {
    b.Record(0x0203, Number(0, 0, 3));
    b.Record(0x0006, Formula(0, 1, {0x24, 0, 0, 0, 0, 0x1E, 2, 0, 0x05}, 7));
    b.Record(0x0006, Formula(0, 2, {0x24, 0, 0, 1, 0xC0, 0x1E, 1, 0, 0x03}, 9));
  });
}

TEST(KeptResults, FileResultsStandUntilACellChanges) {
  IXLSWorkbook read = Open(StaleBook());
  EXPECT_EQ(Value(*read, u"B1"), 7);
  EXPECT_EQ(Value(*read, u"C1"), 9);
  // A column's width is no value: the results stand.
  read->GetWorksheets().GetItem(1)->GetRange(u"B1")->SetColumnWidth(Variant(20.0));
  for (int format : {2, 1}) {
    IXLSWorkbook again = Open(Saved(*read, format));
    EXPECT_EQ(Value(*again, u"B1"), 7) << format;
    EXPECT_EQ(Value(*again, u"C1"), 9) << format;
  }
  // Every change a formula could see calculates the workbook again.
  const std::vector<std::pair<const char*, std::function<void(TXLSWorkbook&)>>> changes = {
      {"a value elsewhere", [](TXLSWorkbook& b) { b.GetWorksheets().GetItem(1)->GetRange(u"F9")->SetValue(Variant(1.0)); }},
      {"a row inserted", [](TXLSWorkbook& b) { b.GetWorksheets().GetItem(1)->GetRange(u"A5")->GetEntireRow()->Insert(); }},
      {"a column deleted", [](TXLSWorkbook& b) { b.GetWorksheets().GetItem(1)->GetRange(u"H1")->GetEntireColumn()->Delete(); }},
      {"the sheet renamed", [](TXLSWorkbook& b) { b.GetWorksheets().GetItem(1)->SetName(u"Other"); }},
      {"a sheet added", [](TXLSWorkbook& b) { b.GetWorksheets().Add(); }},
      {"a name defined", [](TXLSWorkbook& b) { b.GetNames()->Add(u"Ten", u"=10"); }},
      {"the date system", [](TXLSWorkbook& b) { b.SetDate1904(true); }},
  };
  for (const auto& [what, change] : changes) {
    IXLSWorkbook book = Open(StaleBook());
    change(*book);
    EXPECT_EQ(Value(*book, u"B1"), 6) << what;
    EXPECT_EQ(Value(*book, u"C1"), 7) << what;
    IXLSWorkbook again = Open(Saved(*book, 2));
    EXPECT_EQ(Value(*again, u"C1"), 7) << what;
  }
}

// A 1904 book: A1 2018-01-01 and A2 2017-12-25 in a date format. The file holds every result in
// its own system: B1 =A1 and D1 =A1-0 in General 41639 (the 1900 system's 43101 less 1462), E1
// =A1-A2 in a date format the 7 days, F1 =YEAR(A1) 2018; calculated by us or kept as read.
TEST(KeptResults, ResultsOfA1904BookInItsOwnDateSystem) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet& s = *book->GetWorksheets().Add();
  book->SetDate1904(true);
  s.GetRange(u"A1")->SetValue(Variant(43101.0));
  s.GetRange(u"A2")->SetValue(Variant(43094.0));
  for (const char16_t* cell : {u"A1", u"A2", u"E1", u"H1"}) s.GetRange(cell)->SetNumberFormat(u"yyyy-mm-dd");
  const std::vector<std::pair<const char16_t*, const char16_t*>> formulas = {
      {u"B1", u"=A1"}, {u"D1", u"=A1-0"}, {u"E1", u"=A1-A2"}, {u"F1", u"=YEAR(A1)"}, {u"G1", u"=MAX(A1;A2)+1"},
      {u"H1", u"=A1+7"}};
  for (const auto& [cell, formula] : formulas) s.GetRange(cell)->SetValue(Variant(formula));
  auto results = [](const Bytes& file) {
    std::vector<double> out;
    for (const Bytes& f : Records(file, 0x0006)) {
      double v = 0;
      std::memcpy(&v, f.data() + 6, 8);
      out.push_back(v);
    }
    return out;
  };
  const std::vector<double> expected = {41639, 41639, 7, 2018, 41640, 41646};
  const Bytes calculated = Saved(*book, 2);
  EXPECT_EQ(results(calculated), expected);
  IXLSWorkbook read = Open(calculated);
  EXPECT_EQ(Value(*read, u"B1"), 41639);  // General: as the file holds it
  EXPECT_EQ(Value(*read, u"H1"), 43108);  // a date: in the model's system
  EXPECT_EQ(results(Saved(*read, 2)), expected);
  EXPECT_EQ(results(Saved(*read, 1)), expected);
}

// A hidden NAME "Comment" (a macro function) called through ptgName and ptgFuncVar 255, as the
// format's program writes it in BIFF5, and a command-equivalent function (ptgFuncVar 0x80A3):
// both come back as the calls they were, with their results.
TEST(KeptResults, CallsByNameAndCommandFunctionsKeepTheirTokens) {
  Bytes name;
  PutWord(name, 0x000E);
  name.insert(name.end(), {0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  name.insert(name.end(), {'C', 'o', 'm', 'm', 'e', 'n', 't'});
  const Bytes call = {0x23, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x24, 0, 0xC0, 0, 0x42, 2, 0xFF, 0};
  const Bytes command = {0x42, 0, 0xA3, 0x80};
  const Bytes biff5 = Book(0x0500, {name}, [&](BiffBuilder& b) {
    b.Record(0x0203, Number(0, 0, 5));
    b.Record(0x0006, Formula(0, 1, call, 5));
    b.Record(0x0006, Formula(0, 2, command, 1));
  });
  IXLSWorkbook read = Open(biff5);
  IXLSWorksheet& s = *read->GetWorksheets().GetItem(1);
  EXPECT_EQ(s.GetRange(u"B1")->GetFormula().TextValue(), u"=Comment(A1)");
  for (int format : {1, 2}) {
    const Bytes file = Saved(*read, format);
    const std::vector<Bytes> formulas = Records(file, 0x0006);
    ASSERT_EQ(formulas.size(), 2u) << format;  // no text cells
    const Bytes second(formulas[1].begin() + 22, formulas[1].end());
    EXPECT_EQ(second, command) << format;
    IXLSWorkbook again = Open(file);
    EXPECT_EQ(again->GetWorksheets().GetItem(1)->GetRange(u"B1")->GetFormula().TextValue(), u"=Comment(A1)");
    EXPECT_EQ(Value(*again, u"B1"), 5) << format;
    EXPECT_EQ(Value(*again, u"C1"), 1) << format;
  }
  EXPECT_EQ(Records(Saved(*read, 1), 0x0006)[0].size(), 22 + call.size());
}

// B1 holds the array formula {=SUM(IF(FREQUENCY(A1:A3;A1:A3)>0;1;0))} as the format's program
// writes it: array-class areas, IF with its jumps, integers, option flags 0. Our saves write the
// ARRAY record's tokens as read. B3 and C3 lie under the merged area A3:C3 and keep their
// results (4 and 3).
TEST(KeptResults, ArrayRecordsAndMergedCellsAsRead) {
  const Bytes tokens = {0x65, 0, 0, 2, 0, 0, 0xC0, 0, 0xC0, 0x65, 0, 0, 2, 0, 0, 0xC0, 0, 0xC0, 0x61, 0xFC, 0,
                        0x1E, 0, 0, 0x0D, 0x19, 0x02, 7, 0, 0x1E, 1, 0, 0x19, 0x08, 10, 0, 0x1E, 0, 0, 0x19,
                        0x08, 3, 0, 0x62, 3, 1, 0, 0x42, 1, 4, 0};
  Bytes array;
  PutWord(array, 0);
  PutWord(array, 0);
  array.insert(array.end(), {1, 1});
  PutWord(array, 0);
  PutDWord(array, 0);
  PutWord(array, static_cast<std::uint32_t>(tokens.size()));
  array.insert(array.end(), tokens.begin(), tokens.end());
  const Bytes file = Book(0x0600, {}, [&](BiffBuilder& b) {
    for (std::uint16_t r = 0; r < 3; ++r) b.Record(0x0203, Number(r, 0, r + 1.0));
    b.Record(0x0006, Formula(0, 1, {0x01, 0, 0, 1, 0}, 3));
    b.Record(0x0221, array);
    b.Record(0x0006, Formula(2, 1, {0x1E, 1, 0, 0x1E, 3, 0, 0x03}, 4));
    b.Record(0x0006, Formula(2, 2, {0x1E, 1, 0, 0x1E, 2, 0, 0x03}, 3));
    Bytes merged;
    PutWord(merged, 1);
    PutWord(merged, 2);
    PutWord(merged, 2);
    PutWord(merged, 0);
    PutWord(merged, 2);
    b.Record(0x00E5, merged);
  });
  IXLSWorkbook read = Open(file);
  const Bytes saved = Saved(*read, 2);
  const std::vector<Bytes> arrays = Records(saved, 0x0221);
  ASSERT_EQ(arrays.size(), 1u);
  EXPECT_EQ(arrays[0], array);
  auto results = [](const Bytes& file) {
    std::vector<double> out;
    for (const Bytes& f : Records(file, 0x0006)) {
      double v = 0;
      std::memcpy(&v, f.data() + 6, 8);
      out.push_back(v);
    }
    return out;
  };
  EXPECT_EQ(results(saved), (std::vector<double>{3, 4, 3}));
  // A changed array formula is written from its tokens as we make them; the merged cells'
  // formulas are calculated.
  read->GetWorksheets().GetItem(1)->GetRange(u"A1")->GetEntireRow()->Insert();
  const Bytes changed = Saved(*read, 2);
  EXPECT_EQ(results(changed), (std::vector<double>{3, 4, 3}));
  const std::vector<Bytes> moved = Records(changed, 0x0221);
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_NE(Bytes(moved[0].begin() + 6, moved[0].end()), Bytes(array.begin() + 6, array.end()));
}

}  // namespace
}  // namespace xls::test
