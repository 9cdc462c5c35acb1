// Reply judging over arbitrary bytes: the first byte picks the operation (and what is known of
// the line's echo), the rest is split into the replies of its tries. Each operation must end with a known result.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/common.h"
#include "core/modbus.h"
#include "core/serial_link.h"
#include "tests/modbus/every_operation.h"
#include "tests/modbus/skipping_clock.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/fake_port.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static simdrive::Drive drive("V", "P", "R");
  static kvtest::SkippingClock clock;  // the pauses before the requests cost no time
  core::SetPauseClock(&clock);
  auto owned = std::make_unique<simdrive::FakePort>(drive);
  simdrive::FakePort* port = owned.get();
  core::OpenPortOn(std::move(owned));
  // The line as known before the operation: neither way, echoing or without echo.
  core::LearnPortLineEcho(static_cast<core::LineEcho>((data[0] >> 6) % 3));
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
  kvtest::OperationOutputs out;
  if (!kvtest::KnownResult(kvtest::RunOperation(op, out, static_cast<char>(op)))) __builtin_trap();
  core::ClosePort();
  return 0;
}
