// The simulated drive's refusal: a request answered with an exception changes nothing in the
// drive, whatever it asked for; the same request without the fault does change it (so that
// the comparison can fail).
#include <gtest/gtest.h>

#include <vector>

#include "tests/modbus/fake_drive.h"
#include "tools/simdrive/drive.h"

namespace kvtest {
namespace {

// Everything a write of the cases below can touch, read back from the drive: registers, coils,
// motor record 2 and the count of motor writes.
std::vector<int> Take(const simdrive::Drive& d) {
  std::vector<int> s;
  for (std::uint16_t a : {1, 2, 3, 4, 10, 11, 12, 900, 910, 911, 912, 913, 914, 915, 916}) s.push_back(d.Holding(1, a));
  for (std::uint16_t a : {4, 5}) s.push_back(d.Coil(1, a));
  for (std::uint16_t w : d.MotorRecord(1, 2)) s.push_back(w);
  s.push_back(d.MotorWrites());
  return s;
}

// Function 16 from `address` with `words`.
std::vector<std::uint8_t> WriteMany(std::uint16_t address, const std::vector<std::uint16_t>& words) {
  std::vector<std::uint8_t> q{1, 16, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
                              0, static_cast<std::uint8_t>(words.size()), static_cast<std::uint8_t>(2 * words.size())};
  for (std::uint16_t w : words) q.insert(q.end(), {static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w)});
  return WithCrc(q);
}

TEST(SimulatedDrive, RefusalChangesNothing) {
  const struct { const char* what; std::vector<std::uint8_t> request; int code; } cases[] = {
      {"word", WithCrc({1, 6, 0, 10, 0x17, 0xD4}), 3},
      {"coil on", WithCrc({1, 5, 0, 4, 0xFF, 0}), 2},
      {"coil off", WithCrc({1, 5, 0, 5, 0, 0}), 4},
      {"two words", WriteMany(11, {0x1234, 0x0001}), 3},
      {"profile", WriteMany(910, {1 + 8 + 64, 3, 100, 200, 300, 0, 0}), 1},
      {"motor record", WriteMany(7000 + 2, std::vector<std::uint16_t>(16, 42)), 3},
  };
  for (const auto& c : cases) {
    for (bool refused : {true, false}) {
      SCOPED_TRACE(testing::Message() << c.what << (refused ? ", refused" : ", done"));
      simdrive::Drive drive("Kestravel", "KV100", "1.00");
      drive.AddStation(1);
      drive.SetProfileMotion(true);
      drive.SetMotorTable(7000, 8);
      drive.SetHolding(1, 10, 258);
      drive.SetCoil(1, 5, true);
      if (refused) drive.SetFault({simdrive::FaultKind::Exception, c.code, 1, c.request[1]});
      const std::vector<int> before = Take(drive);
      const auto replies = drive.Receive(c.request.data(), c.request.size());
      ASSERT_EQ(replies.size(), 1u);
      if (refused) {
        const std::uint8_t function = c.request[1] | 0x80;
        EXPECT_EQ(replies[0].bytes, WithCrc({1, function, static_cast<std::uint8_t>(c.code)}));
        EXPECT_EQ(Take(drive), before);  // the refused request did not act
      } else {
        EXPECT_NE(Take(drive), before);  // the request acts at all
      }
    }
  }
}

}  // namespace
}  // namespace kvtest
