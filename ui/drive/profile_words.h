// The seven words of a motion profile as the profile window sends them to registers 910..916,
// and the range checks they pass first. Plain data: no window needed.
#pragma once

#include <array>
#include <cstdint>

namespace ui {

struct ProfileEntry {
  int f001 = 0, f002 = 0, f003 = 0;  // mode values 1..3
  bool f257Enabled = false;
  int f257 = 0;
  bool enable = false, run = false, reset = false, home = false, dir = false;
  std::int64_t accel = 0, decel = 0, speed = 0;
  bool torqueEnabled = false;
  std::int64_t torque = 0;
  bool positionEnabled = false;
  std::int64_t position = 0;
};

// Acceleration and deceleration 0..9999, speed 0..4000, the torque 0..20000 when it is sent,
// the position within 32 bits when it is sent.
bool ProfileInRange(const ProfileEntry& entry);

// Mode word, flag word, acceleration, deceleration, speed, then the torque (and 0) or the
// position's low and high words, or two zeros; each word the low 16 bits of its value.
std::array<std::uint16_t, 7> ProfileWords(const ProfileEntry& entry);

}  // namespace ui
