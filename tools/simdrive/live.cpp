#include "tools/simdrive/live.h"

#include <bit>
#include <cmath>

namespace simdrive {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool InInputRegisters(char type) {
  return type == core::ParameterType::InputSigned || type == core::ParameterType::InputUnsigned ||
         type == core::ParameterType::Input32 || type == core::ParameterType::InputFloat;
}

}  // namespace

void LiveDrive::UseModel(const core::smod& m) {
  waves_.clear();
  constants_.clear();
  if (!m.firmwareId.empty()) constants_.emplace_back(m.firmwareId, 1.23);
  if (!m.encoderId.empty()) constants_.emplace_back(m.encoderId, 2048);
  std::vector<core::MonitorItem> moving;
  for (const auto& item : m.monitorValues) moving.push_back(item);
  for (const auto& item : m.advanced) moving.push_back(item);
  moving.push_back(m.status[2]);
  int n = 0;
  for (const auto& item : moving) {
    if (item.empty()) continue;
    // Each value its own level, swing and period, so that they visibly move apart.
    const double level = 20.0 + 37.0 * (n % 7);
    waves_.push_back({item, level, level * 0.15, 3.0 + n % 5});
    ++n;
  }
  alarm_ = m.regA;
  input_ = m.regI;
  output_ = m.regO;
  status_ = m.regS;
  force_ = m.regIF;
  runRegister_ = 0;
  for (const auto& button : m.commandButtons)
    if (!button.empty() && button.reg == 948) runRegister_ = 948;
}

void LiveDrive::Put(int station, const core::MonitorItem& item, double value) {
  const bool input = InInputRegisters(item.type);
  auto set = [&](std::uint16_t reg, std::uint16_t word) {
    if (input) drive_.SetInput(station, reg, word);
    else drive_.SetHolding(station, reg, word);
  };
  const auto next = static_cast<std::uint16_t>(item.reg + 1);
  switch (item.type) {
    case core::ParameterType::HoldingFloat:
    case core::ParameterType::InputFloat: {
      const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
      set(item.reg, static_cast<std::uint16_t>(bits & 0xFFFF));
      set(next, static_cast<std::uint16_t>(bits >> 16));
      return;
    }
    case core::ParameterType::Coil:
      drive_.SetCoil(station, item.reg, value >= 0.5);
      return;
    default:
      break;
  }
  const double scale = item.decimals >= 1 && item.decimals <= 8 ? std::pow(10.0, item.decimals) : 1.0;
  const auto raw = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(value * scale)));
  set(item.reg, static_cast<std::uint16_t>(raw & 0xFFFF));
  if (item.type == core::ParameterType::Holding32 || item.type == core::ParameterType::Input32)
    set(next, static_cast<std::uint16_t>(raw >> 16));
}

void LiveDrive::PutWord(int station, const core::MonitorItem& item, std::uint16_t word) {
  if (item.empty()) return;
  if (InInputRegisters(item.type)) drive_.SetInput(station, item.reg, word);
  else drive_.SetHolding(station, item.reg, word);
}

std::uint16_t LiveDrive::GetWord(int station, const core::MonitorItem& item) const {
  if (item.empty()) return 0;
  return InInputRegisters(item.type) ? drive_.Input(station, item.reg) : drive_.Holding(station, item.reg);
}

void LiveDrive::Step(double t) {
  for (int st : stations_) {
    const std::uint16_t commands = runRegister_ != 0 ? drive_.Holding(st, runRegister_) : 0;
    const bool running = (commands & 1) && !(commands & 2);  // Run on, Stop off
    for (const auto& [item, value] : constants_) Put(st, item, value);
    for (const auto& w : waves_) {
      // Stopped, the values sit at a fifth of their level and still breathe a little.
      const double level = running ? w.level : w.level / 5;
      Put(st, w.item, level + w.swing * std::sin(2 * kPi * t / w.period));
    }
    // One alarm for four seconds of every twenty, a different one each time.
    const auto cycle = static_cast<long>(std::floor(t / 20.0));
    const double inCycle = t - 20.0 * static_cast<double>(cycle);
    const std::uint16_t alarm = inCycle >= 12.0 && inCycle < 16.0 ? static_cast<std::uint16_t>(1u << (cycle % 16)) : 0;
    PutWord(st, alarm_, alarm);
    // Inputs: a slow walk over bits 0..4, overridden by the forced bits (set k: bit 2k-2,
    // reset k: bit 2k-1 of the force word).
    const std::uint16_t force = force_.reg > 0 ? drive_.Holding(st, force_.reg) : 0;
    std::uint16_t inputs = static_cast<std::uint16_t>(1u << (static_cast<long>(std::floor(t)) % 5));
    for (int k = 0; k < 5; ++k) {
      if (force & (1u << (2 * k))) inputs = static_cast<std::uint16_t>(inputs | (1u << k));
      if (force & (1u << (2 * k + 1))) inputs = static_cast<std::uint16_t>(inputs & ~(1u << k));
    }
    PutWord(st, input_, inputs);
    PutWord(st, output_, running ? 1 : 0);
    // Status: bit 1 ready, bit 2 running, bit 4 alarm; bit 0 (busy) stays clear.
    std::uint16_t status = static_cast<std::uint16_t>(GetWord(st, status_) & ~0x0017u);
    status = static_cast<std::uint16_t>(status | 0x0002 | (running ? 0x0004 : 0) | (alarm ? 0x0010 : 0));
    PutWord(st, status_, status);
  }
}

}  // namespace simdrive
