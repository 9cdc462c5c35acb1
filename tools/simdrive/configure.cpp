#include <bit>
#include <cmath>

#include "core/config.h"
#include "tools/simdrive/options.h"

namespace simdrive {

namespace {

// Puts a parameter's default into the registers the way the service tool reads that letter.
void SeedParameter(Drive& drive, int station, const core::ParameterDefinition& d) {
  const auto reg = static_cast<std::uint16_t>(d.reg);
  const auto next = static_cast<std::uint16_t>(d.reg + 1);
  const double scale = d.decimals >= 1 && d.decimals <= 8 ? std::pow(10.0, d.decimals) : 1.0;
  const auto raw = static_cast<std::int64_t>(std::llround(static_cast<double>(d.defaultValue) * scale));
  const auto low = static_cast<std::uint16_t>(raw & 0xFFFF);
  const auto high = static_cast<std::uint16_t>((raw >> 16) & 0xFFFF);
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(d.defaultValue);
  switch (d.type) {
    case core::ParameterType::Coil: drive.SetCoil(station, reg, d.defaultValue != 0); break;
    case core::ParameterType::Holding32: drive.SetHolding(station, reg, low); drive.SetHolding(station, next, high); break;
    case core::ParameterType::HoldingFloat:
      drive.SetHolding(station, reg, static_cast<std::uint16_t>(bits & 0xFFFF));
      drive.SetHolding(station, next, static_cast<std::uint16_t>(bits >> 16));
      break;
    case core::ParameterType::InputSigned:
    case core::ParameterType::InputUnsigned: drive.SetInput(station, reg, low); break;
    case core::ParameterType::Input32: drive.SetInput(station, reg, low); drive.SetInput(station, next, high); break;
    case core::ParameterType::InputFloat:
      drive.SetInput(station, reg, static_cast<std::uint16_t>(bits & 0xFFFF));
      drive.SetInput(station, next, static_cast<std::uint16_t>(bits >> 16));
      break;
    default: drive.SetHolding(station, reg, low); break;
  }
}

// A motor table: the drive keeps its records apart and offers the data of a 7.5 kW four-pole
// motor as the motor in use (rated power 7.5 kW, 400 V, 15.2 A, 50.00 Hz, 1460 rpm, 4 poles,
// cos phi 0.83, no-load current 5.1 A, stator resistance 0.712 ohm, rotor 0.584 ohm, 98.6 mH),
// named "SIM-7K5".
void SeedMotorTable(Drive& drive, int station, const core::smod& m) {
  static constexpr std::uint16_t kData[11] = {75, 400, 152, 5000, 1460, 4, 83, 51, 712, 584, 986};
  const auto base = static_cast<std::uint16_t>(m.motorRegister + m.motorRecordCount);
  for (int w = 0; w < 11; ++w) drive.SetHolding(station, static_cast<std::uint16_t>(base + w), kData[w]);
  const char code[11] = "   SIM-7K5";
  for (int k = 0; k < 5; ++k)
    drive.SetHolding(station, static_cast<std::uint16_t>(base + 11 + k),
                     static_cast<std::uint16_t>((static_cast<unsigned char>(code[2 * k]) << 8) |
                                                static_cast<unsigned char>(code[2 * k + 1])));
}

bool ApplyConfiguration(Drive& drive, const Options& o, const std::vector<int>& stations, std::string& error,
                        LiveDrive* live) {
  core::AppState s;
  if (!core::LoadConfigurationFile(s, o.configPath) || s.Models.empty()) {
    error = "no models in the configuration file " + o.configPath;
    return false;
  }
  int model = 0;  // 1-based
  for (std::size_t i = 0; i < s.Models.size() && model == 0; ++i)
    if (o.model.empty() || s.Models[i].name == o.model) model = static_cast<int>(i) + 1;
  if (model == 0) {
    error = "no model " + o.model + " in " + o.configPath;
    return false;
  }
  drive.SetProduct(s.Models[static_cast<std::size_t>(model - 1)].name.str());
  for (const auto& d : s.ParamDefs)
    if (d.model == model)
      for (int st : stations) SeedParameter(drive, st, d);
  const core::smod& chosen = s.Models[static_cast<std::size_t>(model - 1)];
  if (chosen.motorRegister > 0 && chosen.motorRecordCount > 0) {
    drive.SetMotorTable(static_cast<std::uint16_t>(chosen.motorRegister), chosen.motorRecordCount);
    for (int st : stations) SeedMotorTable(drive, st, chosen);
  }
  if (live) {
    live->UseModel(s.Models[static_cast<std::size_t>(model - 1)]);
    live->Step(0);
  }
  return true;
}

}  // namespace

bool Configure(Drive& drive, const Options& o, std::string& error, LiveDrive* live) {
  std::vector<int> stations;
  if (!ParseStations(o.stations, stations)) {
    error = "bad station list " + o.stations;
    return false;
  }
  for (int s : stations) drive.AddStation(s);
  if (!o.configPath.empty() && !ApplyConfiguration(drive, o, stations, error, live)) return false;
  drive.SetProfileMotion(true);
  for (const auto& r : o.registers) {
    auto v = static_cast<std::uint16_t>(r.value);
    auto address = static_cast<std::uint16_t>(r.address);
    if (r.space == 'h') drive.SetHolding(r.station, address, v);
    else if (r.space == 'i') drive.SetInput(r.station, address, v);
    else drive.SetCoil(r.station, address, r.value != 0);
  }
  drive.SetFault(o.fault);
  return true;
}

}  // namespace simdrive
