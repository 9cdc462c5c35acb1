// The two-step toggles and the device identification.
#include "fake_drive.h"

namespace kvtest {
namespace {

using Bytes = std::vector<std::uint8_t>;
using simdrive::Fault;
using simdrive::FaultKind;

Fault OnFunction(FaultKind kind, int function, int count, int arg = 0) {
  Fault f;
  f.kind = kind;
  f.function = function;
  f.count = count;
  f.arg = arg;
  return f;
}

using ToggleTest = FakeDriveTest;

TEST_F(ToggleTest, ToggleBitReadsThenWritesTheInverse) {
  EXPECT_EQ(core::ToggleBit(1, 12), 0);
  EXPECT_TRUE(drive->Coil(1, 12));
  // The write's answer, equal to its request, is listened behind (5 more bytes asked) and
  // confirmed by a read of the coil.
  const Bytes read = WithCrc({1, 1, 0, 12, 0, 1});
  EXPECT_EQ(Sent(), (std::vector<Bytes>{read, WithCrc({1, 5, 0, 12, 0xFF, 0}), read}));
  EXPECT_EQ(port->ReadSizes(), (std::vector<std::size_t>{5, 1, 5, 3, 5, 5, 1}));
  EXPECT_EQ(core::ToggleBit(1, 12), 0);
  EXPECT_FALSE(drive->Coil(1, 12));
  EXPECT_EQ(Sent().end()[-2], WithCrc({1, 5, 0, 12, 0, 0}));
  EXPECT_TRUE(log.empty());
}

TEST_F(ToggleTest, ToggleWordWritesTheValueXorMask) {
  drive->SetHolding(1, 948, 0x0004);
  EXPECT_EQ(core::ToggleWord(1, 948, 0x0001), 0);
  EXPECT_EQ(drive->Holding(1, 948), 0x0005);
  const Bytes read = WithCrc({1, 3, 3, 180, 0, 1});
  EXPECT_EQ(Sent(), (std::vector<Bytes>{read, WithCrc({1, 6, 3, 180, 0, 5}), read}));
  EXPECT_EQ(port->ReadSizes(), (std::vector<std::size_t>{5, 2, 5, 3, 5, 5, 2}));
}

TEST_F(ToggleTest, AWriteStepThatActedSilentlyIsNotToggledBack) {
  // The drive switches the coil on but its reply is lost.
  drive->SetFault(OnFunction(FaultKind::Silence, 5, 1));
  EXPECT_EQ(core::ToggleBit(1, 12), 0);
  EXPECT_TRUE(drive->Coil(1, 12));
  EXPECT_EQ(Sent().size(), 3u);  // read, write, read again; no second write
  ASSERT_EQ(log.size(), 3u);     // one "ToggleBitWrite" trace
  EXPECT_EQ(log[0].rfind("ToggleBitWrite - par=12 Received=0 Error=2 CRC=65535 j=1", 0), 0u);

  log.clear();
  port->ClearHistory();
  drive->SetHolding(1, 30, 0x00F0);
  drive->SetFault(OnFunction(FaultKind::Silence, 6, 1));
  EXPECT_EQ(core::ToggleWord(1, 30, 0x0003), 0);
  EXPECT_EQ(drive->Holding(1, 30), 0x00F3);
  EXPECT_EQ(Sent().size(), 3u);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].rfind("ToggleWordWrite - par=30 Received=0 Error=2", 0), 0u);
}

TEST_F(ToggleTest, AWriteStepThatDidNotActIsTriedAgain) {
  drive->SetFault(OnFunction(FaultKind::Ignore, 5, 1));
  EXPECT_EQ(core::ToggleBit(1, 12), 0);
  EXPECT_TRUE(drive->Coil(1, 12));
  EXPECT_EQ(Sent().size(), 5u);  // read, write, read, write, and the read that confirms it
  EXPECT_EQ(log.size(), 3u);  // still one "ToggleBitWrite" trace

  drive->SetHolding(1, 30, 0x0004);
  drive->SetFault(OnFunction(FaultKind::Ignore, 6, 1));
  log.clear();
  EXPECT_EQ(core::ToggleWord(1, 30, 0x0001), 0);
  EXPECT_EQ(drive->Holding(1, 30), 0x0005);
  EXPECT_EQ(log.size(), 3u);
}

TEST_F(ToggleTest, FailuresOfTheToggles) {
  // Silent station: both read steps fail; one "ToggleBitRead" trace with the echo flag 0.
  EXPECT_EQ(core::ToggleBit(9, 12), 2);
  EXPECT_EQ(Sent().size(), 2u);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], "ToggleBitRead - par=12 Received=0 Error=2 CRC=65535 j=0");

  // An exception reply to the write step ends the toggle; only the read trace is left.
  log.clear();
  port->ClearHistory();
  drive->SetFault(OnFunction(FaultKind::Exception, 6, -1, 3));
  EXPECT_EQ(core::ToggleWord(1, 948, 4), 259);
  EXPECT_EQ(Sent().size(), 2u);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].rfind("ToggleWordRead - par=948 Received=5 Error=259", 0), 0u);

  // A wrong echoed value ends the word toggle with 3.
  log.clear();
  drive->SetFault(OnFunction(FaultKind::WrongValue, 6, -1));
  EXPECT_EQ(core::ToggleWord(1, 948, 4), 3);
  EXPECT_EQ(log.size(), 3u);

  // Write steps that never get a usable reply (and did not act): two write traces, then the
  // read trace.
  log.clear();
  const Bytes off = WithCrc({1, 1, 1, 0});
  const Bytes spoiled{1, 5, 0, 40, 0xFF, 0, 0x12, 0x34};
  for (int i = 0; i < 2; ++i) {
    port->ScriptReply(off);
    port->ScriptReply(spoiled);
  }
  EXPECT_EQ(core::ToggleBit(1, 40), 2);
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(log[0].rfind("ToggleBitWrite", 0), 0u);
  EXPECT_EQ(log[3].rfind("ToggleBitWrite", 0), 0u);
  EXPECT_EQ(log[6].rfind("ToggleBitRead - par=40 Received=8 Error=2", 0), 0u);
}

using IdentityTest = FakeDriveTest;

Bytes IdReply(std::uint8_t station, std::vector<std::pair<std::uint8_t, std::string>> objects, std::uint8_t count = 3,
              std::uint8_t conformity = 2) {
  Bytes r{station, 0x2B, 0x0E, 1, conformity, 0, 0, count};
  for (auto& [id, text] : objects) {
    r.push_back(id);
    r.push_back(static_cast<std::uint8_t>(text.size()));
    r.insert(r.end(), text.begin(), text.end());
  }
  return WithCrc(r);
}

TEST_F(IdentityTest, TheDriveIdentifiesItself) {
  core::State().DeviceStation = 3;
  EXPECT_EQ(core::ReadDeviceId(7), 0);
  EXPECT_EQ(core::State().DeviceStation, 7);
  EXPECT_EQ(core::State().DeviceVendor, "Kestravel");
  EXPECT_EQ(core::State().DeviceProduct, "KV100");
  EXPECT_EQ(core::State().DeviceRevision, "1.00");
  EXPECT_EQ(Sent(), std::vector<Bytes>{WithCrc({7, 0x2B, 0x0E, 1, 0})});
}

TEST_F(IdentityTest, MissingObjectsStayEmptyAndTextsKeepTheirSpaces) {
  core::State().DeviceVendor = "old";
  port->ScriptReply(IdReply(1, {{1, "KV200  "}, {2, ""}}));
  EXPECT_EQ(core::ReadDeviceId(1), 0);
  EXPECT_EQ(core::State().DeviceVendor, "");
  EXPECT_EQ(core::State().DeviceProduct, "KV200  ");
  EXPECT_EQ(core::State().DeviceRevision, "");
  EXPECT_TRUE(log.empty());
}

TEST_F(IdentityTest, AnInconsistentObjectListGivesThreeButKeepsWhatWasRead) {
  // An object whose length runs past the reply.
  Bytes bad = IdReply(1, {{0, "ACME"}, {1, "KV100"}});
  bad[8 + 2 + 4 + 1] = 40;  // the product's length byte
  std::uint16_t crc = simdrive::Crc(bad.data(), bad.size() - 2);
  bad[bad.size() - 2] = static_cast<std::uint8_t>(crc & 0xFF);
  bad[bad.size() - 1] = static_cast<std::uint8_t>(crc >> 8);
  port->ScriptReply(bad);
  EXPECT_EQ(core::ReadDeviceId(1), 3);
  EXPECT_EQ(core::State().DeviceStation, 1);
  EXPECT_EQ(core::State().DeviceVendor, "ACME");
  EXPECT_EQ(Sent().size(), 1u);  // no further try after acceptance

  // Bytes left over after the three objects.
  Bytes extra{1, 0x2B, 0x0E, 1, 2, 0, 0, 3, 0, 1, 'A', 1, 1, 'B', 2, 1, 'C', 9};
  port->ScriptReply(WithCrc(extra));
  EXPECT_EQ(core::ReadDeviceId(1), 3);
  EXPECT_EQ(core::State().DeviceRevision, "C");
  // Objects out of order: the list does not end where the reply does.
  port->ScriptReply(IdReply(1, {{2, "R"}, {0, "V"}}));
  EXPECT_EQ(core::ReadDeviceId(1), 3);
  EXPECT_TRUE(log.empty());
}

TEST_F(IdentityTest, FramesOfOtherStationsAroundTheAnswerArePassedOver) {
  const Bytes other = WithCrc({7, 3, 2, 0x12, 0x34});  // ahead of the answer, then behind it
  for (const Bytes& frame :
       {other, WithCrc({1, 3, 2, 0x12, 0x34}), IdReply(2, {{1, "KV900"}}), Bytes{1, 0x2B, 0x0E}}) {
    port->NoiseBeforeNextReply(frame);
    EXPECT_EQ(core::ReadDeviceId(1), 0);
    EXPECT_EQ(core::State().DeviceProduct, "KV100");
  }
  Bytes both = IdReply(1, {{1, "KV300"}});
  both.insert(both.end(), other.begin(), other.end());
  port->ScriptReply(both);
  EXPECT_EQ(core::ReadDeviceId(1), 0);
  EXPECT_EQ(core::State().DeviceProduct, "KV300");
  EXPECT_EQ(Sent().size(), 5u);  // each found in its first try
}

TEST_F(IdentityTest, WrongHeadersAndShortRepliesAreBadReplies) {
  core::State().DeviceStation = 99;
  const std::vector<Bytes> bad = {
      IdReply(2, {{0, "A"}, {1, "B"}, {2, "C"}}),           // another station
      IdReply(1, {{0, "A"}, {1, "B"}, {2, "C"}}, 3, 0x81),  // other conformity level
      IdReply(1, {{0, "A"}, {1, "B"}}, 2),                  // two objects
      WithCrc({1, 0x2B, 0x0E, 1, 2, 0, 0, 3, 0}),           // 11 bytes... with a one-byte list
      WithCrc({1, 0x2B, 0x0E, 1, 2, 0, 0, 3}),              // only 10 bytes
      WithCrc({1, 0xAB, 2}),                                // exception reply
  };
  for (std::size_t i = 0; i < bad.size(); ++i) {
    port->ScriptReply(bad[i]);
    if (i != 3) port->ScriptReply(bad[i]);  // the accepted one is not asked for again
  }
  std::vector<core::TransactionResult> results;
  for (std::size_t i = 0; i < bad.size(); ++i) results.push_back(core::ReadDeviceId(1));
  EXPECT_EQ(results, (std::vector<core::TransactionResult>{2, 2, 2, 3, 2, 2}));
  EXPECT_EQ(Sent().size(), 11u);
  EXPECT_EQ(core::State().DeviceStation, 1);  // set only by the accepted (fourth) reply
  // Silence: two tries, no trace.
  EXPECT_EQ(core::ReadDeviceId(9), 2);
  EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace kvtest
