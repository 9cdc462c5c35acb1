// Reply judging over arbitrary bytes: the first byte picks the operation, the rest is split
// into the replies of its tries. Each operation must end with a known result.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/common.h"
#include "core/modbus.h"
#include "core/param_access.h"
#include "core/serial_link.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/fake_port.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static simdrive::Drive drive("V", "P", "R");
  auto owned = std::make_unique<simdrive::FakePort>(drive);
  simdrive::FakePort* port = owned.get();
  core::OpenPortOn(std::move(owned));
  core::State().LogMemo = [](const std::string& line) {
    if (line.empty()) __builtin_trap();
  };
  const std::uint8_t op = data[0];
  const std::uint8_t split = data[1];
  data += 2;
  size -= 2;
  std::size_t first = size == 0 ? 0 : split % (size + 1);
  for (int i = 0; i < 2; ++i) {
    port->ScriptReply(std::vector<std::uint8_t>(data, data + first));
    port->ScriptReply(std::vector<std::uint8_t>(data + first, data + size));
  }
  std::uint32_t v = 0;
  float f = 0;
  std::array<std::uint16_t, 16> block{};
  std::string text;
  core::TransactionResult r = 0;
  switch (op % 16) {
    case 0: r = core::ReadWord(1, 1, 1, v); break;
    case 1: r = core::ReadWord(1, 1, 2, v); break;
    case 2: r = core::ReadFloat(1, 1, f); break;
    case 3: r = core::ReadInput(1, 1, 1, v); break;
    case 4: r = core::ReadInputFloat(1, 1, f); break;
    case 5: r = core::ReadBit(1, 1, v); break;
    case 6: r = core::WriteWord(1, 1, 7); break;
    case 7: r = core::WriteLong(1, 1, 7); break;
    case 8: r = core::WriteProfile(1, 1, {}); break;
    case 9: r = core::WriteBit(1, 1, 1); break;
    case 10: r = core::ReadBlock16(1, 1, block); break;
    case 11: r = core::WriteBlock16(1, 1, block); break;
    case 12: r = core::ReadDeviceId(1); break;
    case 13: r = core::ToggleBit(1, 1); break;
    case 14: r = core::ToggleWord(1, 1, 3); break;
    default: r = core::ReadMonitorItem(1, core::MonitorItem{static_cast<char>(op), op, 2, {}}, text); break;
  }
  if (!(r <= 3 || (r >= 256 && r <= 511))) __builtin_trap();
  core::ClosePort();
  return 0;
}
