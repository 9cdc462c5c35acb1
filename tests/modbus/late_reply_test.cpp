// Replies that do not answer the request waiting for them: late replies to earlier requests,
// replies from other stations, of other functions, byte counts or echoes, and bytes waiting on
// the line before the request. None of them may become a value or a write's result.
#include "every_operation.h"
#include "fake_drive.h"

namespace kvtest {
namespace {

using simdrive::Fault;
using simdrive::FaultKind;

// Both tries of the next requests (of one function, 0 any) answered 200 ms late.
constexpr Fault Late(int function = 0) { return {FaultKind::Delay, 200, 2, function}; }

using LateReplyTest = FakeDriveTest;

TEST_F(LateReplyTest, ALateReplyToOneRegisterNeverBecomesTheNextRegistersValue) {
  drive->SetHolding(1, 2, 927);
  drive->SetHolding(1, 3, 267);
  drive->SetHolding(1, 4, 300);
  std::uint32_t v = 0;
  // Both tries of register 2 are answered 200 ms late, so those replies come while register
  // 3 is asked; they have the same station, function and byte count as its answer.
  drive->SetFault(Late());
  EXPECT_EQ(core::ReadWord(1, 2, 1, v), 2);
  EXPECT_EQ(core::ReadWord(1, 3, 1, v), 0);
  EXPECT_EQ(v, 267u);
  // The line is clean again: the next read takes one try.
  port->ClearHistory();
  EXPECT_EQ(core::ReadWord(1, 4, 1, v), 0);
  EXPECT_EQ(v, 300u);
  EXPECT_EQ(Sent().size(), 1u);

  // A two-register read's late replies during a one-register read: told apart by their byte
  // count (the busy drive answers the new request only after them, so on the second try).
  drive->SetFault(Late());
  EXPECT_EQ(core::ReadWord(1, 2, 2, v), 2);
  v = 0;
  EXPECT_EQ(core::ReadWord(1, 4, 1, v), 0);
  EXPECT_EQ(v, 300u);
}

// The station probe leaves no guard: the read after a probe nobody answered goes out at once.
TEST_F(LateReplyTest, AnUnansweredProbeLeavesNoGuard) {
  std::uint32_t v = 0;
  drive->SetFault({FaultKind::Silence, 0, 2});
  EXPECT_EQ(core::ReadDeviceId(1), 2);
  const auto start = port->Now();
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), 0);
  EXPECT_EQ(port->Now(), start);
}

TEST_F(LateReplyTest, ALostRequestDoesNotShiftTheRepliesOfTheNextOnes) {
  // The drive drops both tries of one request: nothing of it is late, and every read after it
  // takes one try.
  for (std::uint16_t r = 10; r < 20; ++r) drive->SetHolding(1, r, static_cast<std::uint16_t>(r * 11));
  drive->SetFault({FaultKind::Ignore, 0, 2});
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 10, 1, v), 2);
  for (std::uint16_t r = 11; r < 20; ++r) {
    v = 0;
    ASSERT_EQ(core::ReadWord(1, r, 1, v), 0) << r;
    EXPECT_EQ(v, r * 11u) << r;
  }
  EXPECT_EQ(Sent().size(), 2u + 9u);
}

TEST_F(LateReplyTest, AFirstReplyLateWithinTheGuardIsDrainedAndTheSecondTryAnswers) {
  std::uint32_t v = 0;
  // The first try's reply comes 300 ms late, or as late as the guard allows (the drive then
  // answers the second try at once). Neither that reply nor the second try's may be left on
  // the line for the next operations.
  const int latest = platform::ReadTimeoutMs(7) + static_cast<int>(core::kLateReplyGuard.count()) - 1;
  for (int late : {300, latest}) {
    drive->SetHolding(1, 200, 0x1111);
    drive->SetFault({FaultKind::Delay, late, 1});
    port->ClearHistory();
    ASSERT_EQ(core::ReadWord(1, 200, 1, v), 0) << late;
    EXPECT_EQ(v, 0x1111u);
    EXPECT_EQ(Sent().size(), 2u);
    ASSERT_EQ(core::WriteWord(1, 200, 0x2222), 0);
    ASSERT_EQ(core::ReadWord(1, 200, 1, v), 0);
    EXPECT_EQ(v, 0x2222u) << late;
  }
  // Both tries of a long write echoed late; the next long write to the same registers loses
  // its first request. Function 16 echoes address and quantity only: the late echo would
  // pass for its answer.
  drive->SetFault({FaultKind::Delay, 200, 2, 16});
  EXPECT_EQ(core::WriteLong(1, 40, 0x11112222), 2);
  drive->SetFault({FaultKind::Ignore, 0, 1});
  EXPECT_EQ(core::WriteLong(1, 40, 0x33334444), 0);
  EXPECT_EQ(drive->Holding(1, 40), 0x4444);
  EXPECT_EQ(drive->Holding(1, 41), 0x3333);
}

TEST_F(LateReplyTest, AnOperationWaitsOneGuardAtMostAndItsUndrainedRetryTakesNoStaleValue) {
  const auto twoTries = std::chrono::milliseconds(2 * platform::ReadTimeoutMs(7));
  std::uint32_t v = 0;
  // Right after an operation that went unanswered, the next one drains before its first try,
  // and its second try goes out without a drain. The first try answered late: in the second
  // try's wait (80 ms) that reply is the register's value; later (200 ms; the drive answers
  // the second try only behind it) the read fails as it would without any guard. Either way
  // what comes behind is drained before the write, so the read after it sees the write.
  for (int late : {80, 200}) {
    drive->SetHolding(1, 200, 0x1111);
    drive->SetFault({FaultKind::Silence, 0, 2});
    EXPECT_EQ(core::ReadWord(1, 3, 1, v), 2);
    drive->SetFault({FaultKind::Delay, late, 1});
    port->ClearHistory();
    const auto start = port->Now();
    v = 0;
    EXPECT_EQ(core::ReadWord(1, 200, 1, v), late == 80 ? 0 : 2) << late;
    EXPECT_LE(port->Now() - start, core::kLateReplyGuard + twoTries) << late;
    EXPECT_EQ(v, late == 80 ? 0x1111u : 0u);
    EXPECT_EQ(Sent().size(), 2u);
    ASSERT_EQ(core::WriteWord(1, 200, 0x2222), 0) << late;
    ASSERT_EQ(core::ReadWord(1, 200, 1, v), 0) << late;
    EXPECT_EQ(v, 0x2222u) << late;
    EXPECT_EQ(drive->Holding(1, 200), 0x2222);
  }
  // The undrained second try took the first one's reply; its own comes behind it, later than
  // a guard after the first try gave up but within one after the operation: it is drained
  // before the next read, which sees the register's new value.
  drive->SetFault({FaultKind::Silence, 0, 2});
  EXPECT_EQ(core::ReadWord(1, 3, 1, v), 2);
  drive->ClearFault();
  port->ScriptReply(WithCrc({1, 3, 2, 0x11, 0x11}), 100);
  port->ScriptReply(WithCrc({1, 3, 2, 0x11, 0x11}), 100 + static_cast<int>(core::kLateReplyGuard.count()) - 86);
  ASSERT_EQ(core::ReadWord(1, 200, 1, v), 0);
  drive->SetHolding(1, 200, 0x3333);
  ASSERT_EQ(core::ReadWord(1, 200, 1, v), 0);
  EXPECT_EQ(v, 0x3333u);
  // A drive that stopped answering: every operation fails within its two tries and one guard.
  drive->SetFault({FaultKind::Silence, 0, -1});
  for (int i = 0; i < 3; ++i) {
    const auto start = port->Now();
    EXPECT_EQ(core::ReadWord(1, 4, 1, v), 2);
    EXPECT_LE(port->Now() - start, core::kLateReplyGuard + twoTries) << i;
  }
}

TEST_F(LateReplyTest, OnlyATryThatHeardNothingCostsTheGuard) {
  drive->SetHolding(1, 4, 44);
  std::uint32_t v = 0;
  const auto twoTries = std::chrono::milliseconds(2 * platform::ReadTimeoutMs(7));
  auto took = [&](auto run) {
    const auto start = port->Now();
    port->ClearHistory();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(v, 44u);
    return port->Now() - start;
  };
  auto read = [&] { return core::ReadWord(1, 4, 1, v); };
  // Right after an operation that got no reply, a damaged reply: the guard, then one retry.
  drive->SetFault({FaultKind::Silence, 0, 2});
  EXPECT_EQ(core::ReadWord(1, 3, 1, v), 2);
  drive->SetFault({FaultKind::BadCrc, 0, 1});
  EXPECT_LE(took(read), core::kLateReplyGuard + twoTries);
  EXPECT_EQ(Sent().size(), 2u);
  // A reply with a damaged CRC or cut short is tried again at once: the drive answered.
  for (auto fault : {Fault{FaultKind::BadCrc, 0, 1}, Fault{FaultKind::Length, -1, 1}}) {
    drive->SetFault(fault);
    EXPECT_LE(took(read), twoTries);
    EXPECT_EQ(Sent().size(), 2u);
  }
  // A write answered with another value ends at once, and costs the next request nothing.
  drive->SetFault({FaultKind::WrongValue, 0, 1, 6});
  EXPECT_EQ(core::WriteWord(1, 4, 44), 3);
  EXPECT_LE(took(read), twoTries / 2);
  // A reply behind a noise byte is taken in the same try.
  port->NoiseBeforeNextReply({0x01});
  EXPECT_LE(took(read), twoTries / 2);
  EXPECT_EQ(Sent().size(), 1u);
  // A silent station costs its two read time-outs and the guard between them, and the others
  // nothing.
  const auto silentFrom = port->Now();
  EXPECT_EQ(core::ReadWord(5, 4, 1, v), 2);
  EXPECT_EQ(port->Now() - silentFrom, core::kLateReplyGuard + twoTries);
  EXPECT_LE(took(read), twoTries / 2);
  // A whole damaged reply ends its try once the line is quiet, unless an answer follows; a cut one waits.
  for (int op : {0, 6, 12}) {
    OperationOutputs out;
    drive->SetFault({FaultKind::BadCrc, 0, 1});
    EXPECT_LT(took([&] { return RunOperation(op, out); }), twoTries / 2) << op;
    EXPECT_EQ(Sent().size(), op == 6 ? 3u : 2u) << op;  // a word write's answer is confirmed by a read
  }
  drive->SetFault({FaultKind::Silence, 0, 1});
  port->Inject({1, 3, 2, 0, 44, 0x12, 0x34}, 1);
  port->Inject(WithCrc({1, 3, 2, 0, 44}), 10);
  EXPECT_LT(took(read), twoTries / 2);
  EXPECT_EQ(Sent().size(), 1u);
  drive->SetFault({FaultKind::Length, -1, 1});
  EXPECT_GE(took(read), twoTries / 2);
}

TEST_F(LateReplyTest, ALateWriteEchoIsNeitherTheAnswerNorAWrongEcho) {
  drive->SetFault(Late(6));
  EXPECT_EQ(core::WriteWord(1, 5, 9), 2);
  log.clear();
  EXPECT_EQ(core::WriteWord(1, 5, 10), 0);
  EXPECT_EQ(drive->Holding(1, 5), 10);
  EXPECT_TRUE(log.empty());
  // Function 16 echoes only address and quantity: a late echo of another long write to the
  // same register is not taken for this one's either.
  drive->SetFault(Late(16));
  EXPECT_EQ(core::WriteLong(1, 40, 0x11112222), 2);
  drive->ClearFault();
  drive->SetHolding(1, 40, 0);
  EXPECT_EQ(core::WriteLong(1, 40, 0x33334444), 0);
  EXPECT_EQ(drive->Holding(1, 40), 0x4444);
  EXPECT_EQ(drive->Holding(1, 41), 0x3333);
}

TEST_F(LateReplyTest, ForeignFramesAheadOfTheAnswerAreSkipped) {
  drive->SetHolding(1, 3, 0x0102);
  drive->SetHolding(1, 5, 7);
  const std::vector<std::vector<std::uint8_t>> foreign = {
      WithCrc({7, 3, 2, 0x12, 0x34}),              // another station
      WithCrc({1, 4, 2, 0x12, 0x34}),              // another function
      WithCrc({1, 3, 4, 0x12, 0x34, 0x56, 0x78}),  // another byte count
      WithCrc({1, 0x84, 2}),                       // another function's exception
      WithCrc({1, 6, 0, 3, 0x12, 0x34}),           // a write's echo
      {0x01, 0x03, 0x02, 0xFF},                    // a torn frame
  };
  for (const auto& frame : foreign) {
    std::uint32_t v = 0;
    port->ClearHistory();
    port->NoiseBeforeNextReply(frame);
    ASSERT_EQ(core::ReadWord(1, 3, 1, v), 0);
    EXPECT_EQ(v, 0x0102u);
    EXPECT_EQ(Sent().size(), 1u);  // found behind it in the same try
  }
  // All of them in one run, ahead of a write's answer, and another address's echo.
  std::vector<std::uint8_t> run;
  for (const auto& frame : foreign) run.insert(run.end(), frame.begin(), frame.end());
  auto otherAddress = WithCrc({1, 6, 0, 6, 0, 8});
  run.insert(run.end(), otherAddress.begin(), otherAddress.end());
  port->NoiseBeforeNextReply(run);
  log.clear();
  EXPECT_EQ(core::WriteWord(1, 5, 8), 0);
  EXPECT_TRUE(log.empty());

  // Foreign frames and no answer: the read fails and keeps its out value; the write's reply
  // of another station is no exception reply.
  std::uint32_t v = 99;
  for (int i = 0; i < 2; ++i) port->ScriptReply(WithCrc({7, 3, 2, 0, 1}));
  EXPECT_EQ(core::ReadWord(1, 3, 1, v), 2);
  EXPECT_EQ(v, 99u);
  for (int i = 0; i < 2; ++i) port->ScriptReply(WithCrc({2, 0x86, 3}));
  EXPECT_EQ(core::WriteWord(1, 5, 8), 2);
  // Our station's exception to our function ends a write at once.
  port->ClearHistory();
  port->ScriptReply(WithCrc({1, 0x86, 3}));
  EXPECT_EQ(core::WriteWord(1, 5, 8), 259);
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(LateReplyTest, BytesWaitingBeforeTheRequestAreDropped) {
  drive->SetHolding(1, 3, 33);
  // A reply that arrived unasked before the request: same shape as the answer.
  port->Inject(WithCrc({1, 3, 2, 0, 99}));
  std::uint32_t v = 0;
  ASSERT_EQ(core::ReadWord(1, 3, 1, v), 0);
  EXPECT_EQ(v, 33u);
  // One that is still on its way when the request goes out is skipped as well: it fits no
  // request that is waiting for a reply.
  port->Inject(WithCrc({1, 6, 0, 3, 0, 99}), 1);
  EXPECT_EQ(core::WriteWord(1, 3, 34), 0);
  EXPECT_EQ(drive->Holding(1, 3), 34);
}

TEST_F(LateReplyTest, TogglesJudgeTheirStepsAlike) {
  drive->SetHolding(1, 948, 4);
  // The read step's late reply comes during the next toggle's read step.
  drive->SetFault(Late(3));
  EXPECT_EQ(core::ToggleWord(1, 948, 1), 2);
  drive->SetHolding(1, 948, 8);
  EXPECT_EQ(core::ToggleWord(1, 948, 1), 0);
  EXPECT_EQ(drive->Holding(1, 948), 9);
  // A write step answered with another value is wrong content, without a further try.
  drive->SetFault({FaultKind::WrongValue, 0, -1, 5});
  port->ClearHistory();
  EXPECT_EQ(core::ToggleBit(1, 7), 3);
  EXPECT_EQ(Sent().size(), 2u);
}

}  // namespace
}  // namespace kvtest
