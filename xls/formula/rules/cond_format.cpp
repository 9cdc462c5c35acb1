#include "xls/formula/rules/cond_format.h"

#include "xls/formula/calc/calculator.h"
#include "xls/formula/formula.h"

namespace xls {
namespace {

constexpr std::uint32_t kCondFmtFixed = 14;
constexpr std::uint32_t kCFFixed = 12;

// The sizes of the formatting blocks announced by options bits 26 to 30.
std::uint32_t AnnouncedBlocks(std::uint32_t options) {
  static constexpr std::uint32_t sizes[5] = {118, 8, 8, 4, 2};
  std::uint32_t total = 0;
  for (int i = 0; i < 5; ++i)
    if (options & (1u << (26 + i))) total += sizes[i];
  return total;
}

}  // namespace

TCondFormatRule::TCondFormatRule() = default;
TCondFormatRule::~TCondFormatRule() = default;

const TCondFormat* TCondFormatter::Item(std::int32_t i) const {
  return i >= 0 && i < Count() ? formats_[static_cast<std::size_t>(i)].get() : nullptr;
}

int TCondFormatter::ReadRecord(std::uint16_t id, const TXLSBlobList& group) {
  const TXLSBlob* data = group.GetChunk(0);
  if (!data) return -1;
  if (id == kRecCondFmt) {
    if (group.Count() > 1) {
      // Too many ranges for one record: the format is kept empty, and so never written.
      formats_.push_back(std::make_unique<TCondFormat>());
      current_ = formats_.back().get();
      return 1;
    }
    return ReadCondFmt(*data);
  }
  if (id == kRecCF) {
    if (!current_) return -1;
    if (group.Count() > 1) return 1;
    return ReadCF(*data);
  }
  return -1;
}

int TCondFormatter::ReadCondFmt(const TXLSBlob& data) {
  if (data.GetSize() < kCondFmtFixed) return -1;
  auto format = std::make_unique<TCondFormat>();
  // The recalculation flag (bit 0) and the format's number, which CFEX records name.
  format->recalc = data.GetWord(2);
  std::uint32_t position = 12;
  if (!ReadRangeList(data, position, format->ranges)) return -1;
  format->bounds = RangeBounds(format->ranges);
  formats_.push_back(std::move(format));
  current_ = formats_.back().get();
  return 1;
}

int TCondFormatter::ReadCF(const TXLSBlob& data) {
  const std::uint32_t size = data.GetSize();
  if (size < kCFFixed) return -1;
  auto rule = std::make_unique<TCondFormatRule>();
  rule->conditionType = data.GetByte(0);
  rule->comparison = data.GetByte(1);
  const std::uint32_t size1 = data.GetWord(2), size2 = data.GetWord(4);
  rule->options = data.GetDWord(6);
  rule->formatFlags = data.GetWord(10);
  if (kCFFixed + size1 + size2 > size) return -1;
  // The blocks run up to the formulas. Their announced sizes leave out a number-format block
  // (bit 25), so the record's length is what places the formulas.
  const std::uint32_t blocks = size - kCFFixed - size1 - size2;
  if (blocks < AnnouncedBlocks(rule->options)) return -1;
  rule->blocks = std::make_unique<TXLSBlob>(blocks);
  rule->blocks->AddBlobRange(data, kCFFixed, blocks);
  std::uint32_t position = kCFFixed + blocks;
  if (size1) {
    rule->formula1 = CompileRuleFormula(calc_, data, position, size1);
    if (!rule->formula1) return -1;
    position += size1;
  }
  if (size2) {
    rule->formula2 = CompileRuleFormula(calc_, data, position, size2);
    if (!rule->formula2) return -1;
  }
  current_->rules.push_back(std::move(rule));
  return 1;
}

std::int64_t TCondFormatter::Write(const TRuleRecordSink& sink) {
  // The records exist in BIFF8 only.
  const int format = calc_.GetFileFormat();
  calc_.SetFileFormat(kFormatBiff8);
  calc_.SetReferenceMode('B');
  std::int64_t total = 0;
  bool failed = false;
  for (const auto& format : formats_) {
    if (failed) break;
    if (format->rules.empty() || format->ranges.empty() || !format->bounds) continue;
    const std::uint32_t length = kCondFmtFixed + 8u * static_cast<std::uint32_t>(format->ranges.size());
    auto head = NewRuleRecord(kRecCondFmt, length);
    head->AddWord(static_cast<std::uint32_t>(format->rules.size()));
    head->AddWord(format->recalc);
    const TCondRange& b = *format->bounds;
    head->AddWord(static_cast<std::uint32_t>(b.firstRow));
    head->AddWord(static_cast<std::uint32_t>(b.lastRow));
    head->AddWord(static_cast<std::uint32_t>(b.firstColumn));
    head->AddWord(static_cast<std::uint32_t>(b.lastColumn));
    WriteRangeList(*head, format->ranges);
    total += head->GetSize();
    if (sink(std::move(head)) != 1) {
      failed = true;
      break;
    }
    for (const auto& rule : format->rules) {
      auto f1 = RuleFormulaTokens(calc_, rule->formula1.get(), 1, sheetId_);
      auto f2 = RuleFormulaTokens(calc_, rule->formula2.get(), 1, sheetId_);
      const std::uint32_t s1 = f1 ? f1->GetSize() : 0, s2 = f2 ? f2->GetSize() : 0;
      const std::uint32_t blocks = rule->blocks ? rule->blocks->GetSize() : 0;
      auto cf = NewRuleRecord(kRecCF, kCFFixed + blocks + s1 + s2);
      cf->AddByte(rule->conditionType & 0xFF);
      cf->AddByte(rule->comparison & 0xFF);
      cf->AddWord(s1);
      cf->AddWord(s2);
      cf->AddDWord(rule->options);
      cf->AddWord(rule->formatFlags);
      if (rule->blocks) cf->AddWholeBlob(*rule->blocks);
      if (f1) cf->AddWholeBlob(*f1);
      if (f2) cf->AddWholeBlob(*f2);
      total += cf->GetSize();
      if (sink(std::move(cf)) != 1) {
        failed = true;
        break;
      }
    }
  }
  calc_.SetReferenceMode('A');
  calc_.SetFileFormat(format);
  return failed ? -1 : total;
}

void TCondFormatter::Apply(const TRuleBand& band, bool move, std::int32_t rowDelta, std::int32_t columnDelta) {
  for (auto& format : formats_) {
    format->ranges = CutRanges(format->ranges, band, move, rowDelta, columnDelta);
    if (move) JoinAdjacent(format->ranges);
    format->bounds = RangeBounds(format->ranges);
  }
  std::erase_if(formats_, [this](const std::unique_ptr<TCondFormat>& f) {
    if (!f->ranges.empty()) return false;
    if (current_ == f.get()) current_ = nullptr;
    return true;
  });
}

void TCondFormatter::DeleteRect(const TRuleBand& band) { Apply(band, false, 0, 0); }

void TCondFormatter::ShiftCells(const TRuleBand& band, std::int32_t rowDelta, std::int32_t columnDelta) {
  Apply(band, true, rowDelta, columnDelta);
}

void TCondFormatter::MoveFormulas(const TRuleMove& move, bool ownSheet, std::int32_t movedSheet,
                                  const TXLSExternSheet& externs) {
  for (auto& format : formats_) {
    if (!format->bounds) continue;
    const TRuleFormulaPlace place = RulePlace(move, ownSheet, movedSheet, *format->bounds);
    for (auto& rule : format->rules) {
      if (rule->formula1) MoveRuleFormula(*rule->formula1, move, place, externs);
      if (rule->formula2) MoveRuleFormula(*rule->formula2, move, place, externs);
    }
  }
}

}  // namespace xls
