// Helpers of the rule tests: record bodies from hex text and rule records built through the
// workbook's calculator.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/blob.h"

namespace xls {
class TXLSCalculator;
}

namespace xls::test {

// "01 0a ff" -> bytes.
std::vector<std::uint8_t> Hex(const std::string& text);
std::string HexOf(const std::vector<std::uint8_t>& bytes);
std::string HexOf(const TXLSBlob& blob, std::uint32_t from = 0);
// A record group: the body, then (when split) CONTINUE bodies.
std::unique_ptr<TXLSBlobList> Group(const std::vector<std::uint8_t>& body, int continues = 0);
// The tokens of formula text (value class 1, reference class 0) at cell (0, 0).
std::vector<std::uint8_t> Tokens(TXLSCalculator& calc, const std::u16string& text, int kind = 1);
// A CF body: condition type, operator, no formatting blocks but the 4-byte pattern, formulas.
std::vector<std::uint8_t> CFBody(TXLSCalculator& calc, int type, int op, const std::u16string& f1,
                                 const std::u16string& f2 = u"", std::uint32_t options = 0x203FFFFF);
// A CONDFMT body over the ranges {first row, last row, first column, last column}.
std::vector<std::uint8_t> CondFmtBody(int rules, const std::vector<std::vector<int>>& ranges);
// A DV body with the four texts (prompt title, error title, prompt text, error text), two
// formulas (tokens of the root class kind) and the ranges.
std::vector<std::uint8_t> DVBody(TXLSCalculator& calc, std::uint32_t options, const std::vector<std::u16string>& texts,
                                 const std::u16string& f1, const std::u16string& f2,
                                 const std::vector<std::vector<int>>& ranges, int kind);

}  // namespace xls::test

namespace xls::test {
// A rule record (CONDFMT, CF, DVAL, DV, FILTERMODE, AUTOFILTERINFO, AUTOFILTER) as text in
// which two records are equal when they say the same: formula tokens as formula text, DV and
// AUTOFILTER strings as text whichever width they were stored in, and the AUTOFILTER "simple
// equality" bits (which LibreOffice does not set) left out. Other records as hex.
std::string DescribeRuleRecord(TXLSCalculator& calc, std::uint16_t id, const std::vector<std::uint8_t>& body);
}  // namespace xls::test
