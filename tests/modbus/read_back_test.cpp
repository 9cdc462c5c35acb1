// Reading back after a write whose outcome is unclear: a monitor item of every letter, read
// where WriteMonitorItem writes it and compared by its bits; registers read in blocks of 16, two
// and one; a coil.
#include <gtest/gtest.h>

#include "core/param_access.h"
#include "core/read_back.h"
#include "tests/modbus/fake_drive.h"

namespace kvtest {
namespace {

class ReadBackTest : public FakeDriveTest {};

// For each item: the value written, then what the drive holds is compared with the same value
// and with another one; the text is ReadMonitorItem's, from the register written (a holding
// register for the input letters too).
TEST_F(ReadBackTest, MonitorItemsCompareTheBitsWritten) {
  const struct { core::MonitorItem item; double value, other; const char* text; } cases[] = {
      {Item('W', 10, 1), 12.3, 12.4, "12.3"},    {Item('W', 10, 0), -2, -3, "-2"},
      {Item('X', 10, 0), 7, 8, "7"},             {Item('L', 20, 2), -1.5, -1.49, "-1.50"},
      {Item('M', 20, 0), 70000, 70001, "70000"}, {Item('F', 30, 2), 0, 1e-10, "0.00"},
      {Item('G', 30, 0), 1e-12, 0, "0"},         {Item('B', 5, 0), 1, 0, "1"},
      {Item('B', 5, 0), 2, 1, "0"},  // a coil is switched off by anything but 1
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.item.type << " " << c.value);
    ASSERT_EQ(core::WriteMonitorItem(1, c.item, c.value), 0);
    const core::ItemReadBack same = core::ReadMonitorItemBack(1, c.item, c.value);
    EXPECT_EQ(same.result, 0);
    EXPECT_TRUE(same.holdsWritten);
    EXPECT_EQ(same.text, c.text);
    EXPECT_FALSE(core::ReadMonitorItemBack(1, c.item, c.other).holdsWritten);
  }
  // A value WriteMonitorItem refuses was never sent, and a failed read tells nothing.
  EXPECT_FALSE(core::ReadMonitorItemBack(1, Item('W', 10, 1), 7000.0).holdsWritten);
  drive->SetFault({simdrive::FaultKind::Ignore});
  const core::ItemReadBack silent = core::ReadMonitorItemBack(1, Item('W', 10, 1), 12.3);
  EXPECT_EQ(silent.result, core::kResultBadReply);
  EXPECT_FALSE(silent.holdsWritten);
  EXPECT_TRUE(silent.text.empty());
}

TEST_F(ReadBackTest, RegistersAreReadInBlocksOfSixteenThenTwoThenOne) {
  std::vector<std::uint16_t> words;
  for (std::uint16_t i = 0; i < 19; ++i) drive->SetHolding(1, 100 + i, words.emplace_back(1000 + i));
  // The count, and the reads it takes: (function, register count) in order.
  const struct { int count; std::vector<std::pair<int, int>> reads; } cases[] = {
      {1, {{3, 1}}}, {2, {{3, 2}}}, {7, {{3, 2}, {3, 2}, {3, 2}, {3, 1}}}, {16, {{3, 16}}},
      {19, {{3, 16}, {3, 2}, {3, 1}}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    port->ClearHistory();
    const std::vector<std::uint16_t> written(words.begin(), words.begin() + c.count);
    const core::RegistersReadBack back = core::ReadRegistersBack(1, 100, c.count, written);
    EXPECT_EQ(back.result, 0);
    EXPECT_EQ(back.words, written);
    EXPECT_TRUE(back.holdsWritten);
    std::vector<std::pair<int, int>> reads;
    for (const auto& f : Sent()) reads.emplace_back(f[1], f[4] << 8 | f[5]);
    EXPECT_EQ(reads, c.reads);
    std::vector<std::uint16_t> other = written;
    other.back() ^= 1;
    EXPECT_FALSE(core::ReadRegistersBack(1, 100, c.count, other).holdsWritten);
    EXPECT_FALSE(core::ReadRegistersBack(1, 100, c.count).holdsWritten);  // nothing to compare
  }
  drive->SetCoil(1, 4, true);
  EXPECT_EQ(core::ReadCoilBack(1, 4).words, std::vector<std::uint16_t>{1});
  // The first read that fails ends it, with nothing held.
  drive->SetFault({simdrive::FaultKind::Exception, 2, -1, 3});
  const core::RegistersReadBack refused = core::ReadRegistersBack(1, 100, 7, words);
  EXPECT_NE(refused.result, 0);
  EXPECT_TRUE(refused.words.empty());
  EXPECT_FALSE(refused.holdsWritten);
}

}  // namespace
}  // namespace kvtest
