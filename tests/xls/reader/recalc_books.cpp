#include "recalc_books.h"

namespace xls::test {

Record Formula(std::uint32_t row, std::uint32_t column, const Bytes& result, std::uint16_t options, const Bytes& tokens) {
  Bytes b;
  for (std::uint32_t v : {row, column, 15u}) PutWord(b, v);
  b.insert(b.end(), result.begin(), result.end());
  for (std::uint32_t v : {std::uint32_t{options}, 0u, 0u, static_cast<std::uint32_t>(tokens.size())}) PutWord(b, v);
  b.insert(b.end(), tokens.begin(), tokens.end());
  return {0x0006, b};
}
Bytes Cached(double v) {
  Bytes b;
  PutDouble(b, v);
  return b;
}
const Bytes kEmptyResult = {3, 0, 0, 0, 0, 0, 0xFF, 0xFF};
const Record kRecalcId = {0x01C1, {0xC1, 0x01, 0, 0, 0x55, 0x3A, 0x02, 0}};

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

namespace {

// A reference to a cell of row 1 in the version's ptgRef (relative row and column).
Bytes Ref(bool biff8, std::uint8_t column) {
  return biff8 ? Bytes{0x24, 0, 0, column, 0xC0} : Bytes{0x24, 0, 0xC0, column};
}

Record NumberCell(std::uint32_t row, double value) {
  Bytes number;
  for (std::uint32_t v : {row, 0u, 15u}) PutWord(number, v);
  PutDouble(number, value);
  return {0x0203, number};
}

}  // namespace

std::map<int, Bytes> CalculatedTokens(bool biff8) {
  return {{1, Join({Ref(biff8, 0), {0x41, 0x0F, 0x01}})},
          {2, Join({Ref(biff8, 1), {0x1E, 1, 0, 0x03}})},
          {3, Join({Ref(biff8, 0), {0x1E, 1, 0, 0x0D, 0x19, 0x02, 7, 0, 0x1E, 10, 0, 0x19, 0x08, 10, 0, 0x1E, 20, 0,
                                    0x19, 0x08, 3, 0, 0x42, 3, 1, 0}})}};
}

Bytes A5Tokens(bool biff8) { return Join({Ref(biff8, 0), {0x1E, 2, 0, 0x05}}); }

Bytes CalculatedBook(std::uint16_t version) {
  const bool biff8 = version >= 0x0600;
  const std::map<int, Bytes> tokens = CalculatedTokens(biff8);
  const Bytes exp = {0x01, 2, 0, 1, 0};  // the shared formula's cells: ptgExp of B3
  const Bytes refN = biff8 ? Bytes{0x2C, 0, 0, 0xFF, 0xC0} : Bytes{0x2C, 0, 0xC0, 0xFF};  // the cell to the left
  const Bytes sharedTokens = Join({refN, {0x1E, 2, 0, 0x05}});
  Records cells = {{0x000D, {0, 0}}, {0x000C, {50, 0}}, {0x0011, {1, 0}}, {0x0010, Cached(0.01)}, {0x005F, {0, 0}},
                   NumberCell(0, 2),
                   Formula(0, 1, Cached(0.5), 0x0001, tokens.at(1)),
                   Formula(0, 2, Cached(1.5), 0x0020, tokens.at(2)),
                   Formula(0, 3, Cached(10), 0, tokens.at(3)),
                   NumberCell(2, 5),
                   Formula(2, 1, Cached(10), 0x0008, exp),
                   {0x04BC, Join({{2, 0, 2, 0, 1, 2, 0, 2, static_cast<std::uint8_t>(sharedTokens.size()), 0},
                                  sharedTokens})},
                   Formula(2, 2, Cached(20), 0x0008, exp),
                   Formula(4, 0, Cached(4), 0, A5Tokens(biff8))};
  Records globals = {{0x000E, {0, 0}}};
  if (biff8) globals.push_back(kRecalcId);
  return Workbook(version, {{"Data", cells}}, globals);
}

Bytes UncalculatedBook() {
  return Workbook(0x0600, {{"Data",
                            {NumberCell(0, 2),
                             Formula(0, 1, kEmptyResult, 0, Join({Ref(true, 0), {0x1E, 3, 0, 0x05}})),
                             Formula(0, 2, kEmptyResult, 0, Join({Ref(true, 1), {0x1E, 1, 0, 0x03}})),
                             Formula(0, 3, kEmptyResult, 0, Join({Ref(true, 0), {0x41, 0x0F, 0x01}}))}}});
}

}  // namespace xls::test
