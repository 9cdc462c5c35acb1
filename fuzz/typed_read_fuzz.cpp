// The conversion of a reply's registers to a value: a simulated drive holds arbitrary register
// contents, and a parameter or monitor item of any type letter and number of decimals reads
// them. A correct drive's answer always reads; a float reads as the registers' single; a whole number reads
// as its raw value scaled by its decimals; a monitor text reads back to its raw value, and
// writing what was read (as the grid and the monitor's set-points do) puts the same bits back.
// Input: type letter, decimals, sign, four bytes of register contents (low word first).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/common.h"
#include "core/modbus.h"
#include "core/param_access.h"
#include "core/serial_link.h"
#include "tests/modbus/skipping_clock.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/fake_port.h"

namespace {

constexpr std::uint16_t kReg = 100;
constexpr char kLetters[] = {'B', 'F', 'G', 'I', 'J', 'L', 'M', 'W', 'X', 'Q'};

struct Link {
  simdrive::Drive drive{"V", "P", "R"};
  kvtest::SkippingClock clock;  // the pauses before the requests cost no time
  simdrive::FakePort* port = nullptr;
  Link() {
    drive.AddStation(1);
    core::SetPauseClock(&clock);
    auto owned = std::make_unique<simdrive::FakePort>(drive);
    port = owned.get();
    core::OpenPortOn(std::move(owned));
    core::LearnPortLineEcho(core::LineEcho::Quiet);  // as Link leaves a line without echo
    core::State().LogMemo = [](const std::string&) {};
  }
};

bool TwoWords(char t) { return t == 'L' || t == 'M' || t == 'F' || t == 'G'; }
bool FromInput(char t) { return t == 'X' || t == 'J' || t == 'M' || t == 'G'; }
bool IsFloat(char t) { return t == 'F' || t == 'G'; }

long double Power(int decimals) { return decimals >= 1 && decimals <= 8 ? std::pow(10.0L, decimals) : 1.0L; }

// What the drive's registers hold, as the parameter (signed when its minimum is below zero) reads it.
long double RawParameter(char t, bool isSigned, std::uint32_t words, std::uint8_t coils) {
  switch (t) {
    case 'B': return coils & 1;  // one coil asked for: the other bits of its byte are zero
    case 'L': return isSigned ? static_cast<std::int32_t>(words) : static_cast<long double>(words);
    case 'M': return static_cast<std::int32_t>(words);
    case 'X': return static_cast<std::int16_t>(words);
    case 'J': return static_cast<std::uint16_t>(words);
    default: return isSigned ? static_cast<std::int16_t>(words) : static_cast<long double>(words & 0xFFFF);
  }
}

// The same registers as a monitor item reads them (one word is always signed).
std::int64_t RawMonitor(char t, std::uint32_t words, std::uint8_t coils) {
  if (t == 'B') return coils & 1;
  if (t == 'L' || t == 'M') return static_cast<std::int32_t>(words);
  return static_cast<std::int16_t>(words);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 7) return 0;
  static Link link;
  link.port->ClearHistory();  // the port keeps every frame it sent: one input's worth at a time
  const char type = kLetters[data[0] % sizeof kLetters];
  const int decimals = static_cast<std::int8_t>(data[1]) % 12;  // -11..11: out-of-range counts too
  const bool isSigned = data[2] & 1;
  const std::uint16_t low = static_cast<std::uint16_t>(data[3] | data[4] << 8);
  const std::uint16_t high = static_cast<std::uint16_t>(data[5] | data[6] << 8);
  const std::uint32_t words = low | static_cast<std::uint32_t>(high) << 16;
  const std::uint8_t coils = data[3];
  simdrive::Drive& drive = link.drive;
  for (std::uint16_t a : {kReg, static_cast<std::uint16_t>(kReg + 1)}) {
    const std::uint16_t w = a == kReg ? low : high;
    drive.SetHolding(1, a, w);
    drive.SetInput(1, a, w);
  }
  for (int b = 0; b < 8; ++b) drive.SetCoil(1, static_cast<std::uint16_t>(kReg + b), (coils >> b) & 1);

  core::AppState& s = core::State();
  core::ParameterDefinition def;
  def.type = type;
  def.reg = kReg;
  def.decimals = decimals;
  def.minimum = isSigned ? -1.0f : 0.0f;
  s.ParamDefs.assign(1, def);
  s.ParamCount = 1;
  s.Document = s.ParamDefs;

  float value = 0;
  if (core::ReadParam(1, 0, value) != core::kResultOk) __builtin_trap();
  if (IsFloat(type)) {
    // The register pair's single, lifted by 1e-10 (which lifts values stored just below a
    // rounding boundary above it).
    float held;
    std::memcpy(&held, &words, 4);
    if (std::isnan(held) != std::isnan(value)) __builtin_trap();
    if (std::isinf(held) && value != held) __builtin_trap();
    if (std::isfinite(held) && std::fabs(static_cast<double>(value) - held) > 1.01e-10 + std::fabs(held) * 1.2e-7)
      __builtin_trap();
  } else {
    const long double raw = RawParameter(type, isSigned, words, coils);
    const long double want = raw / Power(type == 'B' ? 0 : decimals);
    if (std::fabs(static_cast<long double>(value) - want) > std::fabs(want) * 1e-6L) __builtin_trap();
    // Written back as read, a register of 16 bits (or a 32-bit one whose scaled value a float
    // holds to better than half a unit) gets its own bits again.
    if (type != 'B' && !FromInput(type) && std::fabs(raw) < 8388608.0L) {
      drive.SetHolding(1, kReg, static_cast<std::uint16_t>(~low));
      if (core::WriteParam(1, 0, value) != core::kResultOk) __builtin_trap();
      if (drive.Holding(1, kReg) != low) __builtin_trap();
      if (TwoWords(type) && drive.Holding(1, kReg + 1) != high) __builtin_trap();
      drive.SetHolding(1, kReg, low);
    }
  }

  core::MonitorItem item;
  item.type = type;
  item.reg = kReg;
  item.decimals = static_cast<std::uint8_t>(decimals < 0 ? 0 : decimals);
  std::string text;
  if (core::ReadMonitorItem(1, item, text) != core::kResultOk || text.empty()) __builtin_trap();
  if (IsFloat(type)) {
    float f;
    std::memcpy(&f, &words, 4);
    if (std::isnan(f) != (text == "NaN")) __builtin_trap();
    if (std::isinf(f) != (text == "INF" || text == "-INF")) __builtin_trap();
  } else {
    char* end = nullptr;
    const long double shown = std::strtold(text.c_str(), &end);
    if (*end != '\0') __builtin_trap();
    const std::int64_t raw = RawMonitor(type, words, coils);
    const int d = item.decimals >= 1 && item.decimals <= 8 ? item.decimals : 0;
    if (std::llround(shown * Power(d)) != raw && std::fabs(static_cast<long double>(raw)) < 16777216.0L) __builtin_trap();
    // The monitor's set-point takes the text as typed and writes the same bits.
    if (type != 'B' && std::fabs(static_cast<long double>(raw)) < 16777216.0L) {
      drive.SetHolding(1, kReg, static_cast<std::uint16_t>(~low));
      if (core::WriteMonitorItem(1, item, static_cast<double>(shown)) != core::kResultOk) __builtin_trap();
      if (drive.Holding(1, kReg) != static_cast<std::uint16_t>(raw)) __builtin_trap();
      drive.SetHolding(1, kReg, low);
    }
  }
  return 0;
}
