// Formula-heavy BIFF8 workbooks built record by record as the format's own program writes them:
// a globals substream with fonts, number formats, XFs, styles, sheets, an internal SUPBOOK with
// its EXTERNSHEET, a defined name, a large SST split over CONTINUE records and its EXTSST; then
// worksheets of row blocks (ROW records, cells, DBCELL, with an INDEX that finds them), whose
// formulas are filled-down runs of shared formulas (FORMULA with ptgExp, SHRFMLA after the
// run's first cell) and formulas of their own, with cached results (a STRING record after a
// text result), IF with its skip attributes, SUM as the sum attribute, references to another
// sheet and to another workbook, lookups, an add-in function, a name and texts; all in a
// compound file.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/compound_file.h"

namespace bench {

class ExcelBookWriter {
 public:
  using Bytes = std::vector<std::uint8_t>;

  // dataRows rows of formulas on each of two data sheets, beside a sheet of 200 rates, filled
  // down (shared formulas) or, without shared, each typed in (tokens of its own); the file is
  // written to path. False when it could not be written.
  static bool Write(const std::string& path, int dataRows, bool shared) {
    ExcelBookWriter w(dataRows, shared);
    return w.Build(path);
  }

 private:
  ExcelBookWriter(int dataRows, bool shared) : rows_(dataRows), shared_(shared) {}

  static void Word(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  static void DWord(Bytes& b, std::uint32_t v) {
    Word(b, v & 0xFFFF);
    Word(b, v >> 16);
  }
  static void Double(Bytes& b, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    DWord(b, static_cast<std::uint32_t>(bits));
    DWord(b, static_cast<std::uint32_t>(bits >> 32));
  }
  static void SetDWord(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  }
  // A string of 8-bit characters: a length of 1 or 2 bytes, option byte 0.
  static void Text(Bytes& b, const std::string& s, bool shortLength) {
    if (shortLength) b.push_back(static_cast<std::uint8_t>(s.size()));
    else Word(b, static_cast<std::uint32_t>(s.size()));
    b.push_back(0);
    b.insert(b.end(), s.begin(), s.end());
  }
  static void Record(Bytes& out, std::uint16_t id, const Bytes& body) {
    Word(out, id);
    Word(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
  }
  static Bytes Bof(std::uint16_t type) {
    Bytes b;
    Word(b, 0x0600);
    Word(b, type);
    Word(b, 0x2775);
    Word(b, 0x07CD);
    DWord(b, 0x000080C9);
    DWord(b, 0x00000206);
    return b;
  }

  // --- Formula tokens ---
  static void Ref(Bytes& t, std::uint8_t ptg, int row, int column, bool relRow, bool relColumn) {
    t.push_back(ptg);
    Word(t, static_cast<std::uint32_t>(row) & 0xFFFF);
    Word(t, (static_cast<std::uint32_t>(column) & 0xFF) | (relColumn ? 0x4000u : 0) | (relRow ? 0x8000u : 0));
  }
  // A cell of the same row in a shared formula (ptgRefN, value class), column offset dc.
  static void RefN(Bytes& t, int dc) { Ref(t, 0x4C, 0, dc, true, true); }
  static void Area3d(Bytes& t, std::uint8_t ptg, int xti, int r1, int r2, int c1, int c2) {
    t.push_back(ptg);
    Word(t, static_cast<std::uint32_t>(xti));
    Word(t, static_cast<std::uint32_t>(r1));
    Word(t, static_cast<std::uint32_t>(r2));
    Word(t, static_cast<std::uint32_t>(c1));
    Word(t, static_cast<std::uint32_t>(c2));
  }
  static void Int(Bytes& t, int v) {
    t.push_back(0x1E);
    Word(t, static_cast<std::uint32_t>(v));
  }
  static void Num(Bytes& t, double v) {
    t.push_back(0x1F);
    Double(t, v);
  }
  static void Str(Bytes& t, const std::string& s) {
    t.push_back(0x17);
    Text(t, s, true);
  }
  static void Func(Bytes& t, int number) {
    t.push_back(0x41);
    Word(t, static_cast<std::uint32_t>(number));
  }
  static void FuncVar(Bytes& t, int args, int number) {
    t.push_back(0x42);
    t.push_back(static_cast<std::uint8_t>(args));
    Word(t, static_cast<std::uint32_t>(number));
  }
  static void Attr(Bytes& t, std::uint8_t kind, int value) {
    t.push_back(0x19);
    t.push_back(kind);
    Word(t, static_cast<std::uint32_t>(value));
  }
  // IF(condition; yes; no) with the attributes that let a reader skip the branch not taken.
  static Bytes If(const Bytes& condition, const Bytes& yes, const Bytes& no) {
    Bytes t = condition;
    Attr(t, 0x02, static_cast<int>(yes.size()) + 4);
    t.insert(t.end(), yes.begin(), yes.end());
    Attr(t, 0x08, static_cast<int>(no.size()) + 4 + 4 - 1);
    t.insert(t.end(), no.begin(), no.end());
    Attr(t, 0x08, 3);
    FuncVar(t, 3, 1);
    return t;
  }

  // The formulas of columns E.. of a data sheet: shared tokens (ptgRefN, offsets from the cell)
  // and whether the result is a text.
  struct Column {
    Bytes tokens;
    bool text;
  };
  std::vector<Column> DataFormulas() const {
    const int last = 199;  // the rates' last row
    std::vector<Column> f;
    Bytes t;
    // E: =C*D
    RefN(t, -2), RefN(t, -1), t.push_back(0x05);
    f.push_back({t, false}), t.clear();
    // F: =ROUND(E*Rate;2)
    RefN(t, -1), t.push_back(0x43), Word(t, 1), Word(t, 0), t.push_back(0x05), Int(t, 2), Func(t, 27);
    f.push_back({t, false}), t.clear();
    // G: =IF(E>1000;"big";"small")
    {
      Bytes c, yes, no;
      RefN(c, -2), Int(c, 1000), c.push_back(0x0D);
      Str(yes, "big"), Str(no, "small");
      f.push_back({If(c, yes, no), true});
    }
    // H: =VLOOKUP(D;Rates!$A$1:$B$200;2;FALSE)
    RefN(t, -4), Area3d(t, 0x3B, 0, 0, last, 0, 1), Int(t, 2), t.insert(t.end(), {0x1D, 0x00}), FuncVar(t, 4, 102);
    f.push_back({t, false}), t.clear();
    // I: =SUM($E$2:E) as the sum attribute
    t.push_back(0x2D), Word(t, 1), Word(t, 0), Word(t, 4), Word(t, 0xC0FC), Attr(t, 0x10, 0);
    f.push_back({t, false}), t.clear();
    // J: =B&" - "&TEXT(C;"0.00")
    RefN(t, -8), Str(t, " - "), t.push_back(0x08), RefN(t, -7), Str(t, "0.00"), Func(t, 48), t.push_back(0x08);
    f.push_back({t, true}), t.clear();
    // K: =IF(AND(C>0;D<>0);C/D;0)
    {
      Bytes c, yes, no;
      RefN(c, -8), Int(c, 0), c.push_back(0x0D), RefN(c, -7), Int(c, 0), c.push_back(0x0E), FuncVar(c, 2, 36);
      RefN(yes, -8), RefN(yes, -7), yes.push_back(0x06);
      Int(no, 0);
      f.push_back({If(c, yes, no), false});
    }
    // L: =SUMIF(Rates!$A$1:$A$200;">"&D;Rates!$B$1:$B$200)
    Area3d(t, 0x3B, 0, 0, last, 0, 0), Str(t, ">"), RefN(t, -8), t.push_back(0x08), Area3d(t, 0x3B, 0, 0, last, 1, 1),
        FuncVar(t, 3, 345);
    f.push_back({t, false}), t.clear();
    // M: =INDEX(Rates!$C$1:$C$200;MATCH(D;Rates!$A$1:$A$200;0))
    Area3d(t, 0x3B, 0, 0, last, 2, 2), RefN(t, -9), Area3d(t, 0x3B, 0, 0, last, 0, 0), Int(t, 0), FuncVar(t, 3, 64),
        FuncVar(t, 2, 29);
    f.push_back({t, true}), t.clear();
    // N: =MAX(C;E)-MIN(C;E)+ABS(D)*1.5%
    RefN(t, -11), RefN(t, -9), FuncVar(t, 2, 7), RefN(t, -11), RefN(t, -9), FuncVar(t, 2, 6), t.push_back(0x04),
        RefN(t, -10), Func(t, 24), Num(t, 1.5), t.push_back(0x14), t.push_back(0x05), t.push_back(0x03);
    f.push_back({t, false}), t.clear();
    // O: =ISERROR(C/(D-5))
    RefN(t, -12), RefN(t, -11), Int(t, 5), t.push_back(0x04), t.push_back(0x15), t.push_back(0x06), Func(t, 3);
    f.push_back({t, false}), t.clear();
    return f;
  }
  static constexpr int kFirstFormulaColumn = 4;  // E

  // A formula of its own in column P (row r, 0-based): another sheet's cell and a far cell of
  // this sheet, written as a cell formula (ptgRef, ptgRef3d).
  Bytes OwnFormula(int r, int otherSheetXti) const {
    Bytes t{0x5A};
    Word(t, static_cast<std::uint32_t>(otherSheetXti)), Word(t, static_cast<std::uint32_t>(r)), Word(t, 0xC002);
    Ref(t, 0x44, 1 + (r * 37) % rows_, 4, true, true);
    t.push_back(0x03);
    return t;
  }

  // Two long formulas typed in every row r (0-based) after it, in columns Q and R: a guarded
  // lookup times a cell of another workbook, and an add-in function (EOMONTH, through the add-in
  // book's name) plus a conditional sum or an average.
  static Bytes LongFormula(int r, bool second) {
    Bytes t;
    if (!second) {
      Bytes lookup, zero;
      Ref(lookup, 0x44, r, 3, true, true), Area3d(lookup, 0x3B, 0, 0, 199, 0, 1), Int(lookup, 2),
          lookup.insert(lookup.end(), {0x1D, 0x00}), FuncVar(lookup, 4, 102);
      Bytes condition = lookup;
      Func(condition, 3);
      Int(zero, 0);
      t = If(condition, zero, lookup);
      t.push_back(0x5A), Word(t, kBudgetXti), Word(t, static_cast<std::uint32_t>(r)), Word(t, 0xC001), t.push_back(0x05);
      Ref(t, 0x44, r, 2, true, true), Num(t, 1.19), t.push_back(0x05), Int(t, 2), Func(t, 27), t.push_back(0x03);
      for (int c : {2, 4, 5, 7}) Ref(t, 0x44, r, c, true, true);
      FuncVar(t, 4, 6), t.push_back(0x04);
      return t;
    }
    t.push_back(0x39), Word(t, kAddInXti), Word(t, 1), Word(t, 0), Ref(t, 0x44, r, 2, true, true), Int(t, 1),
        FuncVar(t, 3, 255);
    Bytes condition, sum, average;
    Ref(condition, 0x44, r, 2, true, true), Int(condition, 100), condition.push_back(0x0D);
    Ref(condition, 0x44, r, 3, true, true), Int(condition, 300), condition.push_back(0x09);
    Ref(condition, 0x44, r, 4, true, true), Int(condition, 5), condition.push_back(0x0D);
    Ref(condition, 0x44, r, 5, true, true), Int(condition, 2), condition.push_back(0x09), FuncVar(condition, 2, 37);
    FuncVar(condition, 3, 36);
    Area3d(sum, 0x3B, 0, 0, 199, 0, 0), Str(sum, "<"), Ref(sum, 0x44, r, 3, true, true), sum.push_back(0x08),
        Area3d(sum, 0x3B, 0, 0, 199, 1, 1), FuncVar(sum, 3, 345);
    average.push_back(0x25), Word(average, static_cast<std::uint32_t>(r)), Word(average, static_cast<std::uint32_t>(r)),
        Word(average, 0xC004), Word(average, 0xC00D), FuncVar(average, 1, 5);
    const Bytes choice = If(condition, sum, average);
    t.insert(t.end(), choice.begin(), choice.end());
    t.push_back(0x03);
    return t;
  }
  // EXTERNSHEET entries: the three sheets, then another workbook's sheet and the add-in book.
  static constexpr int kBudgetXti = 3, kAddInXti = 4;

  // --- The string table ---
  int Shared(const std::string& s) {
    ++sstTotal_;
    sst_.push_back(s);
    return static_cast<int>(sst_.size()) - 1;
  }
  // SST over CONTINUE records (a text split between two records goes on after an option byte),
  // then EXTSST with the place of every eighth string.
  void WriteSst(Bytes& out) const {
    constexpr std::size_t kMax = 8224;
    Bytes body;
    DWord(body, static_cast<std::uint32_t>(sstTotal_));
    DWord(body, static_cast<std::uint32_t>(sst_.size()));
    std::uint16_t id = 0x00FC;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> buckets;
    auto flush = [&] {
      Record(out, id, body);
      body.clear();
      id = 0x003C;
    };
    for (std::size_t i = 0; i < sst_.size(); ++i) {
      const std::string& s = sst_[i];
      if (body.size() + 3 + 1 > kMax) flush();
      if (i % 8 == 0) buckets.push_back({static_cast<std::uint32_t>(out.size() + 4 + body.size()),
                                         static_cast<std::uint16_t>(body.size() + 4)});
      Word(body, static_cast<std::uint32_t>(s.size()));
      body.push_back(0);
      std::size_t done = 0;
      while (done < s.size()) {
        const std::size_t room = kMax - body.size();
        const std::size_t n = std::min(room, s.size() - done);
        body.insert(body.end(), s.begin() + static_cast<std::ptrdiff_t>(done), s.begin() + static_cast<std::ptrdiff_t>(done + n));
        done += n;
        if (done < s.size()) {
          flush();
          body.push_back(0);
        }
      }
    }
    flush();
    Bytes ext;
    Word(ext, 8);
    for (const auto& [position, offset] : buckets) DWord(ext, position), Word(ext, offset), Word(ext, 0);
    Record(out, 0x00FF, ext);
  }

  // --- The cells of a sheet, row block by row block ---
  struct Row {
    std::vector<Bytes> cells;  // whole records, in column order
    int firstColumn = 0, lastColumn = 0;
  };
  static Bytes CellHead(int r, int c, int xf) {
    Bytes b;
    Word(b, static_cast<std::uint32_t>(r));
    Word(b, static_cast<std::uint32_t>(c));
    Word(b, static_cast<std::uint32_t>(xf));
    return b;
  }
  static void AddRecord(Row& row, std::uint16_t id, const Bytes& body) {
    Bytes rec;
    Record(rec, id, body);
    row.cells.back().insert(row.cells.back().end(), rec.begin(), rec.end());
  }
  static void Rk(Row& row, int r, int c, int xf, int value) {
    row.cells.emplace_back();
    Bytes b = CellHead(r, c, xf);
    DWord(b, (static_cast<std::uint32_t>(value) << 2) | 2);
    AddRecord(row, 0x027E, b);
  }
  static void Number(Row& row, int r, int c, int xf, double value) {
    row.cells.emplace_back();
    Bytes b = CellHead(r, c, xf);
    Double(b, value);
    AddRecord(row, 0x0203, b);
  }
  static void LabelSst(Row& row, int r, int c, int xf, int index) {
    row.cells.emplace_back();
    Bytes b = CellHead(r, c, xf);
    DWord(b, static_cast<std::uint32_t>(index));
    AddRecord(row, 0x00FD, b);
  }
  // FORMULA with its cached result (a text goes to a STRING record after it, and after the
  // SHRFMLA that a run's first cell carries).
  static void FormulaCell(Row& row, int r, int c, int xf, const Bytes& tokens, bool shared, double number,
                          const std::string* text, const Bytes* shrfmla) {
    row.cells.emplace_back();
    Bytes b = CellHead(r, c, xf);
    if (text) {
      b.insert(b.end(), {0, 0, 0, 0, 0, 0, 0xFF, 0xFF});
    } else {
      Double(b, number);
    }
    Word(b, shared ? 0x0008 : 0x0000);
    DWord(b, 0);
    Word(b, static_cast<std::uint32_t>(tokens.size()));
    b.insert(b.end(), tokens.begin(), tokens.end());
    AddRecord(row, 0x0006, b);
    if (shrfmla) AddRecord(row, 0x04BC, *shrfmla);
    if (text) {
      Bytes s;
      Text(s, *text, false);
      AddRecord(row, 0x0207, s);
    }
  }

  // The sheet substream from its BOF to its EOF; its place in the stream is start.
  Bytes SheetStream(const std::vector<Row>& rows, std::size_t start, int firstSheet) const {
    Bytes out;
    Record(out, 0x0809, Bof(0x0010));
    const std::size_t blocks = (rows.size() + 31) / 32;
    const std::size_t index = out.size();
    {
      Bytes b;
      DWord(b, 0), DWord(b, 0), DWord(b, static_cast<std::uint32_t>(rows.size())), DWord(b, 0);
      for (std::size_t i = 0; i < blocks; ++i) DWord(b, 0);
      Record(out, 0x020B, b);
    }
    auto word = [](std::uint16_t id, std::uint32_t v, Bytes& o) {
      Bytes b;
      Word(b, v);
      Record(o, id, b);
    };
    word(0x000C, 100, out), word(0x000D, 1, out), word(0x000F, 1, out), word(0x0011, 0, out);
    {
      Bytes b;
      Double(b, 0.001);
      Record(out, 0x0010, b);
    }
    word(0x005F, 1, out), word(0x002A, 0, out), word(0x002B, 0, out);
    {
      Bytes b;
      Word(b, 0), Word(b, 255);
      Record(out, 0x0225, b);
    }
    word(0x0081, 0x04C1, out);
    const std::size_t defColWidth = out.size();
    SetDWord(out, index + 4 + 12, static_cast<std::uint32_t>(start + defColWidth));
    word(0x0055, 8, out);
    int lastColumn = 0;
    for (const Row& r : rows) lastColumn = std::max(lastColumn, r.lastColumn);
    {
      Bytes b;
      DWord(b, 0), DWord(b, static_cast<std::uint32_t>(rows.size())), Word(b, 0),
          Word(b, static_cast<std::uint32_t>(lastColumn + 1)), Word(b, 0);
      Record(out, 0x0200, b);
    }
    for (std::size_t block = 0; block < blocks; ++block) {
      const std::size_t first = block * 32, end = std::min(rows.size(), first + 32);
      const std::size_t firstRow = out.size();
      for (std::size_t r = first; r < end; ++r) {
        Bytes b;
        Word(b, static_cast<std::uint32_t>(r)), Word(b, static_cast<std::uint32_t>(rows[r].firstColumn)),
            Word(b, static_cast<std::uint32_t>(rows[r].lastColumn + 1)), Word(b, 255), Word(b, 0), Word(b, 0),
            Word(b, 0x0100), Word(b, 15);
        Record(out, 0x0208, b);
      }
      std::vector<std::size_t> cellStarts;
      for (std::size_t r = first; r < end; ++r) {
        cellStarts.push_back(out.size());
        for (const Bytes& cell : rows[r].cells) out.insert(out.end(), cell.begin(), cell.end());
      }
      Bytes db;
      DWord(db, static_cast<std::uint32_t>(out.size() - firstRow));
      std::size_t previous = firstRow + 20;
      for (std::size_t s : cellStarts) Word(db, static_cast<std::uint32_t>(s - previous)), previous = s;
      SetDWord(out, index + 4 + 16 + 4 * block, static_cast<std::uint32_t>(start + out.size()));
      Record(out, 0x00D7, db);
    }
    Bytes w2;
    Word(w2, firstSheet ? 0x06B6 : 0x02B6), Word(w2, 0), Word(w2, 0), DWord(w2, 64), Word(w2, 0), Word(w2, 0),
        DWord(w2, 0);
    Record(out, 0x023E, w2);
    Record(out, 0x000A, {});
    return out;
  }

  std::vector<Row> RatesRows() {
    std::vector<Row> rows(200);
    static const char* const kinds[] = {"standard", "reduced", "export", "special", "zero"};
    for (int r = 0; r < 200; ++r) {
      Row& row = rows[static_cast<std::size_t>(r)];
      row.lastColumn = 2;
      Rk(row, r, 0, 15, r * 3);
      Number(row, r, 1, 22, 1 + r * 0.0125);
      LabelSst(row, r, 2, 15, Shared(std::string("rate ") + kinds[r % 5] + " " + std::to_string(r)));
    }
    return rows;
  }

  // Row 0 holds the headings; rows 1.. the data, the formulas filled down in runs of 1 to 200
  // rows (a run of one row is a formula of its own, as the program writes it).
  std::vector<Row> DataRows(int sheet) {
    std::vector<Row> rows(static_cast<std::size_t>(rows_) + 1);
    const std::vector<Column> formulas = DataFormulas();
    const int columns = kFirstFormulaColumn + static_cast<int>(formulas.size()) + 3;
    static const char* const heads[] = {"Id",    "Item", "Amount", "Code",   "Total", "Rated", "Size", "Rate",   "Running",
                                        "Label", "Unit", "Above",  "Kind", "Spread", "Bad",   "Other", "Budget", "Due"};
    rows[0].lastColumn = columns - 1;
    for (int c = 0; c < columns; ++c) LabelSst(rows[0], 0, c, 15, Shared(heads[c]));
    std::uint32_t seed = 12345u + static_cast<std::uint32_t>(sheet);
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    std::vector<int> runLeft(formulas.size(), 0), runStart(formulas.size(), 0);
    for (int r = 1; r <= rows_; ++r) {
      Row& row = rows[static_cast<std::size_t>(r)];
      row.lastColumn = columns - 1;
      const double amount = (next() % 100000) / 100.0;
      const int code = static_cast<int>(next() % 200) * 3;
      Rk(row, r, 0, 15, r);
      LabelSst(row, r, 1, 15, Shared("item " + std::to_string(sheet) + "-" + std::to_string(r) + " of the " +
                                     (r % 3 ? "north" : "south") + " depot, lot " + std::to_string(next() % 9999)));
      Number(row, r, 2, 21, amount);
      Rk(row, r, 3, 15, code);
      for (std::size_t k = 0; k < formulas.size(); ++k) {
        const int c = kFirstFormulaColumn + static_cast<int>(k);
        const std::string text = formulas[k].text ? "result " + std::to_string(next() % 500) : std::string();
        const double value = amount * (k + 1);
        if (runLeft[k] == 0) {
          runLeft[k] = 1 + static_cast<int>(next() % 200);
          if (!shared_) runLeft[k] = 1;
          runLeft[k] = std::min(runLeft[k], rows_ - r + 1);
          runStart[k] = r;
          if (runLeft[k] == 1) {
            // A formula of its own: the offsets become references to the cell's own row.
            Bytes own = formulas[k].tokens;
            ToCellTokens(own, r, c);
            FormulaCell(row, r, c, 15, own, false, value, formulas[k].text ? &text : nullptr, nullptr);
            runLeft[k] = 0;
            continue;
          }
          Bytes sh;
          Word(sh, static_cast<std::uint32_t>(r)), Word(sh, static_cast<std::uint32_t>(r + runLeft[k] - 1));
          sh.push_back(static_cast<std::uint8_t>(c)), sh.push_back(static_cast<std::uint8_t>(c)), sh.push_back(0),
              sh.push_back(static_cast<std::uint8_t>(runLeft[k]));
          Word(sh, static_cast<std::uint32_t>(formulas[k].tokens.size()));
          sh.insert(sh.end(), formulas[k].tokens.begin(), formulas[k].tokens.end());
          FormulaCell(row, r, c, 15, Exp(r, c), true, value, formulas[k].text ? &text : nullptr, &sh);
        } else {
          FormulaCell(row, r, c, 15, Exp(runStart[k], c), true, value, formulas[k].text ? &text : nullptr, nullptr);
        }
        --runLeft[k];
      }
      const int own = columns - 3;
      FormulaCell(row, r, own, 15, OwnFormula(r, sheet == 1 ? 2 : 1), false, amount * 2, nullptr, nullptr);
      FormulaCell(row, r, own + 1, 15, LongFormula(r, false), false, amount * 3, nullptr, nullptr);
      FormulaCell(row, r, own + 2, 22, LongFormula(r, true), false, 40000 + r, nullptr, nullptr);
    }
    return rows;
  }
  static Bytes Exp(int r, int c) {
    Bytes t{0x01};
    Word(t, static_cast<std::uint32_t>(r));
    Word(t, static_cast<std::uint32_t>(c));
    return t;
  }
  // Shared tokens made a cell's own: ptgRefN and ptgAreaN become ptgRef and ptgArea of the cell's
  // row and column plus their offsets (only those this writer makes: rows relative to the cell).
  static void ToCellTokens(Bytes& t, int r, int c) {
    // The token at i becomes `ptg`, its row at rowAt the cell's and its column at columnAt moved.
    auto place = [&t, r, c](std::size_t& i, std::uint8_t ptg, std::size_t rowAt, std::size_t columnAt, std::size_t size) {
      t[i] = ptg;
      t[i + rowAt] = static_cast<std::uint8_t>(r), t[i + rowAt + 1] = static_cast<std::uint8_t>(r >> 8);
      t[i + columnAt] = static_cast<std::uint8_t>(c + static_cast<std::int8_t>(t[i + columnAt]));
      i += size;
    };
    for (std::size_t i = 0; i < t.size();) {
      switch (t[i]) {
        case 0x4C: place(i, 0x44, 1, 3, 5); break;
        case 0x2D: place(i, 0x25, 3, 7, 9); break;
        case 0x43: i += 5; break;
        case 0x41: case 0x1E: i += 3; break;
        case 0x42: case 0x19: i += 4; break;
        case 0x17: i += 3u + t[i + 1]; break;
        case 0x1D: i += 2; break;
        case 0x1F: i += 9; break;
        case 0x3B: i += 11; break;
        default: i += 1; break;
      }
    }
  }

  bool Build(const std::string& path) {
    const std::vector<Row> rates = RatesRows();
    const std::vector<Row> data1 = DataRows(1), data2 = DataRows(2);
    Bytes g;
    Record(g, 0x0809, Bof(0x0005));
    auto word = [&g](std::uint16_t id, std::uint32_t v) {
      Bytes b;
      Word(b, v);
      Record(g, id, b);
    };
    word(0x00E1, 0x04B0), word(0x0042, 1200), word(0x0022, 0), word(0x000E, 1), word(0x00DA, 0);
    {
      Bytes b;
      Word(b, 0x0168), Word(b, 0x001E), Word(b, 0x3A98), Word(b, 0x1D4C), Word(b, 0x0038), Word(b, 0), Word(b, 0),
          Word(b, 1), Word(b, 600);
      Record(g, 0x003D, b);
    }
    for (int i = 0; i < 5; ++i) {
      Bytes b;
      Word(b, 200), Word(b, 0), Word(b, 0x7FFF), Word(b, i == 1 ? 700 : 400), Word(b, 0), b.insert(b.end(), {0, 0, 0, 0});
      Text(b, "Arial", true);
      Record(g, 0x0031, b);
    }
    for (const auto& [number, code] : std::vector<std::pair<int, std::string>>{{164, "0.000"}, {165, "#,##0.00 \"EUR\""}}) {
      Bytes b;
      Word(b, static_cast<std::uint32_t>(number));
      Text(b, code, false);
      Record(g, 0x041E, b);
    }
    for (int i = 0; i < 23; ++i) {
      Bytes b;
      const bool style = i < 15;
      Word(b, i >= 1 && i <= 4 ? 1 : 0), Word(b, i == 21 ? 4 : i == 22 ? 164 : 0), Word(b, style ? 0xFFF5 : 0x0001),
          b.push_back(0x20), b.push_back(0), b.push_back(0), b.push_back(style && i ? 0xF4 : 0),
          DWord(b, 0), DWord(b, 0), Word(b, 0x20C0);
      Record(g, 0x00E0, b);
    }
    {
      Bytes b;
      Word(b, 0x8000), b.push_back(0), b.push_back(0xFF);
      Record(g, 0x0293, b);
    }
    const char* const names[] = {"Rates", "Data1", "Data2"};
    std::vector<std::size_t> boundSheets;
    for (const char* name : names) {
      Bytes b;
      DWord(b, 0), Word(b, 0);
      Text(b, name, true);
      boundSheets.push_back(g.size() + 4);
      Record(g, 0x0085, b);
    }
    {
      Bytes b;
      Word(b, 1), Word(b, 1);
      Record(g, 0x008C, b);
    }
    {
      Bytes b;
      Word(b, 3), b.push_back(0x01), b.push_back(0x04);
      Record(g, 0x01AE, b);
    }
    {
      // Another workbook with one sheet, then the add-in book with the name EOMONTH.
      Bytes b;
      Word(b, 1);
      Text(b, "\x01" "Budget.xls", false);
      Text(b, "Plan", false);
      Record(g, 0x01AE, b);
      b.clear();
      Word(b, 1), b.push_back(0x01), b.push_back(0x3A);
      Record(g, 0x01AE, b);
      b.clear();
      Word(b, 0), DWord(b, 0);
      Text(b, "EOMONTH", true);
      Word(b, 2), b.push_back(0x1C), b.push_back(0x17);
      Record(g, 0x0023, b);
    }
    {
      Bytes b;
      Word(b, 5);
      for (int s = 0; s < 3; ++s) Word(b, 0), Word(b, static_cast<std::uint32_t>(s)), Word(b, static_cast<std::uint32_t>(s));
      Word(b, 1), Word(b, 0), Word(b, 0);
      Word(b, 2), Word(b, 0xFFFE), Word(b, 0xFFFE);
      Record(g, 0x0017, b);
    }
    {
      // Rate = Rates!$B$1
      Bytes tokens;
      Ref(tokens, 0x3A, 0, 1, false, false);
      tokens.insert(tokens.begin() + 1, {0, 0});
      Bytes b;
      Word(b, 0), b.push_back(0), b.push_back(4), Word(b, static_cast<std::uint32_t>(tokens.size())), Word(b, 0),
          Word(b, 0), DWord(b, 0), b.push_back(0);
      b.insert(b.end(), {'R', 'a', 't', 'e'});
      b.insert(b.end(), tokens.begin(), tokens.end());
      Record(g, 0x0018, b);
    }
    WriteSst(g);
    Record(g, 0x000A, {});
    Bytes stream = g;
    const std::vector<const std::vector<Row>*> sheets = {&rates, &data1, &data2};
    for (std::size_t s = 0; s < sheets.size(); ++s) {
      SetDWord(stream, boundSheets[s], static_cast<std::uint32_t>(stream.size()));
      const Bytes sheet = SheetStream(*sheets[s], stream.size(), s == 0);
      stream.insert(stream.end(), sheet.begin(), sheet.end());
    }
    platform::CompoundFileWriter file;
    const int id = file.AddStream(platform::CompoundFileWriter::kRoot, u"Workbook");
    if (id < 0) return false;
    file.StreamData(id) = stream;
    return file.SaveToFile(path).ok;
  }

  int rows_;
  bool shared_;
  std::vector<std::string> sst_;
  int sstTotal_ = 0;
};

}  // namespace bench
