// A port whose device goes away (an unplugged adapter, the far end of a pseudo-terminal closed)
// against a drive that only falls silent: the first fails the port and ends every operation at
// once, the second keeps its time-outs.
#include <chrono>
#include <thread>

#include "every_operation.h"
#include "fake_drive.h"
#include "tools/simdrive/pty_server.h"

namespace kvtest {
namespace {

using PortFailureTest = FakeDriveTest;

TEST_F(PortFailureTest, EveryOperationEndsAtOnceOnAFailedPortButNotOnASilentDrive) {
  drive->SetFault({simdrive::FaultKind::Silence, 0, -1});
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), core::kResultBadReply);
  EXPECT_FALSE(core::PortFailed());
  port->UnplugAfter(0);
  for (int op = 0; op < kOperationCount; ++op) {
    OperationOutputs out;
    const auto start = port->Now();
    const auto paused = clock.Elapsed();
    EXPECT_EQ(RunOperation(op, out), core::kResultPortFailed) << op;
    EXPECT_EQ(port->Now(), start) << op;  // no read waited for its time-out
    EXPECT_LE(clock.Elapsed() - paused, std::chrono::milliseconds(5)) << op;  // nor a second try paused
  }
  EXPECT_TRUE(core::PortFailed());
  EXPECT_EQ(drive->RequestCount(), 2);
}

TEST(TermiosPortFailureTest, TheFarEndClosingFailsThePortAndASilentFarEndDoesNot) {
  simdrive::Drive drive("Kestravel", "KV100", "1.00");
  simdrive::PtyServer server(drive);
  ASSERT_TRUE(server.Start());
  platform::SerialPort port;
  ASSERT_TRUE(port.Open(server.SlavePath(), {}));
  const std::uint8_t request[] = {1, 3, 0, 1, 0, 1, 0xD5, 0xCA};
  std::uint8_t buffer[8];
  EXPECT_EQ(port.Write(request, sizeof request), sizeof request);
  EXPECT_EQ(port.ReadWithin(buffer, 7, 100), 0u);  // nobody answers: a time-out, no failure
  EXPECT_FALSE(port.Failed());
  // The far end closes while a read waits: the read returns long before its time-out.
  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    server.Stop();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.ReadWithin(buffer, 7, 20000), 0u);
  closer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(port.Failed());
  EXPECT_EQ(port.Write(request, sizeof request), 0u);
}

}  // namespace
}  // namespace kvtest
