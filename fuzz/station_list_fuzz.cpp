// The station-list text of the link dialog as a user types it ("1,3,5-12"): any text gives a
// set of stations 1..254, the set written back as a list reads as the same set, and a number
// that reads prints and reads again as the same number.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/station_set.h"

namespace {

// The set as the dialog's list: single stations and runs of three or more as a range.
std::string ListText(const core::StationSet& set) {
  std::string out;
  for (int s = 1; s <= 254; ++s) {
    if (!set.contains(s)) continue;
    int last = s;
    while (last < 254 && set.contains(last + 1)) ++last;
    if (!out.empty()) out += ',';
    out += std::to_string(s);
    if (last - s >= 2) {
      out += '-' + std::to_string(last);
      s = last;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1024) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const core::StationSet set = core::ParseStationList(text);
  if (set.contains(0) || set.contains(255)) __builtin_trap();
  if (set.empty() != (set.lowest() == 0) || set.lowest() > set.highest()) __builtin_trap();
  if (core::ParseStationList(ListText(set)) != set) __builtin_trap();

  std::int64_t value = 0;
  if (core::ParseStationNumber(text, value)) {
    if (value > 0xFFFFFFFFLL || value < -0xFFFFFFFFLL) __builtin_trap();
    std::int64_t again = 0;
    if (!core::ParseStationNumber(std::to_string(value), again) || again != value) __builtin_trap();
    // A single number is a list of that one station.
    if (value >= 1 && value <= 254 && (set.count() != 1 || !set.contains(static_cast<int>(value)))) __builtin_trap();
  }
  return 0;
}
