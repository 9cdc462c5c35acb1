// A port whose device went away (adapter unplugged, line closed) ends every operation at once.
#include "every_operation.h"
#include "fake_drive.h"
#include "tools/simdrive/pty_server.h"

namespace kvtest {
namespace {

using PortFailureTest = FakeDriveTest;

TEST_F(PortFailureTest, EveryOperationEndsAtOnceOnAFailedPort) {
  port->UnplugAfter(0);
  for (int op = 0; op < kOperationCount; ++op) {
    OperationOutputs out;
    const auto start = port->Now();
    const auto paused = clock.Elapsed();
    EXPECT_EQ(RunOperation(op, out), core::kResultPortFailed) << op;
    EXPECT_EQ(port->Now(), start) << op;  // no read waited for its time-out
    EXPECT_LE(clock.Elapsed() - paused, std::chrono::milliseconds(5)) << op;  // nor a second try paused
  }
}

// The device going away while a reply is awaited ends the operation then, not at its read time-out.
TEST_F(PortFailureTest, EveryOperationEndsWhenThePortFailsDuringARead) {
  for (int op = 0; op < kOperationCount; ++op) {
    auto fake = std::make_unique<simdrive::FakePort>(*drive);
    port = fake.get();
    core::OpenPortOn(std::move(fake));
    port->UnplugDuringNextReply(5);
    OperationOutputs out;
    const auto start = port->Now();
    EXPECT_EQ(RunOperation(op, out), core::kResultPortFailed) << op;
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(port->Now() - start).count(), 5) << op;
  }
}

TEST(TermiosPortFailureTest, TheFarEndClosingFailsThePortAndEndsAReadAtOnce) {
  simdrive::Drive drive("Kestravel", "KV100", "1.00");
  simdrive::PtyServer server(drive);
  ASSERT_TRUE(server.Start());
  platform::SerialPort port;
  ASSERT_TRUE(port.Open(server.SlavePath(), {}));
  server.Stop();
  std::uint8_t buffer[8];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.ReadWithin(buffer, 7, 20000), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(port.Failed());
}

}  // namespace
}  // namespace kvtest
