#include "tools/simdrive/options.h"

namespace simdrive {

bool Configure(Drive& drive, const Options& o, std::string& error) {
  std::vector<int> stations;
  if (!ParseStations(o.stations, stations)) {
    error = "bad station list " + o.stations;
    return false;
  }
  for (int s : stations) drive.AddStation(s);
  if (!o.configPath.empty()) {
    error = "this build has no configuration file support";
    return false;
  }
  for (const auto& r : o.registers) {
    auto v = static_cast<std::uint16_t>(r.value);
    if (r.space == 'h') drive.SetHolding(r.station, static_cast<std::uint16_t>(r.address), v);
    else if (r.space == 'i') drive.SetInput(r.station, static_cast<std::uint16_t>(r.address), v);
    else drive.SetCoil(r.station, static_cast<std::uint16_t>(r.address), r.value != 0);
  }
  drive.SetFault(o.fault);
  return true;
}

}  // namespace simdrive
