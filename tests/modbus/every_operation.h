// Runs one of the transactions by number (0..15), with fixed arguments: the random-reply test
// and the reply fuzz target walk every operation this way. Out values land in the arguments.
#pragma once

#include <array>
#include <string>

#include "core/modbus.h"
#include "core/param_access.h"

namespace kvtest {

constexpr int kOperationCount = 16;

struct OperationOutputs {
  std::uint32_t value = 0xDEADBEEF;
  float real = -1.25f;
  std::array<std::uint16_t, 16> block{};
  std::string text = "same";
};

inline core::TransactionResult RunOperation(int op, OperationOutputs& out, char monitorType = 'L') {
  switch (op % kOperationCount) {
    case 0: return core::ReadWord(1, 1, 1, out.value);
    case 1: return core::ReadWord(1, 1, 2, out.value);
    case 2: return core::ReadFloat(1, 1, out.real);
    case 3: return core::ReadInput(1, 1, 2, out.value);
    case 4: return core::ReadInputFloat(1, 1, out.real);
    case 5: return core::ReadBit(1, 1, out.value);
    case 6: return core::WriteWord(1, 1, 7);
    case 7: return core::WriteLong(1, 1, 7);
    case 8: return core::WriteProfile(1, 1, {});
    case 9: return core::WriteBit(1, 1, 1);
    case 10: return core::ReadBlock16(1, 1, out.block);
    case 11: return core::WriteBlock16(1, 1, out.block);
    case 12: return core::ReadDeviceId(1);
    case 13: return core::ToggleBit(1, 1);
    case 14: return core::ToggleWord(1, 1, 3);
    default: return core::ReadMonitorItem(1, core::MonitorItem{monitorType, 1, 2, {}}, out.text);
  }
}

// Results a transaction may give over any reply.
inline bool KnownResult(core::TransactionResult r) { return r <= 3 || (r >= 256 && r <= 511); }

}  // namespace kvtest
