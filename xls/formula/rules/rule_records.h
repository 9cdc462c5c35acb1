// What the rule objects share for their records: a record sink, a record buffer with its
// header, and a formula's tokens as the calculator writes them (without size word and without
// array constants, which rule formulas do not carry).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "xls/model/blob.h"

namespace xls {

class TXLSCalculator;
class TXLSCompiledFormula;

// Takes one record (header included); 1, or a failing status that stops the writer.
using TRuleRecordSink = std::function<int(std::unique_ptr<TXLSBlob>)>;

std::unique_ptr<TXLSBlob> NewRuleRecord(std::uint16_t id, std::uint32_t dataLength);
// The tokens of f with the root class kind (0 reference, 1 value) on the sheet at cell (0, 0);
// nullptr when there is no formula or the calculator gives no tokens.
std::unique_ptr<TXLSBlob> RuleFormulaTokens(TXLSCalculator& calc, const TXLSCompiledFormula* f, int kind,
                                            std::int32_t sheetId);
// Compiles tokenSize bytes of BIFF8 tokens at offset; nullptr when they do not fit or decode.
std::unique_ptr<TXLSCompiledFormula> CompileRuleFormula(TXLSCalculator& calc, const TXLSBlob& data,
                                                        std::uint32_t offset, std::uint32_t tokenSize);

}  // namespace xls
