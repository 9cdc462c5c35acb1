// Workbooks built record by record for the tests of what our saves say about their results:
// one as the format's program leaves it (calculation settings, FORMULA options, tokens with
// attributes), one as a program that does not calculate writes it.
#pragma once

#include <map>

#include "kept_books.h"

namespace xls::test {

using Record = std::pair<std::uint16_t, Bytes>;

// A FORMULA of the given result bytes (a double, or a typed result ending in FF FF), options
// and tokens.
Record Formula(std::uint32_t row, std::uint32_t column, const Bytes& result, std::uint16_t options, const Bytes& tokens);
// A double's bytes.
Bytes Cached(double v);
// The typed result "empty text".
extern const Bytes kEmptyResult;
// RECALCID naming the build 0x23A55.
extern const Record kRecalcId;
Bytes Join(std::initializer_list<Bytes> parts);

// The row-1 formulas of CalculatedBook by column, in the version's tokens:
// B1 =GAMMALN(A1), which our calculator does not compute: always calculated (option 1), cached 0.5.
// C1 =B1+1 with the 1 as a ptgInt, errors ignored (option 0x20), cached 1.5.
// D1 =IF(A1>1,10,20) with IF's jumps and skips, cached 10.
std::map<int, Bytes> CalculatedTokens(bool biff8);
// A5 =A1*2, cached 4.
Bytes A5Tokens(bool biff8);
// Sheet "Data": A1 = 2 and the formulas above, A3 = 5 and B3:C3 the shared formula =A3*2 (cached
// 10 and 20, the shared-formula option bit set), A5 as above; the sheet's calculation settings
// manual, 50 steps, iteration on, delta 0.01, no calculation before saving; PRECISION 0 (as
// displayed) and, in BIFF8, the RECALCID build 0x23A55.
Bytes CalculatedBook(std::uint16_t version);
// As a program that does not calculate writes it (BIFF8): A1 = 2, B1 =A1*3, C1 =B1+1,
// D1 =GAMMALN(A1), every result empty, options 0, no RECALCID.
Bytes UncalculatedBook();

}  // namespace xls::test
