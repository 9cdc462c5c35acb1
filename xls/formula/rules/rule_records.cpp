#include "xls/formula/rules/rule_records.h"

#include "xls/formula/calc/calculator.h"

namespace xls {

std::unique_ptr<TXLSBlob> NewRuleRecord(std::uint16_t id, std::uint32_t dataLength) {
  auto b = std::make_unique<TXLSBlob>(4 + dataLength);
  b->AddWord(id);
  b->AddWord(dataLength);
  return b;
}

std::unique_ptr<TXLSBlob> RuleFormulaTokens(TXLSCalculator& calc, const TXLSCompiledFormula* f, int kind,
                                            std::int32_t sheetId) {
  if (!f) return nullptr;
  std::unique_ptr<TXLSBlob> bytes;
  if (calc.GetFormulaBytes(*f, bytes, kind, sheetId, 0, 0) != kCalcOk || !bytes || bytes->GetSize() < 2)
    return nullptr;
  const std::uint32_t size = bytes->GetWord(0);
  if (size == 0 || 2 + size > bytes->GetSize()) return nullptr;
  auto tokens = std::make_unique<TXLSBlob>(size);
  tokens->AddBlobRange(*bytes, 2, size);
  return tokens;
}

std::unique_ptr<TXLSCompiledFormula> CompileRuleFormula(TXLSCalculator& calc, const TXLSBlob& data,
                                                        std::uint32_t offset, std::uint32_t tokenSize) {
  if (tokenSize == 0 || offset + tokenSize > data.GetSize()) return nullptr;
  return calc.CompileBytes(data.GetData(), offset + tokenSize, offset, 0x0600, tokenSize);
}

}  // namespace xls
