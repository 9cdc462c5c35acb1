// Requests on the wire, reply judging, tries, results and traces of the transactions, against
// the simulated drive behind the in-process fake port.
#include <bit>
#include <chrono>
#include <functional>
#include <cstring>
#include <numeric>

#include "fake_drive.h"

namespace kvtest {
namespace {

using Bytes = std::vector<std::uint8_t>;
using simdrive::Fault;
using simdrive::FaultKind;

Fault MakeFault(FaultKind kind, int arg = 0, int count = -1, int function = 0) {
  Fault f;
  f.kind = kind;
  f.arg = arg;
  f.count = count;
  f.function = function;
  return f;
}

TEST(Crc16Test, StandardModbusCheckValues) {
  const char* check = "123456789";
  EXPECT_EQ(core::Crc16(reinterpret_cast<const std::uint8_t*>(check), 9), 0x4B37);
  EXPECT_EQ(core::Crc16(nullptr, 0), 0xFFFF);
  const std::uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
  EXPECT_EQ(core::Crc16(request, sizeof request), 0xCDC5);
  // The drive's table-driven CRC agrees over many byte runs.
  std::vector<std::uint8_t> run;
  for (int i = 0; i < 255; ++i) {
    run.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    ASSERT_EQ(core::Crc16(run.data(), run.size()), simdrive::Crc(run.data(), run.size())) << i;
  }
}

using TransactionTest = FakeDriveTest;

TEST_F(TransactionTest, EveryOperationSendsItsRequestAndReadsItsReplyLength) {
  std::uint32_t v = 0;
  float f = 0;
  std::array<std::uint16_t, 16> block{};
  std::array<std::uint16_t, 16> blockOut{};
  for (std::uint16_t i = 0; i < 16; ++i) blockOut[i] = static_cast<std::uint16_t>(0x0100 * i + i);
  std::array<std::uint16_t, 7> profile{1, 2, 3, 0x0405, 5, 6, 0xFFFF};

  EXPECT_EQ(core::ReadWord(1, 1000, 1, v), 0);
  EXPECT_EQ(core::ReadWord(1, 1000, 2, v), 0);
  EXPECT_EQ(core::ReadFloat(1, 0x1234, f), 0);
  EXPECT_EQ(core::ReadInput(1, 7, 1, v), 0);
  EXPECT_EQ(core::ReadInput(1, 7, 2, v), 0);
  EXPECT_EQ(core::ReadInputFloat(1, 8, f), 0);
  EXPECT_EQ(core::ReadBit(1, 300, v), 0);
  EXPECT_EQ(core::WriteWord(1, 20, 0xABCD), 0);
  EXPECT_EQ(core::WriteLong(1, 100, 0x00010003), 0);
  EXPECT_EQ(core::WriteFloat(1, 102, 1.5f), 0);
  EXPECT_EQ(core::WriteProfile(1, 200, profile), 0);
  EXPECT_EQ(core::WriteBit(1, 301, 1), 0);
  EXPECT_EQ(core::ReadBlock16(1, 400, block), 0);
  EXPECT_EQ(core::WriteBlock16(1, 500, blockOut), 0);
  EXPECT_EQ(core::ReadDeviceId(1), 0);

  std::uint32_t floatBits = std::bit_cast<std::uint32_t>(1.5f);
  Bytes profileRequest{1, 16, 0, 200, 0, 7, 14};
  for (auto w : profile) {
    profileRequest.push_back(static_cast<std::uint8_t>(w >> 8));
    profileRequest.push_back(static_cast<std::uint8_t>(w & 0xFF));
  }
  Bytes blockRequest{1, 16, 1, 244, 0, 16, 32};
  for (auto w : blockOut) {
    blockRequest.push_back(static_cast<std::uint8_t>(w >> 8));
    blockRequest.push_back(static_cast<std::uint8_t>(w & 0xFF));
  }
  const std::vector<Bytes> expected = {
      WithCrc({1, 3, 3, 232, 0, 1}),
      WithCrc({1, 3, 3, 232, 0, 2}),
      WithCrc({1, 3, 0x12, 0x34, 0, 2}),
      WithCrc({1, 4, 0, 7, 0, 1}),
      WithCrc({1, 4, 0, 7, 0, 2}),
      WithCrc({1, 4, 0, 8, 0, 2}),
      WithCrc({1, 1, 1, 44, 0, 1}),
      WithCrc({1, 6, 0, 20, 0xAB, 0xCD}),
      WithCrc({1, 3, 0, 20, 0, 1}),
      WithCrc({1, 16, 0, 100, 0, 2, 4, 0, 3, 0, 1}),
      WithCrc({1, 16, 0, 102, 0, 2, 4, static_cast<std::uint8_t>(floatBits >> 8), static_cast<std::uint8_t>(floatBits),
               static_cast<std::uint8_t>(floatBits >> 24), static_cast<std::uint8_t>(floatBits >> 16)}),
      WithCrc(profileRequest),
      WithCrc({1, 5, 1, 45, 0xFF, 0}),
      WithCrc({1, 1, 1, 45, 0, 1}),
      WithCrc({1, 3, 1, 144, 0, 16}),
      WithCrc(blockRequest),
      WithCrc({1, 0x2B, 0x0E, 1, 0}),
  };
  EXPECT_EQ(Sent(), expected);
  // Each reply read in two parts, what an exception reply needs and then the rest of the reply
  // length; the identification reads what its objects announce (34), not 80.
  // A word or coil write's answer, which equals its request, is listened behind for a
  // frame of the station (5 bytes asked) on this line taken as one without echo, and the read
  // of the register or coil written that follows it is read in two parts too.
  std::vector<std::size_t> sizes = port->ReadSizes();
  ASSERT_GT(sizes.size(), 34u);
  EXPECT_EQ(std::accumulate(sizes.begin() + 34, sizes.end(), std::size_t{0}), 34u);
  sizes.resize(34);
  std::vector<std::size_t> parts;
  for (std::size_t length : {7, 9, 9, 7, 9, 9, 6, 8, 8, 8, 8, 8, 37, 8}) {
    parts.insert(parts.end(), {5, length - 5});
    if (parts.size() == 16) parts.insert(parts.end(), {5, 5, 2});
    if (parts.size() == 27) parts.insert(parts.end(), {5, 5, 1});
  }
  EXPECT_EQ(sizes, parts);
  EXPECT_TRUE(log.empty());
  // The longest request is 41 bytes.
  EXPECT_EQ(expected[15].size(), 41u);
  // The writes landed in the drive's holding registers and coils.
  EXPECT_EQ(drive->Holding(1, 20), 0xABCD);
  EXPECT_EQ(drive->Holding(1, 100), 3);
  EXPECT_EQ(drive->Holding(1, 101), 1);
  EXPECT_EQ(drive->Holding(1, 206), 0xFFFF);
  EXPECT_EQ(drive->Holding(1, 515), 0x0F0F);
  EXPECT_TRUE(drive->Coil(1, 301));
}

TEST_F(TransactionTest, ReadValuesTakeTheFirstRegisterAsLowWord) {
  drive->SetHolding(1, 10, 0xFFFE);
  drive->SetHolding(1, 11, 0x8001);
  drive->SetInput(1, 10, 0x1234);  // input registers are a space of their own
  drive->SetInput(1, 11, 0x5678);
  std::uint32_t bits = std::bit_cast<std::uint32_t>(-3.25f);
  drive->SetHolding(1, 20, static_cast<std::uint16_t>(bits & 0xFFFF));
  drive->SetHolding(1, 21, static_cast<std::uint16_t>(bits >> 16));
  drive->SetInput(1, 20, static_cast<std::uint16_t>(bits & 0xFFFF));
  drive->SetInput(1, 21, static_cast<std::uint16_t>(bits >> 16));
  drive->SetCoil(1, 5, true);
  for (std::uint16_t i = 0; i < 16; ++i) drive->SetHolding(1, static_cast<std::uint16_t>(600 + i), static_cast<std::uint16_t>(i * 1000));

  std::uint32_t v = 0;
  ASSERT_EQ(core::ReadWord(1, 10, 1, v), 0);
  EXPECT_EQ(v, 0xFFFEu);  // zero-extended
  ASSERT_EQ(core::ReadWord(1, 10, 2, v), 0);
  EXPECT_EQ(v, 0x8001FFFEu);
  ASSERT_EQ(core::ReadInput(1, 10, 2, v), 0);
  EXPECT_EQ(v, 0x56781234u);
  float f = 0;
  ASSERT_EQ(core::ReadFloat(1, 20, f), 0);
  EXPECT_FLOAT_EQ(f, -3.25f);
  ASSERT_EQ(core::ReadInputFloat(1, 20, f), 0);
  EXPECT_FLOAT_EQ(f, -3.25f);
  ASSERT_EQ(core::ReadBit(1, 5, v), 0);
  EXPECT_EQ(v, 1u);
  std::array<std::uint16_t, 16> block{};
  ASSERT_EQ(core::ReadBlock16(1, 600, block), 0);
  for (std::uint16_t i = 0; i < 16; ++i) EXPECT_EQ(block[i], i * 1000);
  // A float register pair of zero reads back as the tiny value the read adds.
  ASSERT_EQ(core::ReadFloat(1, 30, f), 0);
  EXPECT_FLOAT_EQ(f, 1e-10f);
}

TEST_F(TransactionTest, OutValuesStayUnchangedOnFailure) {
  std::uint32_t v = 77;
  float f = 7.5f;
  std::array<std::uint16_t, 16> block{};
  block.fill(9);
  EXPECT_EQ(core::ReadWord(9, 1, 1, v), 2);
  EXPECT_EQ(core::ReadFloat(9, 1, f), 2);
  EXPECT_EQ(core::ReadBit(9, 1, v), 2);
  EXPECT_EQ(core::ReadBlock16(9, 1, block), 2);
  EXPECT_EQ(v, 77u);
  EXPECT_EQ(f, 7.5f);
  EXPECT_EQ(block[0], 9);
}

TEST_F(TransactionTest, SilentStationTwoTriesAndTheTrace) {
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(5, 1000, 1, v), 2);
  ASSERT_EQ(Sent().size(), 2u);
  Bytes request = WithCrc({5, 3, 3, 232, 0, 1});
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], "ReadWord - par=1000 Received=0 Error=2 CRC=65535 j=0");
  EXPECT_EQ(log[1], "      TX: 5,3,3,232,0,1," + std::to_string(request[6]) + "," + std::to_string(request[7]) + ",");
  EXPECT_EQ(log[2], "      RX: ");

  log.clear();
  EXPECT_EQ(core::WriteWord(5, 12, 1), 2);
  EXPECT_EQ(Sent().size(), 4u);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], "WriteWord - par=12 Received=0 Error=2 CRC=65535");
}

// A drive that sends every request back: a word write's frame, equal to its request, is no
// answer once the read that follows it has been sent back too (the line seems to echo).
TEST_F(TransactionTest, EchoFailsEveryReadAndTheWordWritesAfterThem) {
  drive->SetFault(MakeFault(FaultKind::Echo));
  EXPECT_EQ(core::WriteWord(1, 1, 5), 2);
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Echoes);
  log.clear();
  port->ClearHistory();
  std::uint32_t v = 0;
  float f = 0;
  std::array<std::uint16_t, 16> block{};
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), 2);
  EXPECT_EQ(core::ReadWord(1, 1, 2, v), 2);
  EXPECT_EQ(core::ReadFloat(1, 1, f), 2);
  EXPECT_EQ(core::ReadInput(1, 1, 1, v), 2);
  EXPECT_EQ(core::ReadInputFloat(1, 1, f), 2);
  EXPECT_EQ(core::ReadBit(1, 1, v), 2);
  EXPECT_EQ(core::ReadBlock16(1, 1, block), 2);
  EXPECT_EQ(Sent().size(), 14u);  // two tries each
  // The echo flag of the trace is 0 for an echo.
  EXPECT_EQ(log[0].substr(log[0].size() - 4), " j=0");
  EXPECT_EQ(core::WriteWord(1, 1, 5), 2);
}

// A line that sends every request back ahead of the answer (a 2-wire RS-485 adapter without
// echo suppression) gives every write the result of a line without echo.
TEST_F(TransactionTest, AnEchoingLineGivesTheResultsOfALineWithoutEcho) {
  // An answer that begins as its request does, read in two parts behind noise, costs no wait.
  drive->SetHolding(1, 0x205, 0x0501);
  port->NoiseBeforeNextReply({0x55, 0x55, 0x55});
  std::uint32_t v = 0;
  const auto before = port->Now();
  EXPECT_EQ(core::ReadWord(1, 0x205, 1, v), 0);
  EXPECT_EQ(port->Now(), before);
  for (bool echo : {false, true}) {
    auto fake = std::make_unique<simdrive::FakePort>(*drive);
    fake->EchoLine(echo);
    port = fake.get();
    core::OpenPortOn(std::move(fake));
    std::vector<core::TransactionResult> results;
    results.push_back(core::SettleLineEcho(1));  // as Link does
    EXPECT_EQ(core::PortLineEcho(), echo ? core::LineEcho::Echoes : core::LineEcho::Quiet) << echo;
    drive->SetFault(MakeFault(FaultKind::WrongValue, 0, 1, 6));
    results.push_back(core::WriteWord(1, 10, 2));
    results.push_back(core::ReadDeviceId(1));
    const auto start = port->Now();
    results.push_back(core::WriteWord(1, 10, 77));
    results.push_back(core::WriteBit(1, 3, 1));
    // Answered at once; without echo each answer is listened behind for the frame gap.
    EXPECT_LE(port->Now() - start, echo ? std::chrono::milliseconds(0) : 2 * (core::PortFrameGap() + std::chrono::milliseconds(1))) << echo;
    results.push_back(core::WriteBit(9, 10, 1));  // no drive at station 9
    drive->SetFault(MakeFault(FaultKind::Exception, 3, 1, 6));
    results.push_back(core::WriteWord(1, 10, 88));
    drive->SetFault(MakeFault(FaultKind::Exception, 2, 1, 5));
    results.push_back(core::WriteBit(1, 4, 1));
    drive->SetFault(MakeFault(FaultKind::Silence, 0, 2, 6));
    results.push_back(core::WriteWord(1, 10, 99));
    EXPECT_EQ(results, (std::vector<core::TransactionResult>{0, 3, 0, 0, 0, 2, 259, 258, 2})) << echo;
  }
  // On a line not known either way, a copy with a damaged answer behind it answers nothing.
  auto fake = std::make_unique<simdrive::FakePort>(*drive);
  fake->EchoLine(true);
  port = fake.get();
  core::OpenPortOn(std::move(fake));
  drive->SetFault(MakeFault(FaultKind::BadCrc, 0, 2, 6));
  EXPECT_EQ(core::WriteWord(1, 10, 5), 2);
  core::ClosePort();  // what was learnt goes with the port; with none, nothing is learnt
  core::LearnPortLineEcho(core::LineEcho::Echoes);
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Unknown);
}

TEST_F(TransactionTest, ExceptionRepliesEndWritesAtOnceButReadsTryTwice) {
  drive->SetFault(MakeFault(FaultKind::Exception, 3));
  EXPECT_EQ(core::WriteWord(1, 40, 9), 259);
  EXPECT_EQ(Sent().size(), 1u);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].rfind("WriteWord - par=40 Received=5 Error=259 CRC=", 0), 0u);
  Bytes reply = WithCrc({1, 0x86, 3});
  EXPECT_EQ(log[2], "      RX: 1,134,3," + std::to_string(reply[3]) + "," + std::to_string(reply[4]) + ",");
  EXPECT_EQ(log[0], "WriteWord - par=40 Received=5 Error=259 CRC=" +
                        std::to_string(reply[3] | reply[4] << 8));

  port->ClearHistory();
  EXPECT_EQ(core::WriteLong(1, 40, 9), 259);
  EXPECT_EQ(core::WriteBit(1, 40, 1), 259);
  EXPECT_EQ(core::WriteBlock16(1, 40, {}), 259);
  EXPECT_EQ(Sent().size(), 3u);

  port->ClearHistory();
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 40, 1, v), 2);
  EXPECT_EQ(Sent().size(), 2u);
  drive->SetFault(MakeFault(FaultKind::Exception, 2));
  EXPECT_EQ(core::WriteFloat(1, 40, 1.0f), 258);
}

TEST_F(TransactionTest, WrongEchoesAndLengthsOfWrites) {
  drive->SetFault(MakeFault(FaultKind::WrongValue));
  EXPECT_EQ(core::WriteWord(1, 2, 0x1234), 3);
  EXPECT_EQ(Sent().size(), 1u);
  drive->SetFault(MakeFault(FaultKind::WrongQuantity));
  port->ClearHistory();
  EXPECT_EQ(core::WriteLong(1, 2, 1), 3);
  EXPECT_EQ(core::WriteFloat(1, 2, 1), 3);
  std::array<std::uint16_t, 7> profile{};
  EXPECT_EQ(core::WriteProfile(1, 2, profile), 3);
  EXPECT_EQ(core::WriteBlock16(1, 2, {}), 3);
  EXPECT_EQ(Sent().size(), 4u);
  // A coil write's echoed value is checked as well.
  EXPECT_EQ(core::WriteBit(1, 2, 1), 3);

  // A CRC-correct reply of another length: result 3, and the write is tried again.
  drive->SetFault(MakeFault(FaultKind::Length, -1));
  port->ClearHistory();
  log.clear();
  EXPECT_EQ(core::WriteWord(1, 2, 1), 3);
  EXPECT_EQ(Sent().size(), 2u);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].rfind("WriteWord - par=2 Received=7 Error=3 CRC=", 0), 0u);
  drive->SetFault(MakeFault(FaultKind::Length, -2));
  port->ClearHistory();
  EXPECT_EQ(core::WriteLong(1, 2, 1), 3);
  EXPECT_EQ(Sent().size(), 2u);
  // A longer reply: its first 8 bytes fail the CRC, the rest is no reply.
  drive->SetFault(MakeFault(FaultKind::Length, 1));
  port->ClearHistory();
  EXPECT_EQ(core::WriteWord(1, 2, 1), 2);
  EXPECT_EQ(Sent().size(), 2u);

  drive->SetFault(MakeFault(FaultKind::BadCrc));
  port->ClearHistory();
  EXPECT_EQ(core::WriteWord(1, 2, 1), 2);
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(TransactionTest, BadRepliesToReads) {
  std::uint32_t v = 0;
  for (auto fault : {MakeFault(FaultKind::BadCrc), MakeFault(FaultKind::Length, 2), MakeFault(FaultKind::Length, -2)}) {
    drive->SetFault(fault);
    port->ClearHistory();
    log.clear();
    EXPECT_EQ(core::ReadWord(1, 3, 1, v), 2);
    EXPECT_EQ(Sent().size(), 2u);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].substr(log[0].size() - 4), " j=1");
  }
  // A wrong value in a read reply is content the read does not judge.
  drive->SetHolding(1, 3, 0x0100);
  drive->SetFault(MakeFault(FaultKind::WrongValue));
  EXPECT_EQ(core::ReadWord(1, 3, 1, v), 0);
  EXPECT_EQ(v, 0x0101u);
}

TEST_F(TransactionTest, TheSecondTryCountsAndLeavesNoTrace) {
  drive->SetHolding(1, 3, 42);
  drive->SetFault(MakeFault(FaultKind::Silence, 0, 1));
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 3, 1, v), 0);
  EXPECT_EQ(v, 42u);
  EXPECT_EQ(Sent().size(), 2u);
  EXPECT_TRUE(log.empty());
  // The fault hit one request only: the write and the read that confirms its answer.
  EXPECT_EQ(core::WriteWord(1, 3, 43), 0);
  EXPECT_EQ(Sent().size(), 4u);
}

TEST_F(TransactionTest, RepliesLaterThanTheTimeOutAreNotTaken) {
  drive->SetHolding(1, 3, 42);
  std::uint32_t v = 0;
  drive->SetFault(MakeFault(FaultKind::Delay, 20));
  EXPECT_EQ(core::ReadWord(1, 3, 1, v), 0);
  // Past 3 x 7 + 50 ms: the first try's reply comes during the second try's wait, and answers
  // the same question of the same operation.
  drive->SetFault(MakeFault(FaultKind::Delay, 72, 1));
  EXPECT_EQ(core::ReadWord(1, 3, 1, v), 0);
  EXPECT_EQ(v, 42u);
  // Later than both tries: the operation fails, and the two replies still on the line are not
  // taken for the next operation's, though it asks the same register.
  drive->SetFault(MakeFault(FaultKind::Delay, 200, 2));
  EXPECT_EQ(core::ReadWord(1, 3, 1, v), 2);
  drive->SetHolding(1, 3, 43);
  v = 0;
  EXPECT_EQ(core::ReadWord(1, 3, 1, v), 0);
  EXPECT_EQ(v, 43u);
}

// The fake port whose reader is held up after each request: time jumps 200 ms, past the read
// time-out, before its first look at the line, though the reply arrived at once.
class HeldUpReader : public platform::ByteLink {
 public:
  explicit HeldUpReader(std::unique_ptr<simdrive::FakePort> port) : port_(std::move(port)) {}
  std::size_t Write(const std::uint8_t* data, std::size_t n) override {
    looks_ = 0;
    return port_->Write(data, n);
  }
  void Drain() override {}
  std::size_t ReadWithin(std::uint8_t* buffer, std::size_t n, int timeoutMs) override {
    return port_->ReadWithin(buffer, n, timeoutMs);
  }
  void Purge() override { port_->Purge(); }
  std::chrono::steady_clock::time_point Now() const override {
    if (++looks_ == 2) port_->Advance(std::chrono::milliseconds(200));  // after the deadline is set
    return port_->Now();
  }
  simdrive::FakePort& Fake() { return *port_; }

 private:
  std::unique_ptr<simdrive::FakePort> port_;
  mutable int looks_ = 2;
};

TEST_F(TransactionTest, AReplyThatArrivedInTimeIsTakenHoweverLateTheReaderLooks) {
  auto held = std::make_unique<HeldUpReader>(std::make_unique<simdrive::FakePort>(*drive));
  simdrive::FakePort& fake = held->Fake();
  core::OpenPortOn(std::move(held));
  core::LearnPortLineEcho(core::LineEcho::Quiet);
  drive->SetHolding(1, 3, 42);
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 3, 1, v), 0);
  EXPECT_EQ(v, 42u);
  EXPECT_EQ(core::WriteWord(1, 3, 43), 0);
  EXPECT_EQ(fake.SentFrames().size(), 3u);  // the write, and the read that confirms its answer
}

TEST_F(TransactionTest, ShortWritesAndAClosedPortGiveResultOne) {
  port->LimitWrites(3);
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), 1);
  EXPECT_EQ(Sent().size(), 2u);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].rfind("ReadWord - par=1 Received=3 Error=1 CRC=", 0), 0u);
  EXPECT_EQ(core::WriteWord(1, 1, 1), 1);
  EXPECT_EQ(core::ReadDeviceId(1), 1);
  EXPECT_EQ(core::ToggleBit(1, 1), 1);

  core::ClosePort();
  log.clear();
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), 1);
  EXPECT_EQ(core::WriteLong(1, 1, 1), 1);
  EXPECT_EQ(core::ReadDeviceId(1), 1);
  EXPECT_EQ(log.size(), 6u);
}

TEST_F(TransactionTest, RegisterCountsOtherThanOneOrTwoAreRefused) {
  std::uint32_t v = 5;
  EXPECT_EQ(core::ReadWord(1, 1, 0, v), core::kResultBadValue);
  EXPECT_EQ(core::ReadWord(1, 1, 3, v), core::kResultBadValue);
  EXPECT_EQ(core::ReadInput(1, 1, 40, v), core::kResultBadValue);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(v, 5u);
}

TEST_F(TransactionTest, ThePauseBeforeEachRequestLetsMessagesRun) {
  int calls = 0;
  core::State().ProcessMessages = [&] { ++calls; };
  std::uint32_t v = 0;
  // 2 ms before a holding-register read, 5 ms before the others (a toggle reads and writes).
  const std::pair<std::function<core::TransactionResult()>, int> steps[] = {
      {[&] { return core::ReadWord(1, 1, 1, v); }, 2},
      {[&] { return core::ReadInput(1, 1, 1, v); }, 5},
      {[&] { return core::WriteWord(1, 1, 1); }, 5},
      {[&] { return core::ToggleBit(1, 1); }, 10},
  };
  for (const auto& [run, ms] : steps) {
    const auto before = clock.Elapsed();
    const int callsBefore = calls;
    ASSERT_EQ(run(), 0);
    EXPECT_EQ((clock.Elapsed() - before).count(), ms);
    EXPECT_GE(calls - callsBefore, ms);  // messages run through the whole pause
  }

  // On the monotonic clock the pause really waits, with or without a hook.
  core::SetPauseClock(nullptr);
  using Clock = std::chrono::steady_clock;
  for (int withHook = 0; withHook < 2; ++withHook) {
    if (!withHook) core::State().ProcessMessages = nullptr;
    auto before = Clock::now();
    ASSERT_EQ(core::WriteWord(1, 1, 1), 0);
    EXPECT_GE(port->SentFrames().back().at - before, std::chrono::milliseconds(5));
    core::State().ProcessMessages = [&] { ++calls; };
  }
}

TEST_F(TransactionTest, ATransactionStartedFromTheMessageHookIsRefused) {
  drive->SetHolding(1, 1, 11);
  std::vector<core::TransactionResult> inner;
  core::State().ProcessMessages = [&] {
    std::uint32_t v = 0;
    if (inner.size() < 3) {
      inner.push_back(core::ReadWord(1, 1, 1, v));
      inner.push_back(core::WriteWord(1, 1, 99));
      inner.push_back(core::ReadDeviceId(1));
    }
  };
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), 0);
  EXPECT_EQ(v, 11u);
  EXPECT_EQ(inner, (std::vector<core::TransactionResult>{core::kResultBusy, core::kResultBusy, core::kResultBusy}));
  EXPECT_EQ(Sent().size(), 1u);
  EXPECT_EQ(drive->Holding(1, 1), 11);
  // Once the outer transaction is done, the next one runs normally.
  core::State().ProcessMessages = nullptr;
  EXPECT_EQ(core::WriteWord(1, 1, 12), 0);
}

}  // namespace
}  // namespace kvtest
