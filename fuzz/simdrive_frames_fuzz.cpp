// The simulated drive's framing over arbitrary line bytes: no crash, and every reply it sends
// carries a correct CRC (unless a fault spoils it, and none is set here).
#include <cstddef>
#include <cstdint>

#include "tools/simdrive/drive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  simdrive::Drive drive("Vendor", "Product", "Revision");
  drive.AddStation(1);
  drive.AddStation(2);
  // Feed in two pieces, so that frames split across reads are framed too.
  std::size_t half = size / 2;
  for (auto [from, n] : {std::pair{data, half}, std::pair{data + half, size - half}}) {
    for (const auto& reply : drive.Receive(from, n)) {
      const auto& b = reply.bytes;
      if (b.size() < 5) __builtin_trap();
      std::uint16_t crc = simdrive::Crc(b.data(), b.size() - 2);
      if (b[b.size() - 2] != (crc & 0xFF) || b[b.size() - 1] != (crc >> 8)) __builtin_trap();
    }
  }
  return 0;
}
