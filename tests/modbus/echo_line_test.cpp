// A line that sends every request back ahead of the drive's answer (a 2-wire RS-485 adapter
// without echo suppression): a write is done only on the drive's own answer, and every result
// is the one the same drive gives on a line without echo.
#include "fake_drive.h"

namespace kvtest {
namespace {

using simdrive::Fault;
using simdrive::FaultKind;

class EchoLineTest : public FakeDriveTest {
 protected:
  // A new port on the same drive, with or without the line echo.
  void Reopen(bool echo) {
    auto fake = std::make_unique<simdrive::FakePort>(*drive);
    fake->EchoLine(echo);
    port = fake.get();
    core::OpenPortOn(std::move(fake));
  }
};

// After the probe, as Link does it: good, refused, unanswered and damaged writes of every
// kind, a toggle and a read, with the results the line without echo gives.
TEST_F(EchoLineTest, WritesGiveTheResultsOfALineWithoutEcho) {
  const std::vector<core::TransactionResult> expected = {0, 0, 259, 2, 0, 258, 2, 0, 0, 2, 0, 0};
  for (bool echo : {false, true}) {
    Reopen(echo);
    drive->ClearFault();
    drive->SetHolding(1, 10, 0);
    drive->SetCoil(1, 3, false);
    std::vector<core::TransactionResult> results;
    results.push_back(core::ReadDeviceId(1));
    EXPECT_EQ(core::PortLineEcho(), echo ? core::LineEcho::Echoes : core::LineEcho::Quiet);
    results.push_back(core::WriteWord(1, 10, 77));
    drive->SetFault({FaultKind::Exception, 3, 1, 6});
    results.push_back(core::WriteWord(1, 10, 88));
    drive->SetFault({FaultKind::Silence, 0, 2, 6});
    results.push_back(core::WriteWord(1, 10, 99));
    results.push_back(core::WriteBit(1, 3, 1));
    drive->SetFault({FaultKind::Exception, 2, 1, 5});
    results.push_back(core::WriteBit(1, 4, 1));
    drive->SetFault({FaultKind::Ignore, 0, 2, 5});
    results.push_back(core::WriteBit(1, 4, 1));
    drive->SetFault({FaultKind::BadCrc, 0, 1, 6});
    results.push_back(core::WriteWord(1, 11, 5));
    results.push_back(core::WriteLong(1, 20, 0x00020001));
    drive->SetFault({FaultKind::Ignore, 0, 2, 16});
    results.push_back(core::WriteLong(1, 20, 0x00040003));
    results.push_back(core::ToggleBit(1, 3));
    std::uint32_t v = 0;
    results.push_back(core::ReadWord(1, 10, 1, v));
    EXPECT_EQ(results, expected) << "echo " << echo;
    EXPECT_EQ(v, 99u) << echo;  // the silent drive stored the value; no write was reported done
    EXPECT_EQ(drive->Holding(1, 11), 5) << echo;
    EXPECT_EQ(drive->Holding(1, 20), 1) << echo;
    EXPECT_FALSE(drive->Coil(1, 3)) << echo;  // on, then toggled off
  }
}

// No drive behind the echoing line: the probe's copy shows the echo, and the writes' copies
// are not taken for answers.
TEST_F(EchoLineTest, NoDriveBehindTheLineIsNoWriteDone) {
  Reopen(true);
  EXPECT_EQ(core::ReadDeviceId(9), 2);
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Echoes);
  port->ClearHistory();
  log.clear();
  EXPECT_EQ(core::WriteWord(9, 10, 1), 2);
  EXPECT_EQ(core::WriteBit(9, 10, 1), 2);
  EXPECT_EQ(core::ToggleWord(9, 10, 1), 2);
  EXPECT_EQ(Sent().size(), 2u + 2u + 2u);
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0].rfind("WriteWord - par=10 Received=8 Error=2 ", 0), 0u) << log[0];
}

// A write as the first operation of a port not yet known to echo waits behind the copy until
// its time-out: the drive's answer or exception behind it decides and shows the echo. On a
// line without echo that wait is the only cost, until a reply shows the line: then a write
// takes its answer at once, as before.
TEST_F(EchoLineTest, AWriteBeforeTheLineIsKnown) {
  Reopen(true);
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Unknown);
  EXPECT_EQ(core::WriteWord(1, 10, 7), 0);
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Echoes);
  Reopen(true);
  drive->SetFault({FaultKind::Exception, 3, 1, 6});
  EXPECT_EQ(core::WriteWord(1, 10, 8), 259);
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Echoes);

  drive->ClearFault();
  Reopen(false);
  auto start = port->Now();
  EXPECT_EQ(core::WriteWord(1, 10, 9), 0);
  EXPECT_EQ(port->Now() - start, std::chrono::milliseconds(platform::ReadTimeoutMs(8)));
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Unknown);
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 10, 1, v), 0);
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Quiet);
  start = port->Now();
  EXPECT_EQ(core::WriteWord(1, 10, 10), 0);
  EXPECT_EQ(core::WriteBit(1, 10, 1), 0);
  EXPECT_EQ(port->Now(), start);
  EXPECT_EQ(drive->Holding(1, 10), 10);
}

// What was learnt of a line goes with its port.
TEST_F(EchoLineTest, ClosingThePortForgetsTheEcho) {
  Reopen(true);
  ASSERT_EQ(core::ReadDeviceId(1), 0);
  ASSERT_EQ(core::PortLineEcho(), core::LineEcho::Echoes);
  core::ClosePort();
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Unknown);
  core::LearnPortLineEcho(core::LineEcho::Echoes);  // no port: nothing to learn
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Unknown);
  Reopen(true);
  ASSERT_EQ(core::ReadDeviceId(1), 0);
  Reopen(false);
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Unknown);
  EXPECT_EQ(core::WriteWord(1, 10, 3), 0);
}

}  // namespace
}  // namespace kvtest
