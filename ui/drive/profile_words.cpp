#include "ui/drive/profile_words.h"

#include <limits>

namespace ui {

namespace {
bool Within(std::int64_t v, std::int64_t low, std::int64_t high) { return v >= low && v <= high; }
std::uint16_t Low16(std::int64_t v) { return static_cast<std::uint16_t>(static_cast<std::uint64_t>(v) & 0xFFFF); }
}  // namespace

bool ProfileInRange(const ProfileEntry& e) {
  if (!Within(e.accel, 0, 9999) || !Within(e.decel, 0, 9999) || !Within(e.speed, 0, 4000)) return false;
  if (e.torqueEnabled && !Within(e.torque, 0, 20000)) return false;
  // The position goes out as two words: what does not fit 32 bits would arrive as another number.
  if (e.positionEnabled && !e.torqueEnabled &&
      !Within(e.position, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()))
    return false;
  return true;
}

std::array<std::uint16_t, 7> ProfileWords(const ProfileEntry& e) {
  std::int64_t mode = e.f001 + 8 * e.f002 + 64 * e.f003;
  if (e.f257Enabled) mode += 512 * static_cast<std::int64_t>(e.f257);
  const int flags = (e.enable ? 1 : 0) | (e.run ? 2 : 0) | (e.reset ? 4 : 0) | (e.home ? 8 : 0) | (e.dir ? 16 : 0);
  std::uint16_t w915 = 0, w916 = 0;
  if (e.torqueEnabled) {
    w915 = Low16(e.torque);
  } else if (e.positionEnabled) {
    const auto position = static_cast<std::uint32_t>(static_cast<std::int32_t>(e.position));
    w915 = static_cast<std::uint16_t>(position & 0xFFFF);
    w916 = static_cast<std::uint16_t>(position >> 16);
  }
  return {Low16(mode), static_cast<std::uint16_t>(flags), Low16(e.accel), Low16(e.decel), Low16(e.speed), w915, w916};
}

}  // namespace ui
