// A port whose device goes away (an unplugged adapter, the far end of a pseudo-terminal closed,
// the simulated drive's program killed) against a drive that only falls silent: the first is a
// port failure that ends every operation at once, the second keeps its time-outs.
#include <signal.h>

#include <chrono>
#include <thread>

#include "child_process.h"
#include "every_operation.h"
#include "fake_drive.h"
#include "tools/simdrive/pty_server.h"

namespace kvtest {
namespace {

using Clock = std::chrono::steady_clock;
using simdrive::FaultKind;

using PortFailureTest = FakeDriveTest;

TEST_F(PortFailureTest, EveryOperationEndsAtOnceOnAFailedPort) {
  port->UnplugAfter(0);
  for (int op = 0; op < kOperationCount; ++op) {
    OperationOutputs out;
    const auto start = port->Now();
    const auto paused = clock.Elapsed();
    EXPECT_EQ(RunOperation(op, out), core::kResultPortFailed) << op;
    EXPECT_EQ(port->Now(), start) << op;  // no read waited for its time-out
    EXPECT_LE(clock.Elapsed() - paused, std::chrono::milliseconds(5)) << op;  // and no second try paused
    EXPECT_EQ(out.value, OperationOutputs{}.value) << op;
  }
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(drive->RequestCount(), 0);
  EXPECT_TRUE(core::PortFailed());
  // A new port starts sound.
  core::OpenPortOn(std::make_unique<simdrive::FakePort>(*drive));
  EXPECT_FALSE(core::PortFailed());
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), core::kResultOk);
}

TEST_F(PortFailureTest, APortThatFailsBetweenTheTriesMakesNoFurtherRequest) {
  // The first try goes unanswered, the port fails before the second.
  drive->SetFault({FaultKind::Silence, 0, -1});
  port->UnplugAfter(1);
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), core::kResultPortFailed);
  EXPECT_EQ(drive->RequestCount(), 1);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].rfind("ReadWord - par=1 Received=0 Error=7", 0), 0u);
  // A toggle whose port fails after its read step writes nothing.
  drive->ClearFault();
  core::OpenPortOn(std::make_unique<simdrive::FakePort>(*drive));
  auto* fresh = static_cast<simdrive::FakePort*>(core::CurrentPort());
  fresh->UnplugAfter(1);
  EXPECT_EQ(core::ToggleBit(1, 5), core::kResultPortFailed);
  EXPECT_EQ(fresh->SentFrames().size(), 1u);
  EXPECT_FALSE(drive->Coil(1, 5));
}

TEST_F(PortFailureTest, ASilentDriveIsNoPortFailure) {
  drive->SetFault({FaultKind::Silence, 0, -1});
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), core::kResultBadReply);
  EXPECT_EQ(core::WriteWord(1, 1, 1), core::kResultBadReply);
  EXPECT_EQ(core::ReadDeviceId(1), core::kResultBadReply);
  EXPECT_FALSE(core::PortFailed());
  EXPECT_EQ(drive->RequestCount(), 6);
}

// The termios port on a pseudo-terminal whose far end (the simulated drive's server) closes.
TEST(TermiosPortFailureTest, TheFarEndClosingFailsThePortAndASilentFarEndDoesNot) {
  simdrive::Drive drive("Kestravel", "KV100", "1.00");
  drive.AddStation(1);
  drive.SetFault({FaultKind::Silence, 0, -1});
  simdrive::PtyServer server(drive);
  ASSERT_TRUE(server.Start());
  platform::SerialPort port;
  ASSERT_TRUE(port.Open(server.SlavePath(), {}));
  std::uint8_t buffer[8];
  // Silent: the read waits its time-out and the port stays sound.
  const std::uint8_t request[] = {1, 3, 0, 1, 0, 1, 0xD5, 0xCA};
  EXPECT_EQ(port.Write(request, sizeof request), sizeof request);
  EXPECT_EQ(port.ReadWithin(buffer, 7, 100), 0u);
  EXPECT_FALSE(port.Failed());

  // The far end closes while a read waits: the read returns long before its time-out.
  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    server.Stop();
  });
  const auto start = Clock::now();
  EXPECT_EQ(port.ReadWithin(buffer, 7, 20000), 0u);
  closer.join();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(port.Failed());
  EXPECT_EQ(port.Write(request, sizeof request), 0u);
  port.Close();
  EXPECT_FALSE(port.Failed());
}

TEST(TermiosPortFailureTest, KillingTheDriveProgramFailsTheLinkAtOnce) {
  TempFolder folder;
  ChildProcess program;
  ASSERT_TRUE(program.Start({KV_SIMDRIVE_PROGRAM, "--com-dir", folder.Path(), "--port", "2", "--quiet"}));
  std::string line;
  ASSERT_TRUE(program.ReadLine(line, 5000));
  core::ResetState();
  auto serial = std::make_unique<platform::SerialPort>();
  ASSERT_TRUE(serial->Open(folder.Path() + "/COM2", {}));
  core::OpenPortOn(std::move(serial));
  std::uint32_t v = 0;
  ASSERT_EQ(core::ReadWord(1, 1, 1, v), core::kResultOk);
  kill(program.Pid(), SIGKILL);
  ASSERT_GE(program.Wait(5000), 0);
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), core::kResultPortFailed);
  EXPECT_TRUE(core::PortFailed());
  EXPECT_EQ(core::WriteWord(1, 1, 1), core::kResultPortFailed);
  core::ClosePort();
  EXPECT_FALSE(core::PortFailed());
  core::ResetState();
}

}  // namespace
}  // namespace kvtest
