#include "core/param_access.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/common.h"

namespace core {

namespace {

// 10 to the power of d for d = 1..8, else 1.
long double Scale(int decimals) {
  static constexpr float kPowers[] = {1.0f, 10.0f, 100.0f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f};
  return decimals >= 1 && decimals <= 8 ? static_cast<long double>(kPowers[decimals]) : 1.0L;
}

// The small amount added before rounding a scaled value, so that a value whose 32-bit float
// lies just below the intended decimal still gives it.
long double RoundingNudge(int decimals) {
  switch (decimals) {
    case 4: return 1e-6L;
    case 5: return 1e-7L;
    case 6: return 1e-8L;
    case 7: return 1e-9L;
    case 8: return 1e-10L;
    default: return 1e-5L;
  }
}

float Scaled(long double raw, int decimals) { return static_cast<float>(raw / Scale(decimals)); }

std::uint16_t Address(std::int32_t reg) { return static_cast<std::uint16_t>(reg); }

std::string FixedText(long double value, int precision) {
  char buffer[400];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
  if (ec != std::errc()) return "0";
  return std::string(buffer, end);
}

// ReadParam for an index inside the definitions.
TransactionResult ReadParamValue(int station, int index, float& value) {
  const ParameterDefinition def = State().ParamDefs[static_cast<std::size_t>(index)];
  const auto st = static_cast<std::uint8_t>(station);
  const std::uint16_t reg = Address(def.reg);
  const bool isSigned = def.minimum < 0;
  std::uint32_t raw = 0;
  float f = 0;
  TransactionResult r;
  switch (def.type) {
    case ParameterType::Coil:
      r = ReadBit(st, reg, raw);
      if (r == kResultOk) value = static_cast<float>(raw);
      return r;
    case ParameterType::Holding32:
      r = ReadWord(st, reg, 2, raw);
      if (r == kResultOk)
        value = isSigned ? Scaled(static_cast<std::int32_t>(raw), def.decimals) : Scaled(raw, def.decimals);
      return r;
    case ParameterType::HoldingFloat:
      r = ReadFloat(st, reg, f);
      if (r == kResultOk) value = f;
      return r;
    case ParameterType::InputSigned:
    case ParameterType::InputUnsigned:
      r = ReadInput(st, reg, 1, raw);
      if (r == kResultOk)
        value = def.type == ParameterType::InputSigned ? Scaled(static_cast<std::int16_t>(raw), def.decimals)
                                                       : Scaled(raw, def.decimals);
      return r;
    case ParameterType::Input32:
      r = ReadInput(st, reg, 2, raw);
      if (r == kResultOk) value = Scaled(static_cast<std::int32_t>(raw), def.decimals);
      return r;
    case ParameterType::InputFloat:
      r = ReadInputFloat(st, reg, f);
      if (r == kResultOk) value = f;
      return r;
    default:  // W, I and any unknown letter: one holding register
      r = ReadWord(st, reg, 1, raw);
      if (r == kResultOk)
        value = isSigned ? Scaled(static_cast<std::int16_t>(raw), def.decimals) : Scaled(raw, def.decimals);
      return r;
  }
}

// A register's value is known again once a read or a write of it succeeded, and unknown after a
// write whose outcome no read could tell.
TransactionResult NoteValue(int station, std::int32_t reg, TransactionResult r) {
  if (r == kResultOk) State().UnknownValues.erase({station, reg});
  return r;
}

// After a write that may have been done: the read tells the register's value, or its failure
// leaves it unknown.
ParamReadBack NoteReadBack(int station, std::int32_t reg, const ParamReadBack& back) {
  if (NoteValue(station, reg, back.result) != kResultOk) State().UnknownValues.insert({station, reg});
  return back;
}

}  // namespace

bool ValueUnknown(int station, std::int32_t reg) { return State().UnknownValues.count({station, reg}) != 0; }

TransactionResult ReadParam(int station, int index, float& value) {
  const AppState& s = State();
  if (index < 0 || index >= s.ParamCount || static_cast<std::size_t>(index) >= s.ParamDefs.size())
    return kResultBadIndex;
  const std::int32_t reg = s.ParamDefs[static_cast<std::size_t>(index)].reg;
  return NoteValue(station, reg, ReadParamValue(station, index, value));
}

namespace {
// The raw values a register of this type can take (signed or unsigned alike).
void RawLimits(char type, long double& low, long double& high) {
  switch (type) {
    case ParameterType::Coil:
      low = 0, high = 255;
      return;
    case ParameterType::Holding32:
      low = -2147483648.0L, high = 4294967295.0L;
      return;
    default:
      low = -32768.0L, high = 65535.0L;
  }
}
}  // namespace

bool RegisterLimits(const ParameterDefinition& rec, double& low, double& high) {
  if (rec.type == ParameterType::HoldingFloat) return false;
  long double rawLow = 0, rawHigh = 0;
  RawLimits(rec.type, rawLow, rawHigh);
  low = static_cast<double>(rawLow / Scale(rec.decimals));
  high = static_cast<double>(rawHigh / Scale(rec.decimals));
  return true;
}

namespace {
// The raw register contents WriteParam sends for `value` (not for a float register): false for
// a value the register cannot hold.
bool RawToWrite(const ParameterDefinition& rec, float value, long double& rounded) {
  if (!std::isfinite(value)) return false;
  const int d = rec.decimals;
  const long double scaled = d >= 0 && d <= 8 ? static_cast<long double>(value) * Scale(d) + RoundingNudge(d)
                                              : static_cast<long double>(value) + 1e-5L;
  rounded = std::nearbyint(scaled);  // ties to even in the default rounding mode
  long double low = 0, high = 0;
  RawLimits(rec.type, low, high);
  return rounded >= low && rounded <= high;
}
}  // namespace

TransactionResult WriteParam(int station, int index, float value) {
  const AppState& s = State();
  if (index < 0 || static_cast<std::size_t>(index) >= s.Document.size()) return kResultBadIndex;
  // A copy: the pause before the request lets window messages run, which may replace the document.
  const ParameterDefinition rec = s.Document[static_cast<std::size_t>(index)];
  const auto st = static_cast<std::uint8_t>(station);
  const std::uint16_t reg = Address(rec.reg);
  // A value the register cannot hold would be cut to its low bits and change the drive's
  // setting to something nobody entered: refuse it without a transaction.
  if (!std::isfinite(value)) return kResultBadValue;
  if (rec.type == ParameterType::HoldingFloat) return NoteValue(station, rec.reg, WriteFloat(st, reg, value));
  long double rounded = 0;
  if (!RawToWrite(rec, value, rounded)) return kResultBadValue;
  TransactionResult r;
  switch (rec.type) {
    case ParameterType::Coil:
      r = WriteBit(st, reg, static_cast<std::uint8_t>(rounded));
      break;
    case ParameterType::Holding32:
      r = WriteLong(st, reg, static_cast<std::uint32_t>(static_cast<std::int64_t>(rounded)));
      break;
    default:
      r = WriteWord(st, reg, static_cast<std::uint16_t>(static_cast<std::int32_t>(rounded)));
      break;
  }
  return NoteValue(station, rec.reg, r);
}

bool WriteMayHaveBeenDone(TransactionResult result) {
  return result == kResultSendFailed || result == kResultBadReply || result == kResultWrongContent;
}

ParamReadBack ReadParamBack(int station, int index, float written) {
  const AppState& s = State();
  ParamReadBack back;
  if (index < 0 || static_cast<std::size_t>(index) >= s.Document.size()) {
    back.result = kResultBadIndex;
    return back;
  }
  const ParameterDefinition rec = s.Document[static_cast<std::size_t>(index)];
  const auto st = static_cast<std::uint8_t>(station);
  const std::uint16_t reg = Address(rec.reg);
  const bool isSigned = rec.minimum < 0;
  if (rec.type == ParameterType::HoldingFloat) {
    // The register's bits, not ReadFloat's value: that one is nudged for display and would
    // never equal a written 0 or a value too small to take the nudge.
    std::uint32_t bits = 0;
    back.result = ReadWord(st, reg, 2, bits);
    back.value = std::bit_cast<float>(bits);
    back.holdsWritten = back.result == kResultOk && bits == std::bit_cast<std::uint32_t>(written);
    return NoteReadBack(station, rec.reg, back);
  }
  long double rounded = 0;
  const bool sendable = RawToWrite(rec, written, rounded);
  std::uint32_t raw = 0;
  switch (rec.type) {
    case ParameterType::Coil:
      back.result = ReadBit(st, reg, raw);
      back.value = static_cast<float>(raw);
      // WriteBit switches the coil on for 1 and off for any other value.
      back.holdsWritten = sendable && (raw != 0) == (rounded == 1);
      break;
    case ParameterType::Holding32:
      back.result = ReadWord(st, reg, 2, raw);
      back.value = isSigned ? Scaled(static_cast<std::int32_t>(raw), rec.decimals) : Scaled(raw, rec.decimals);
      back.holdsWritten = sendable && raw == static_cast<std::uint32_t>(static_cast<std::int64_t>(rounded));
      break;
    default:
      back.result = ReadWord(st, reg, 1, raw);
      back.value = isSigned ? Scaled(static_cast<std::int16_t>(raw), rec.decimals) : Scaled(raw, rec.decimals);
      back.holdsWritten = sendable && static_cast<std::uint16_t>(raw) ==
                                          static_cast<std::uint16_t>(static_cast<std::int32_t>(rounded));
      break;
  }
  if (back.result != kResultOk) back.holdsWritten = false;
  return NoteReadBack(station, rec.reg, back);
}

std::string MonitorItemText(const MonitorItem& item, std::int32_t raw) {
  // The value is held as a 32-bit float, as the display always did.
  const float held = static_cast<float>(raw);
  const int d = item.decimals;
  if (d >= 1 && d <= 8) return FixedText(static_cast<long double>(held) / Scale(d), d);
  return FixedText(held, 0);
}

std::string MonitorFloatText(const MonitorItem& item, float f) {
  if (!std::isfinite(f)) return std::isnan(f) ? "NaN" : (f < 0 ? "-INF" : "INF");
  const int d = item.decimals;
  return FixedText(f, d >= 1 && d <= 8 ? d : 0);
}

TransactionResult ReadMonitorItem(int station, const MonitorItem& item, std::string& text) {
  const auto st = static_cast<std::uint8_t>(station);
  std::uint32_t raw = 0;
  TransactionResult r;
  std::int32_t v = 0;
  switch (item.type) {
    case ParameterType::Coil:
      r = ReadBit(st, item.reg, raw);
      v = static_cast<std::int32_t>(raw);
      break;
    case ParameterType::Holding32:
      r = ReadWord(st, item.reg, 2, raw);
      v = static_cast<std::int32_t>(raw);
      break;
    case ParameterType::InputSigned:
    case ParameterType::InputUnsigned:
      r = ReadInput(st, item.reg, 1, raw);
      v = static_cast<std::int16_t>(raw);
      break;
    case ParameterType::Input32:
      r = ReadInput(st, item.reg, 2, raw);
      v = static_cast<std::int32_t>(raw);
      break;
    case ParameterType::HoldingFloat:
    case ParameterType::InputFloat: {
      // Floats are shown as they are, with as many decimals as the item gives.
      float f = 0;
      r = item.type == ParameterType::HoldingFloat ? ReadFloat(st, item.reg, f) : ReadInputFloat(st, item.reg, f);
      if (r == kResultOk) text = MonitorFloatText(item, f);
      return r;
    }
    default:  // W, I and any other letter: one signed holding register
      r = ReadWord(st, item.reg, 1, raw);
      v = static_cast<std::int16_t>(raw);
      break;
  }
  if (r != kResultOk) return r;
  text = MonitorItemText(item, v);
  return r;
}

namespace {
// The raw values the register(s) of a monitor item take: 32 bits for L and M, a coil byte for
// B, one word for the others. False for the float letters.
bool ItemRawLimits(char type, long double& low, long double& high) {
  switch (type) {
    case ParameterType::HoldingFloat:
    case ParameterType::InputFloat:
      return false;
    case ParameterType::Input32:
      RawLimits(ParameterType::Holding32, low, high);
      return true;
    default:
      RawLimits(type, low, high);
      return true;
  }
}
}  // namespace

bool MonitorItemLimits(const MonitorItem& item, double& low, double& high) {
  long double rawLow = 0, rawHigh = 0;
  if (!ItemRawLimits(item.type, rawLow, rawHigh)) return false;
  low = static_cast<double>(rawLow / Scale(item.decimals));
  high = static_cast<double>(rawHigh / Scale(item.decimals));
  return true;
}

bool MonitorItemRaw(const MonitorItem& item, double value, std::int64_t& whole, float& f) {
  if (!std::isfinite(value)) return false;
  long double low = 0, high = 0;
  if (!ItemRawLimits(item.type, low, high)) {
    if (std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) return false;
    f = static_cast<float>(value);
    return true;
  }
  // A decimal text such as "12.35" lies a hair off in binary; the nudge rounds it as written.
  const long double scaled = static_cast<long double>(value) * Scale(item.decimals);
  const long double rounded = std::round(scaled + std::copysign(1e-9L * std::max(1.0L, std::fabs(scaled)), scaled));
  if (rounded < low || rounded > high) return false;
  whole = static_cast<std::int64_t>(rounded);
  return true;
}

bool IsFloatItem(const MonitorItem& item) {
  return item.type == ParameterType::HoldingFloat || item.type == ParameterType::InputFloat;
}

TransactionResult WriteMonitorItem(int station, const MonitorItem& item, double value) {
  const auto st = static_cast<std::uint8_t>(station);
  std::int64_t whole = 0;
  float f = 0;
  if (!MonitorItemRaw(item, value, whole, f)) return kResultBadValue;
  if (IsFloatItem(item)) return WriteFloat(st, item.reg, f);
  switch (item.type) {
    case ParameterType::Coil:
      return WriteBit(st, item.reg, static_cast<std::uint8_t>(whole));
    case ParameterType::Holding32:
    case ParameterType::Input32:
      return WriteLong(st, item.reg, static_cast<std::uint32_t>(whole));
    default:
      return WriteWord(st, item.reg, static_cast<std::uint16_t>(whole & 0xFFFF));
  }
}

}  // namespace core
