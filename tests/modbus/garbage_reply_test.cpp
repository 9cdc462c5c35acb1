// Arbitrary bytes as replies: every operation judges them without crashing, reports a known
// result and writes its out values only on success. The drive's framing survives line noise.
#include <random>

#include "core/param_access.h"
#include "every_operation.h"
#include "fake_drive.h"

namespace kvtest {
namespace {

using GarbageReplyTest = FakeDriveTest;

TEST_F(GarbageReplyTest, RandomRepliesToEveryOperation) {
  std::mt19937 random(20261206);
  std::uniform_int_distribution<int> byte(0, 255), length(0, 90), pick(0, 9);
  auto garbage = [&] {
    std::vector<std::uint8_t> reply(static_cast<std::size_t>(length(random)));
    for (auto& b : reply) b = static_cast<std::uint8_t>(byte(random));
    // Now and then a reply that passes the CRC, so that the content checks run too.
    if (pick(random) < 4 && reply.size() >= 2) {
      std::uint16_t crc = simdrive::Crc(reply.data(), reply.size() - 2);
      reply[reply.size() - 2] = static_cast<std::uint8_t>(crc & 0xFF);
      reply[reply.size() - 1] = static_cast<std::uint8_t>(crc >> 8);
    }
    // And identification headers with random object lists.
    if (pick(random) < 2 && reply.size() >= 12) {
      const std::uint8_t head[] = {1, 0x2B, 0x0E, 1, 2, 0, 0, 3};
      std::copy(std::begin(head), std::end(head), reply.begin());
      std::uint16_t crc = simdrive::Crc(reply.data(), reply.size() - 2);
      reply[reply.size() - 2] = static_cast<std::uint8_t>(crc & 0xFF);
      reply[reply.size() - 1] = static_cast<std::uint8_t>(crc >> 8);
    }
    return reply;
  };
  core::State().ParamDefs = {core::ParameterDefinition{}};
  core::State().ParamCount = 1;
  int successes = 0;
  for (int round = 0; round < 320; ++round) {
    if (round % 4 == 3) {
      // Garbage in front of the drive's own answer: skipped, the answer taken.
      port->NoiseBeforeNextReply(garbage());
    } else {
      for (int i = 0; i < 4; ++i) port->ScriptReply(garbage());
    }
    OperationOutputs out;
    out.block.fill(0xABCD);
    const int op = round % kOperationCount;
    const core::TransactionResult r = RunOperation(op, out);
    ASSERT_TRUE(KnownResult(r)) << "operation " << op << " result " << r;
    if (r == 0) ++successes;
    if (r != 0) {
      EXPECT_EQ(out.value, 0xDEADBEEFu);
      EXPECT_EQ(out.real, -1.25f);
      EXPECT_EQ(out.block[0], 0xABCD);
      EXPECT_EQ(out.text, "same");
    }
    port->Purge();
    port->DropScript();
    while (port->SentFrames().size() > 100) port->ClearHistory();
  }
  // The trace lines stay well formed: three per failure, the data lines numbers and commas.
  ASSERT_EQ(log.size() % 3, 0u);
  for (std::size_t i = 0; i < log.size(); i += 3) {
    EXPECT_EQ(log[i + 1].rfind("      TX: ", 0), 0u);
    EXPECT_EQ(log[i + 2].find_first_not_of("0123456789,", 10), std::string::npos) << log[i + 2];
  }
  EXPECT_GT(successes, 320 / 4 / 2);  // most answers behind garbage are found
}

TEST(DriveFramingTest, LineNoiseIsSkippedAndTheNextRequestAnswered) {
  simdrive::Drive drive("V", "P", "R");
  drive.AddStation(1);
  drive.SetHolding(1, 4, 0x1234);
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255), length(1, 300);
  const std::vector<std::uint8_t> request = WithCrc({1, 3, 0, 4, 0, 1});
  const std::vector<std::uint8_t> expected = WithCrc({1, 3, 2, 0x12, 0x34});
  for (int round = 0; round < 500; ++round) {
    std::vector<std::uint8_t> noise(static_cast<std::size_t>(length(random)));
    for (auto& b : noise) b = static_cast<std::uint8_t>(byte(random));
    drive.Receive(noise.data(), noise.size());
    drive.ResetFraming();  // the silent gap before the next request
    auto replies = drive.Receive(request.data(), request.size());
    ASSERT_EQ(replies.size(), 1u) << round;
    EXPECT_EQ(replies[0].bytes, expected);
  }
  // Without a gap, a request right after noise that cannot start a frame is still found.
  std::vector<std::uint8_t> stream{0x00, 0xFF, 0x80, 0x01, 0x99};
  stream.insert(stream.end(), request.begin(), request.end());
  drive.ResetFraming();
  auto replies = drive.Receive(stream.data(), stream.size());
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].bytes, expected);
  // Requests for other stations and broadcasts get no reply.
  auto other = WithCrc({2, 3, 0, 4, 0, 1});
  auto broadcast = WithCrc({0, 6, 0, 4, 0, 1});
  EXPECT_TRUE(drive.Receive(other.data(), other.size()).empty());
  EXPECT_TRUE(drive.Receive(broadcast.data(), broadcast.size()).empty());
  EXPECT_EQ(drive.Holding(1, 4), 0x1234);
}

TEST(DriveFramingTest, ExceptionsForRequestsTheDriveCannotServe) {
  simdrive::Drive drive("V", "P", "R");
  drive.AddStation(1);
  auto ask = [&](std::vector<std::uint8_t> body) {
    auto q = WithCrc(std::move(body));
    auto replies = drive.Receive(q.data(), q.size());
    return replies.empty() ? std::vector<std::uint8_t>{} : replies[0].bytes;
  };
  EXPECT_EQ(ask({1, 2, 0, 0, 0, 1}), WithCrc({1, 0x82, 1}));        // discrete inputs: not kept
  EXPECT_EQ(ask({1, 3, 0, 0, 0, 0}), WithCrc({1, 0x83, 3}));        // zero registers
  EXPECT_EQ(ask({1, 4, 0, 0, 0, 126}), WithCrc({1, 0x84, 3}));      // too many
  EXPECT_EQ(ask({1, 3, 0xFF, 0xFF, 0, 2}), WithCrc({1, 0x83, 2}));  // past the last address
  EXPECT_EQ(ask({1, 5, 0, 0, 0x12, 0x34}), WithCrc({1, 0x85, 3}));  // not a coil value
  EXPECT_EQ(ask({1, 16, 0, 0, 0, 2, 3, 0, 0, 0}), WithCrc({1, 0x90, 3}));  // byte count mismatch
  EXPECT_EQ(ask({1, 0x2B, 0x0E, 9, 0}), WithCrc({1, 0xAB, 3}));     // unknown read code
  EXPECT_EQ(ask({1, 0x2B, 0x0E, 4, 2}), WithCrc({1, 0x2B, 0x0E, 4, 2, 0, 0, 1, 2, 1, 'R'}));
  EXPECT_EQ(ask({1, 1, 0, 0, 0, 9}), WithCrc({1, 1, 2, 0, 0}));
}

}  // namespace
}  // namespace kvtest
