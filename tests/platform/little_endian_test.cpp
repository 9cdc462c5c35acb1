// The shared little-endian reader: byte order and sign of the loads, the stores, and bounded reads
// that refuse what runs past the range (offsets near the top of size_t included).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "platform/little_endian.h"

namespace platform {
namespace {

TEST(LittleEndian, LoadsStoresAndBoundedReadsInFileOrder) {
  const std::uint8_t bytes[] = {0x34, 0x12, 0xFF, 0x80, 0x00, 0x00, 0xF8, 0x3F};
  EXPECT_EQ(LoadLE16(bytes + 2), 0x80FF);  // the high bit stays unsigned
  EXPECT_EQ(LoadLE32(bytes), 0x80FF1234u);
  EXPECT_EQ(LoadLE64(bytes), 0x3FF8000080FF1234ull);
  const std::uint8_t oneAndAHalf[] = {0, 0, 0, 0, 0, 0, 0xF8, 0x3F};
  EXPECT_EQ(LoadLEDouble(oneAndAHalf), 1.5);
  std::uint8_t out[6] = {};
  StoreLE16(out, 0xBEEF);
  StoreLE32(out + 2, 0xDEADBEEFu);
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 6), (std::vector<std::uint8_t>{0xEF, 0xBE, 0xEF, 0xBE, 0xAD, 0xDE}));

  // Bounded reads give 0 and clear ok past the end.
  LEBytes in(bytes, sizeof bytes), far(bytes, sizeof bytes), none;
  EXPECT_EQ(in.Byte(7), 0x3F);
  EXPECT_EQ(in.Word(6), 0x3FF8);
  EXPECT_EQ(in.DWord(4), 0x3FF80000u);
  EXPECT_EQ(in.Double(0), LoadLEDouble(bytes));
  EXPECT_TRUE(in.ok);
  EXPECT_EQ(in.Word(7), 0);  // one byte short
  EXPECT_FALSE(in.ok);
  EXPECT_EQ(far.DWord(std::numeric_limits<std::size_t>::max() - 1), 0u);  // must not wrap round
  EXPECT_FALSE(far.ok);
  EXPECT_TRUE(far.Has(8, 0) && !far.Has(9, 0));
  EXPECT_EQ(none.Double(0), 0.0);
  EXPECT_FALSE(none.ok);
}

}  // namespace
}  // namespace platform
