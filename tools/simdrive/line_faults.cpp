#include "tools/simdrive/line_faults.h"

namespace simdrive {

bool LineFaultPlayer::Chance(int percent) {
  if (percent <= 0) return false;
  return static_cast<int>(random_() % 100) < percent;
}

std::vector<std::uint8_t> LineFaultPlayer::CopyOf(const std::uint8_t* data, std::size_t n) {
  lastDelayMs_ = 0;
  if (!faults_.echo || n == 0) return {};
  ++requests_;
  // Both chances are drawn for every request, so that a lost copy does not shift the others.
  const bool lose = Chance(faults_.copyLossPercent);
  const bool damage = Chance(faults_.copyDamagePercent);
  if (faults_.lostCopies.count(requests_) > 0 || lose) {
    ++lost_;
    return {};
  }
  if (faults_.lateCopies.count(requests_) > 0) lastDelayMs_ = faults_.copyDelayMs;
  std::vector<std::uint8_t> copy(data, data + n);
  if (damage) {
    copy.back() ^= 0x5A;
    ++damaged_;
  }
  return copy;
}

}  // namespace simdrive
