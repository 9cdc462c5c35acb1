#include "xls/formula/rules/data_validation.h"

#include "xls/formula/calc/calculator.h"
#include "xls/formula/formula.h"
#include "xls/model/codepage.h"

namespace xls {
namespace {

constexpr std::uint32_t kNoObject = 0xFFFFFFFF;

// A DV text: count (u16), flag byte, then 8-bit or UTF-16 characters.
bool ReadText(const TXLSBlob& data, std::uint32_t& position, std::u16string& text) {
  const std::uint32_t size = data.GetSize();
  if (position + 3 > size) return false;
  const std::uint32_t count = data.GetWord(position);
  const bool wide = (data.GetByte(position + 2) & 1) != 0;
  position += 3;
  const std::uint32_t bytes = wide ? 2 * count : count;
  if (position + bytes > size) return false;
  text = wide ? data.GetRawWideString(position, 2 * count) : AnsiToWideCP(data.GetRawString(position, count));
  position += bytes;
  // An empty text is kept as one zero character.
  if (text.size() == 1 && text[0] == 0) text.clear();
  return true;
}

bool EmptyText(const std::u16string& text) { return text.empty() || text[0] == 0; }
std::uint32_t TextSize(const std::u16string& text) {
  return EmptyText(text) ? 4 : 3 + 2 * static_cast<std::uint32_t>(text.size());
}
void WriteText(TXLSBlob& out, const std::u16string& text) {
  if (EmptyText(text)) {
    out.AddWord(1);
    out.AddByte(0);
    out.AddByte(0);
    return;
  }
  out.AddWord(static_cast<std::uint32_t>(text.size()));
  out.AddByte(1);
  out.AddWideString(text);
}

bool ReadFormula(TXLSCalculator& calc, const TXLSBlob& data, std::uint32_t& position,
                 std::unique_ptr<TXLSCompiledFormula>& f) {
  if (position + 4 > data.GetSize()) return false;
  const std::uint32_t size = data.GetWord(position);
  position += 4;
  if (size == 0) return true;
  f = CompileRuleFormula(calc, data, position, size);
  position += size;
  return f != nullptr;
}

}  // namespace

TDataValidation::TDataValidation() = default;
TDataValidation::~TDataValidation() = default;

const TDataValidation* TDataValidator::Item(std::int32_t i) const {
  return i >= 0 && i < Count() ? validations_[static_cast<std::size_t>(i)].get() : nullptr;
}

int TDataValidator::ReadRecord(std::uint16_t id, const TXLSBlobList& group) {
  const TXLSBlob* data = group.GetChunk(0);
  if (!data) return -1;
  if (id == kRecDVal) {
    if (data->GetSize() < 14) return -1;
    options_ = data->GetWord(0);
    inputX_ = data->GetDWord(2);
    inputY_ = data->GetDWord(6);
    const std::uint32_t object = data->GetDWord(10);
    if (object != kNoObject && removeObject_) removeObject_(object);
    return 1;
  }
  if (id != kRecDV) return -1;
  auto v = std::make_unique<TDataValidation>();
  if (group.Count() == 1) {
    if (ReadDV(*data, *v) != 1) return -1;
    validations_.push_back(std::move(v));
    return 1;
  }
  // Other programs write texts longer than a record holds and go on in CONTINUE records, byte
  // for byte. The rule is kept with its texts cut to what the format allows.
  TXLSBlob joined(0);
  for (std::size_t i = 0; i < group.Count(); ++i)
    if (const TXLSBlob* chunk = group.GetChunk(i)) joined.AddWholeBlob(*chunk);
  if (ReadDV(joined, *v) != 1) return -1;
  int result = 1;
  const std::size_t limits[] = {kDVTitleLimit, kDVTitleLimit, kDVPromptLimit, kDVErrorLimit};
  std::u16string* texts[] = {&v->promptTitle, &v->errorTitle, &v->promptText, &v->errorText};
  for (std::size_t i = 0; i < 4; ++i) {
    if (texts[i]->size() <= limits[i]) continue;
    texts[i]->resize(limits[i]);
    result = kDVTextsCut;
  }
  validations_.push_back(std::move(v));
  return result;
}

int TDataValidator::ReadDV(const TXLSBlob& data, TDataValidation& v) {
  if (data.GetSize() < 4) return -1;
  v.options = data.GetDWord(0);
  std::uint32_t position = 4;
  for (std::u16string* text : {&v.promptTitle, &v.errorTitle, &v.promptText, &v.errorText})
    if (!ReadText(data, position, *text)) return -1;
  if (!ReadFormula(calc_, data, position, v.formula1) || !ReadFormula(calc_, data, position, v.formula2)) return -1;
  std::vector<TCondRange> ranges;
  if (!ReadRangeList(data, position, ranges)) return -1;
  v.ranges.Assign(std::move(ranges));
  return 1;
}

std::int64_t TDataValidator::Write(const TRuleRecordSink& sink) {
  // The records exist in BIFF8 only.
  const int format = calc_.GetFileFormat();
  calc_.SetFileFormat(kFormatBiff8);
  calc_.SetReferenceMode('B');
  // A validation that covers no cells (all cut away, or read from a record too long to
  // load) is not written: it would stand for nothing.
  std::vector<const TDataValidation*> written;
  for (const auto& v : validations_)
    if (v->ranges.Count() > 0) written.push_back(v.get());
  std::int64_t total = 0;
  bool failed = false;
  if (!written.empty()) {
    auto dval = NewRuleRecord(kRecDVal, 18);
    dval->AddWord(options_);
    dval->AddDWord(inputX_);
    dval->AddDWord(inputY_);
    dval->AddDWord(kNoObject);
    dval->AddDWord(static_cast<std::uint32_t>(written.size()));
    total += dval->GetSize();
    failed = sink(std::move(dval)) != 1;
  }
  for (const TDataValidation* v : written) {
    if (failed) break;
    const int kind = v->IsList() ? 0 : 1;
    auto f1 = RuleFormulaTokens(calc_, v->formula1.get(), kind, sheetId_);
    auto f2 = RuleFormulaTokens(calc_, v->formula2.get(), kind, sheetId_);
    const std::uint32_t s1 = f1 ? f1->GetSize() : 0, s2 = f2 ? f2->GetSize() : 0;
    const std::uint32_t length = 4 + TextSize(v->promptTitle) + TextSize(v->errorTitle) + TextSize(v->promptText) +
                                 TextSize(v->errorText) + 4 + s1 + 4 + s2 + 2 +
                                 8 * static_cast<std::uint32_t>(v->ranges.Count());
    auto dv = NewRuleRecord(kRecDV, length);
    dv->AddDWord(v->options);
    WriteText(*dv, v->promptTitle);
    WriteText(*dv, v->errorTitle);
    WriteText(*dv, v->promptText);
    WriteText(*dv, v->errorText);
    dv->AddWord(s1);
    dv->AddWord(0);
    if (f1) dv->AddWholeBlob(*f1);
    dv->AddWord(s2);
    dv->AddWord(0);
    if (f2) dv->AddWholeBlob(*f2);
    WriteRangeList(*dv, v->ranges.Ranges());
    total += dv->GetSize();
    failed = sink(std::move(dv)) != 1;
  }
  calc_.SetReferenceMode('A');
  calc_.SetFileFormat(format);
  return failed ? -1 : total;
}

void TDataValidator::Compact() {
  std::erase_if(validations_, [](const std::unique_ptr<TDataValidation>& v) { return v->ranges.Count() == 0; });
}

void TDataValidator::DeleteRect(const TRuleBand& band) {
  for (auto& v : validations_) v->ranges.DeleteRect(band);
  Compact();
}

void TDataValidator::ShiftCells(const TRuleBand& band, std::int32_t rowDelta, std::int32_t columnDelta) {
  for (auto& v : validations_) v->ranges.ShiftCells(band, rowDelta, columnDelta);
  Compact();
}

void TDataValidator::MoveFormulas(const TRuleMove& move, bool ownSheet, std::int32_t movedSheet,
                                  const TXLSExternSheet& externs) {
  for (auto& v : validations_) {
    if (!v->ranges.Bounds()) continue;
    const TRuleFormulaPlace place = RulePlace(move, ownSheet, movedSheet, *v->ranges.Bounds());
    if (v->formula1) MoveRuleFormula(*v->formula1, move, place, externs);
    if (v->formula2) MoveRuleFormula(*v->formula2, move, place, externs);
  }
}

}  // namespace xls
