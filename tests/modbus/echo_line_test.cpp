// What the link learns of a line that sends every request back (a 2-wire RS-485 adapter without
// echo suppression) and of one that does not, while the line loses or damages copies and carries
// noise around the replies: each result is checked against what the drive did, on the fake
// port's simulated time.
#include <bit>
#include <chrono>

#include "fake_drive.h"

namespace kvtest {
namespace {

using simdrive::FaultKind;
using simdrive::LineFaults;
using core::LineEcho;

const simdrive::Fault kRefuseAll{FaultKind::Exception, 3, -1, 0};
const simdrive::Fault kIgnoreAll{FaultKind::Ignore, 0, -1, 0};

// A line that sends every request back, losing the copies of the requests numbered in `lost`
// and others by chance, and damaging some; a line without echo with bytes around every reply.
LineFaults Echoing(std::set<int> lost = {}, int lossPercent = 0, int damagePercent = 0, unsigned seed = 1) {
  return {true, std::move(lost), lossPercent, damagePercent, {}, {}, seed, {}, 0};
}
LineFaults Noisy(std::vector<std::uint8_t> before, std::vector<std::uint8_t> behind) {
  return {false, {}, 0, 0, std::move(before), std::move(behind), 1, {}, 0};
}

class EchoLineTest : public FakeDriveTest {
 protected:
  // A new port on a line with these faults, known neither way.
  void Reopen(const LineFaults& faults) {
    auto fake = std::make_unique<simdrive::FakePort>(*drive);
    fake->SetLineFaults(faults);
    port = fake.get();
    core::OpenPortOn(std::move(fake));
  }
  // What Link does on it: the probe, then the line learnt.
  void Link() {
    ASSERT_EQ(core::ReadDeviceId(1), 0);
    ASSERT_EQ(core::SettleLineEcho(1), 0);
  }
  // Word and coil writes, n of each in turn, with a read between every two; their results.
  std::vector<core::TransactionResult> Writes(int n) {
    std::vector<core::TransactionResult> results;
    for (int i = 0; i < n; ++i) {
      results.push_back(core::WriteWord(1, 10, static_cast<std::uint16_t>(i)));
      results.push_back(core::WriteBit(1, 3, static_cast<std::uint8_t>(i % 2)));
      std::uint32_t v = 0;
      (void)core::ReadWord(1, 20, 1, v);
    }
    return results;
  }
  // The drive set to this fault, and every result of Writes(n) expected to be `result`.
  void ExpectWrites(const simdrive::Fault& fault, int n, core::TransactionResult result) {
    drive->SetFault(fault);
    for (core::TransactionResult r : Writes(n)) EXPECT_EQ(r, result);
  }
  // A word or coil write to station 1 reported done, and the drive holding what it sent.
  void ExpectWordDone(std::uint16_t reg, std::uint16_t value) {
    EXPECT_EQ(core::WriteWord(1, reg, value), 0);
    EXPECT_EQ(drive->Holding(1, reg), value);
  }
  void ExpectCoilDone(std::uint16_t coil, bool on) {
    EXPECT_EQ(core::WriteBit(1, coil, on ? 1 : 0), 0);
    EXPECT_EQ(drive->Coil(1, coil), on);
  }
  // How long an operation took on the fake port's clock.
  template <typename Op>
  std::chrono::milliseconds Took(Op op) {
    const auto start = port->Now();
    op();
    return std::chrono::duration_cast<std::chrono::milliseconds>(port->Now() - start);
  }
};

TEST_F(EchoLineTest, OneLostCopyLeavesAnEchoingLineKnown) {
  Reopen(Echoing());
  std::uint32_t v = 0;
  ASSERT_EQ(core::ReadWord(1, 100, 1, v), 0);
  ASSERT_EQ(core::PortLineEcho(), LineEcho::Echoes);
  port->SetLineFaults(Echoing({1}));
  ASSERT_EQ(core::ReadWord(1, 100, 1, v), 0);  // its answer came first
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Echoes);
  EXPECT_EQ(core::WriteWord(9, 10, 99), 2);  // no drive at station 9: only the copy comes
  drive->SetFault(kRefuseAll);
  EXPECT_EQ(core::WriteBit(1, 3, 1), 259);
}

// The probe's copy lost, or copies lost about every other request (a few seeds of chance):
// Link learns the echo all the same, and no refused or unanswered write is reported done, also
// when the drive goes away after the line was learnt.
TEST_F(EchoLineTest, LostCopiesNeverMakeARefusedOrUnansweredWriteDone) {
  std::vector<LineFaults> lines{Echoing({1})};
  for (unsigned seed = 1; seed <= 12; ++seed) lines.push_back(Echoing({}, 50, 0, seed));
  for (const LineFaults& line : lines) {
    const std::string which = "seed " + std::to_string(line.seed) + " loss " + std::to_string(line.copyLossPercent);
    drive->ClearFault();
    Reopen(line);
    Link();
    EXPECT_EQ(core::PortLineEcho(), LineEcho::Echoes) << which;
    drive->SetFault(kRefuseAll);
    for (core::TransactionResult r : Writes(10)) EXPECT_EQ(r, 259) << which;
    drive->SetFault(kIgnoreAll);
    for (core::TransactionResult r : Writes(5)) EXPECT_EQ(r, 2) << which;
  }
  EXPECT_GT(port->Line().CopiesLost(), 0);
  // Nine copies in ten lost: Link may learn the line as one without echo, and a refused write
  // whose copy does come is still refused.
  for (unsigned seed = 1; seed <= 24; ++seed) {
    SCOPED_TRACE(seed);
    drive->ClearFault();
    Reopen(Echoing({}, 90, 0, seed));
    Link();
    ExpectWrites(kRefuseAll, 10, 259);
  }
}

// Copies lost in a burst (a receiver switched on late, an adapter that stalls): tries in a row
// answered with no copy ahead span too little time to show a line without echo, at Link (eight
// identifications) and on a port known to echo (a bulk read of many blocks). A line without
// echo is still learnt at Link within about the span.
TEST_F(EchoLineTest, ABurstOfLostCopiesLeavesTheLineEchoing) {
  LineFaults burst = Echoing();
  for (int request = 1; request <= core::kQuietTries; ++request) burst.lostCopies.insert(request);
  Reopen(burst);
  Link();
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Echoes);
  EXPECT_EQ(port->Line().CopiesLost(), core::kQuietTries);
  drive->SetFault(kIgnoreAll);
  EXPECT_EQ(core::WriteWord(1, 10, 5), 2);

  drive->ClearFault();
  for (int request = 1; request <= 64; ++request) burst.lostCopies.insert(request);
  port->SetLineFaults(burst);
  std::array<std::uint16_t, 16> words{};
  for (int i = 0; i < 64; ++i)
    ASSERT_EQ(core::ReadBlock16(1, static_cast<std::uint16_t>(16 * i), words), 0);
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Echoes);

  Reopen({});
  EXPECT_LE(Took([&] { Link(); }), core::kQuietSpan);
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Quiet);
}

// One copy in four damaged, and the drive answering 30 ms late, past the frame gap that ends a
// try after a damaged frame: its answer then comes first in the next try. The line stays
// echoing, and a write the drive leaves unanswered is not done.
TEST_F(EchoLineTest, DamagedCopiesAndLateAnswersKeepTheEcho) {
  for (unsigned seed = 1; seed <= 8; ++seed) {
    drive->ClearFault();
    Reopen(Echoing({}, 0, 25, seed));
    Link();
    drive->SetFault({FaultKind::Delay, 30, -1, 0});
    for (int i = 0; i < 20; ++i) {
      (void)core::WriteWord(1, 10, static_cast<std::uint16_t>(100 + i));
      std::uint32_t v = 0;
      (void)core::ReadWord(1, 20, 1, v);
    }
    EXPECT_EQ(core::PortLineEcho(), LineEcho::Echoes) << seed;
    drive->SetFault({FaultKind::Ignore, 0, -1, 6});
    for (int i = 0; i < 10; ++i) EXPECT_EQ(core::WriteWord(1, 10, 7), 2) << seed;
    EXPECT_GT(port->Line().CopiesDamaged(), 0) << seed;
  }
}

// A line without echo is learnt from the drive's frames though noise, or other stations'
// frames, come ahead of and behind every reply (from reads alone too, at a polling window's
// pace); on it a good write is sent once and answered without waiting for the time-out.
TEST_F(EchoLineTest, ALineWithoutEchoIsLearntThroughNoiseAndWritesAsBefore) {
  using Bytes = std::vector<std::uint8_t>;
  const Bytes foreign = WithCrc({7, 3, 2, 0x12, 0x34});
  // 0x01 ahead of every reply is station 1's number and the coil read's function: with the reply
  // right behind it, no damaged copy of the read that confirms a coil write's answer.
  for (const auto& [before, behind] :
       {std::pair<Bytes, Bytes>{{0x00}, {}}, {{0x01}, {}}, {foreign, foreign}, {{}, {0x00}}}) {
    const LineFaults noisy = Noisy(before, behind);
    Reopen(noisy);
    std::uint32_t v = 0;
    for (int i = 0; i < core::kQuietTries; ++i) {
      port->Advance(std::chrono::milliseconds(50));
      ASSERT_EQ(core::ReadWord(1, 20, 1, v), 0);
    }
    EXPECT_EQ(core::PortLineEcho(), LineEcho::Quiet);
    Reopen(noisy);
    Link();
    EXPECT_EQ(core::PortLineEcho(), LineEcho::Quiet);
    for (int i = 0; i < 2; ++i) {
      port->ClearHistory();
      EXPECT_LT(Took([&] { EXPECT_EQ(core::WriteWord(1, 10, static_cast<std::uint16_t>(i)), 0); }),
                std::chrono::milliseconds(platform::ReadTimeoutMs(8)));
      EXPECT_EQ(Sent().size(), 2u);  // the write once, and the read that confirms its answer
      EXPECT_EQ(drive->Holding(1, 10), i);
      EXPECT_EQ(core::WriteBit(1, 3, 1), 0);
    }
  }
}

// Before the line is known, a word write's copy alone is no answer (it may be the copy of a
// request the drive left unanswered) and is not sent again; an answer or refusal behind it is
// taken and shows the echo. Without echo the answer alone cannot be told from a copy either;
// noise behind it changes nothing, and the write goes out once.
TEST_F(EchoLineTest, AWriteOnALineKnownNeitherWayIsDoneOnlyBehindItsCopy) {
  drive->SetFault({FaultKind::Silence, 0, -1, 6});
  Reopen(Echoing());
  EXPECT_EQ(core::WriteWord(1, 10, 5), 2);
  EXPECT_EQ(Sent().size(), 1u);
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Unknown);
  drive->SetFault({FaultKind::Exception, 3, 1, 6});
  EXPECT_EQ(core::WriteWord(1, 10, 5), 259);
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Echoes);
  drive->ClearFault();
  Reopen(Echoing());
  EXPECT_EQ(core::WriteBit(1, 3, 1), 0);
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Echoes);
  Reopen(Noisy({}, {0x00}));
  port->ClearHistory();
  EXPECT_EQ(core::WriteWord(1, 10, 6), 2);
  EXPECT_EQ(Sent().size(), 1u);
}

// A line taken as quiet that sends a read's copy echoes, and stays echoing until the port is
// closed, however long its copies stay away (as the monitor polls); a damaged copy ahead of an
// answer starts the row of a line known neither way again.
TEST_F(EchoLineTest, ALineThatShowedACopyStaysEchoing) {
  std::uint32_t v = 0;
  port->EchoLine(true);
  ASSERT_EQ(core::ReadWord(1, 20, 1, v), 0);
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Echoes);
  port->EchoLine(false);
  for (int i = 0; i < 100; ++i) {
    port->Advance(std::chrono::milliseconds(100));
    ASSERT_EQ(core::ReadWord(1, 20, 1, v), 0);
  }
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Echoes);
  EXPECT_EQ(core::WriteWord(1, 10, 6), 2);  // its answer alone is taken for the copy

  Reopen({});
  for (int i = 0; i <= core::kQuietTries; ++i) {
    port->Advance(std::chrono::milliseconds(50));
    if (i == core::kQuietTries - 1) port->NoiseBeforeNextReply({1, 3, 0, 20, 0, 1, 0, 0});
    ASSERT_EQ(core::ReadWord(1, 20, 1, v), 0);
  }
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Unknown);
}

// A refusal is taken as soon as it is whole, on either line: the drive answers at once, so the
// line's time stands still unless a try waits for more (a refused read's two tries included).
TEST_F(EchoLineTest, ARefusalIsTakenWhenItArrives) {
  const auto none = std::chrono::milliseconds(0);
  std::uint32_t v = 0;
  for (bool echo : {false, true}) {
    drive->ClearFault();
    Reopen(echo ? Echoing() : LineFaults{});
    Link();
    drive->SetFault(kRefuseAll);
    EXPECT_EQ(Took([&] { EXPECT_EQ(core::WriteWord(1, 10, 5), 259); }), none) << echo;
    EXPECT_EQ(Took([&] { EXPECT_EQ(core::WriteLong(1, 10, 5), 259); }), none) << echo;
    EXPECT_EQ(Took([&] { EXPECT_EQ(core::ReadWord(1, 10, 1, v), 2); }), none) << echo;
  }
}

// The copies lost while Link learnt the line (it is learnt quiet) come back from the first write
// on: the drive's answer or refusal behind a copy is taken; a held copy with the drive silent is
// no answer (the read behind it shows the copy), and costs the guard where the drive answers
// that read. The line echoes from then on, unless every write was answered: a copy and the answer
// behind it cannot be told from an answer that comes twice, which leaves a line without echo as it is.
TEST_F(EchoLineTest, CopiesThatComeBackAfterLinkAreNotTakenForAnswers) {
  // The drive's fault, the write made first (function 6 word, 5 coil), the word and coil results.
  const struct { simdrive::Fault fault; int first, word, coil; } cases[] = {
      {{}, 6, 0, 0},         {{FaultKind::Exception, 3, -1, 6}, 6, 259, 0},
      {kIgnoreAll, 6, 2, 2}, {{FaultKind::Exception, 3, -1, 5}, 6, 0, 259},
      {kIgnoreAll, 5, 2, 2}, {{FaultKind::Ignore, 0, -1, 6}, 6, 2, 0},  // the drive answers reads
      {{FaultKind::Ignore, 0, -1, 5}, 5, 0, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.fault.kind) << "/" << c.fault.function << " first " << c.first);
    drive->ClearFault();
    drive->SetHolding(1, 200, 0);
    drive->SetCoil(1, 3, false);
    Reopen(Echoing({1, 2, 3, 4, 5, 6, 7, 8, 9}));  // the probe's copy and the identifications'
    Link();
    ASSERT_EQ(core::PortLineEcho(), LineEcho::Quiet);
    drive->SetFault(c.fault);
    int word = -1, coil = -1;
    auto writeWord = [&] { word = core::WriteWord(1, 200, 4000); };
    auto writeCoil = [&] { coil = core::WriteBit(1, 3, 1); };
    const auto took = c.first == 6 ? Took(writeWord) : Took(writeCoil);
    c.first == 6 ? writeCoil() : writeWord();
    EXPECT_EQ(word, c.word);
    EXPECT_EQ(coil, c.coil);
    const bool answersReads = c.fault.kind == FaultKind::Ignore && c.fault.function != 0;
    EXPECT_GE(took, answersReads ? core::kLateReplyGuard : std::chrono::milliseconds(0));
    EXPECT_EQ(core::PortLineEcho(), c.fault.kind == FaultKind::None ? LineEcho::Quiet : LineEcho::Echoes);
    // The simulated drive stores neither what it refuses nor what it ignores.
    EXPECT_EQ(drive->Holding(1, 200), c.word == 0 ? 4000 : 0);
    EXPECT_EQ(drive->Coil(1, 3), c.coil == 0);
    EXPECT_EQ(port->Line().CopiesLost(), 9);
  }
}

// On a line without echo the read behind a word or coil write's answer decides by which frame
// comes first: a refused read confirms the answer as well as a value, and a good write on a line
// learnt echoing sends no read. A read left unanswered leaves it unclear: the write is reported
// not done, and the trace shows the write's own request and answer.
TEST_F(EchoLineTest, TheReadBehindAWriteDecidesOnlyWhetherACopyCameFirst) {
  Reopen({});
  Link();
  drive->SetFault({FaultKind::Exception, 2, -1, 3});
  ExpectWordDone(200, 4000);
  drive->SetFault({FaultKind::Exception, 2, -1, 1});
  ExpectCoilDone(3, true);
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Quiet);

  drive->SetFault({FaultKind::Ignore, 0, -1, 3});
  log.clear();
  EXPECT_EQ(core::WriteWord(1, 201, 4001), 2);
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Quiet);
  const auto request = WithCrc({1, 6, 0, 201, 0x0F, 0xA1});
  std::string bytes;
  for (std::uint8_t b : request) bytes += std::to_string(b) + ",";
  EXPECT_EQ(log, (std::vector<std::string>{"WriteWord - par=201 Received=8 Error=2 CRC=" +
                                               std::to_string(core::Crc16(request.data(), 6)),
                                           "      TX: " + bytes, "      RX: " + bytes}));

  drive->ClearFault();
  Reopen(Echoing());
  Link();
  ASSERT_EQ(core::PortLineEcho(), LineEcho::Echoes);
  port->ClearHistory();
  EXPECT_EQ(core::WriteWord(1, 202, 4002), 0);
  EXPECT_EQ(Sent().size(), 1u);
}

// Each of the simulated drive's faults gives word, coil and 32-bit writes and a read the same
// results after Link on a line with echo and on one without, and the drive holds the same (the
// simulated drive stores a write it refuses or leaves unanswered, unless it ignores it).
TEST_F(EchoLineTest, EveryDriveFaultGivesTheSameResultsWithAndWithoutEcho) {
  const simdrive::Fault faults[] = {
      {FaultKind::BadCrc, 0, -1, 0},     {FaultKind::Silence, 0, -1, 0}, {FaultKind::Ignore, 0, -1, 0},
      {FaultKind::Silence, 0, 1, 0},     {FaultKind::Silence, 0, 2, 0},  {FaultKind::WrongValue, 0, -1, 0},
      {FaultKind::Length, 2, -1, 0},     {FaultKind::Delay, 150, -1, 0}, {FaultKind::Exception, 3, -1, 0}};
  std::string results[2];
  for (bool echo : {false, true}) {
    for (const simdrive::Fault& fault : faults) {
      drive->ClearFault();
      drive->SetHolding(1, 10, 0);
      drive->SetCoil(1, 3, false);
      Reopen(echo ? Echoing() : LineFaults{});
      Link();
      drive->SetFault(fault);
      std::uint32_t v = 0;
      for (int r : {int{core::WriteWord(1, 10, 5)}, int{core::WriteBit(1, 3, 1)}, int{core::WriteLong(1, 20, 7)},
                    int{core::ReadWord(1, 10, 1, v)}})
        results[echo] += std::to_string(r) + " ";
      results[echo] += std::to_string(drive->Holding(1, 10)) + (drive->Coil(1, 3) ? " on|" : " off|");
    }
  }
  // Results of the word, coil and long writes and of the read, then the register and coil.
  EXPECT_EQ(results[0],
            "2 2 2 2 5 on|2 2 2 2 5 on|2 2 2 2 0 off|0 0 0 0 5 on|2 0 0 0 5 on|3 3 3 0 5 on|2 2 2 2 5 on|"
            "2 2 2 2 5 on|259 259 259 2 0 off|");  // a refusal leaves register and coil as they were
  EXPECT_EQ(results[1], results[0]);
}

// Two stations on one line, one of them absent, and now and then a copy that comes 90 ms late,
// past its try's time-out (an adapter or host that stalls): the late copy of a first try is
// drained before the second, which would take it for its own copy and its own for the answer.
TEST_F(EchoLineTest, ALateCopyOfAnEarlierTryAnswersNoLaterTry) {
  Reopen(Echoing());
  Link();
  LineFaults stalling = Echoing();
  stalling.copyDelayMs = 90;
  // The first try of every second operation (each one sends two requests).
  for (int request = 3; request <= 80; request += 4) stalling.lateCopies.insert(request);
  port->SetLineFaults(stalling);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(core::WriteBit(9, 3, static_cast<std::uint8_t>(i % 2)), 2) << i;
  // The drive that is there still answers through the stalls.
  for (std::uint16_t i = 1; i <= 10; ++i) ExpectWordDone(10, i);
}

// A word or coil write's copy whose CRC was damaged is the copy all the same: the drive's answer
// behind it does the write (every copy damaged, or one in ten), a refusal or silence behind it
// does not; a line known neither way takes it alike.
TEST_F(EchoLineTest, ACopyDamagedInItsCrcIsTheCopy) {
  for (int damage : {100, 10}) {
    for (LineEcho line : {LineEcho::Echoes, LineEcho::Unknown}) {
      SCOPED_TRACE(testing::Message() << damage << "% " << int(line));
      drive->ClearFault();
      Reopen(Echoing({}, 0, damage, 5));
      core::LearnPortLineEcho(line);
      for (int i = 0; i < 10; ++i) {
        ExpectWordDone(10, static_cast<std::uint16_t>(100 + i));
        ExpectCoilDone(3, i % 2 == 1);
      }
      ExpectWrites(kRefuseAll, 1, 259);
      ExpectWrites(kIgnoreAll, 1, 2);
      EXPECT_GT(port->Line().CopiesDamaged(), 0);
    }
  }
}

// A copy's head that forms a valid reply is no answer, on either line: a long write's request
// whose first 8 bytes do (station 1, register 4100, low word 0xC912), its copy damaged behind
// them or cut there, the drive silent; a read's (station 4, register 0x2B0) whose first 7 bytes
// do, damaged behind them. A copy one byte short is no whole copy: the answer right behind it
// is taken in the same try.
TEST_F(EchoLineTest, TheHeadOfACopyIsNoAnswer) {
  using Bytes = std::vector<std::uint8_t>;
  const Bytes longWrite = WithCrc({1, 16, 0x10, 0x04, 0, 2, 4, 0xC9, 0x12, 0x34, 0x56});
  const Bytes read = WithCrc({4, 3, 0x02, 0xB0, 0, 1});
  auto damagedAt = [](Bytes bytes, std::size_t at) {
    bytes[at] ^= 0x5A;
    return bytes;
  };
  for (LineEcho line : {LineEcho::Quiet, LineEcho::Echoes, LineEcho::Unknown}) {
    Reopen({});
    core::LearnPortLineEcho(line);
    for (const Bytes& copy : {damagedAt(longWrite, 9), Bytes(longWrite.begin(), longWrite.begin() + 8)}) {
      for (int i = 0; i < 4; ++i) port->ScriptReply(copy);
      EXPECT_NE(core::WriteLong(1, 4100, 0x3456C912), 0);
      EXPECT_NE(core::WriteFloat(1, 4100, std::bit_cast<float>(0x3456C912u)), 0);
      port->DropScript();
    }
    for (int i = 0; i < 2; ++i) port->ScriptReply(damagedAt(read, 7));
    std::uint32_t v = 7;
    EXPECT_EQ(core::ReadWord(4, 0x2B0, 1, v), 2);
    EXPECT_EQ(v, 7u);
  }
  // One byte short, ahead of a read's answer and of a word write's (on an echoing line).
  auto shortOf = [](const Bytes& request) { return Bytes(request.begin(), request.end() - 1); };
  drive->SetHolding(1, 20, 0x1234);
  Reopen({});
  port->NoiseBeforeNextReply(shortOf(WithCrc({1, 3, 0, 20, 0, 1})));
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 20, 1, v), 0);
  EXPECT_EQ(v, 0x1234u);
  EXPECT_EQ(Sent().size(), 1u);
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Unknown);
  core::LearnPortLineEcho(LineEcho::Echoes);
  port->ClearHistory();
  port->NoiseBeforeNextReply(shortOf(WithCrc({1, 6, 0, 10, 0, 5})));
  EXPECT_EQ(core::WriteWord(1, 10, 5), 0);
  EXPECT_EQ(Sent().size(), 1u);
}

// A toggle whose second write step meets the first one's frame, come late, behind its answer:
// that frame (another value to the same register) answers nothing and shows no echo. The
// drive is scripted: it reads 0x00F0, leaves the write of 0x00F3 unanswered, then reads 0x000F.
TEST_F(EchoLineTest, ALateFrameOfAnEarlierTryIsPassedOver) {
  port->ScriptReply(WithCrc({1, 3, 2, 0x00, 0xF0}));
  port->ScriptReply({});
  port->ScriptReply(WithCrc({1, 3, 2, 0x00, 0x0F}));
  std::vector<std::uint8_t> behind = WithCrc({1, 6, 0, 30, 0x00, 0x0C});
  const auto first = WithCrc({1, 6, 0, 30, 0x00, 0xF3});
  behind.insert(behind.end(), first.begin(), first.end());
  port->ScriptReply(behind);
  EXPECT_EQ(core::ToggleWord(1, 30, 0x0003), 0);
  EXPECT_EQ(Sent().end()[-2], WithCrc({1, 6, 0, 30, 0x00, 0x0C}));  // the last write
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Quiet);
}

// A drive that stops answering right after the probe: Link's learning of the line ends at the
// first identification it leaves unanswered, instead of asking eleven more.
TEST_F(EchoLineTest, LinkFailsPromptlyWhenTheDriveFallsSilentAfterTheProbe) {
  Reopen({});
  ASSERT_EQ(core::ReadDeviceId(1), 0);
  drive->SetFault(kIgnoreAll);
  EXPECT_LE(Took([&] { EXPECT_EQ(core::SettleLineEcho(1), 2); }),
            core::kQuietSpan + std::chrono::milliseconds(2 * platform::ReadTimeoutMs(80)));
  EXPECT_EQ(core::PortLineEcho(), LineEcho::Unknown);
}

}  // namespace
}  // namespace kvtest
