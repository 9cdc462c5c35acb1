// Typed parameter access: letters, signedness, scaling, rounding and refused values.
#include <bit>
#include <cmath>
#include <limits>

#include "core/param_access.h"
#include "fake_drive.h"

namespace kvtest {
namespace {

core::ParameterDefinition Def(char type, int reg, int decimals, float minimum = 0) {
  core::ParameterDefinition d;
  d.type = type;
  d.reg = reg;
  d.decimals = decimals;
  d.minimum = minimum;
  d.maximum = 1e9f;
  d.model = 1;
  return d;
}

class ParamAccessTest : public FakeDriveTest {
 protected:
  // Makes d the only definition and reads it.
  core::TransactionResult Read(const core::ParameterDefinition& d, float& value) {
    core::State().ParamDefs = {d};
    core::State().ParamCount = 1;
    return core::ReadParam(1, 0, value);
  }
  float ReadOk(const core::ParameterDefinition& d) {
    float v = -12345.0f;
    EXPECT_EQ(Read(d, v), 0);
    return v;
  }
  // Makes d the only document record and writes value; returns the request sent (or empty).
  core::TransactionResult Write(const core::ParameterDefinition& d, float value) {
    core::State().Document = {d};
    port->ClearHistory();
    return core::WriteParam(1, 0, value);
  }
  std::uint16_t WrittenWord(const core::ParameterDefinition& d, float value) {
    EXPECT_EQ(Write(d, value), 0);
    return drive->Holding(1, static_cast<std::uint16_t>(d.reg));
  }
};

TEST_F(ParamAccessTest, HoldingRegistersAreSignedWhenTheMinimumIsNegative) {
  drive->SetHolding(1, 50, 0xFFFE);
  EXPECT_FLOAT_EQ(ReadOk(Def('W', 50, 1, -100)), -0.2f);
  EXPECT_FLOAT_EQ(ReadOk(Def('W', 50, 1, 0)), 6553.4f);
  EXPECT_FLOAT_EQ(ReadOk(Def('I', 50, 0, 0)), 65534.0f);
  EXPECT_FLOAT_EQ(ReadOk(Def('Z', 50, 0, -1)), -2.0f);  // an unknown letter reads as W
  drive->SetHolding(1, 60, 0xFFFF);
  drive->SetHolding(1, 61, 0xFFFF);
  EXPECT_EQ(ReadOk(Def('L', 60, 0, 0)), 4294967295.0f);
  EXPECT_FLOAT_EQ(ReadOk(Def('L', 60, 2, -1)), -0.01f);
  drive->SetHolding(1, 60, 0x86A0);  // 100000 = 0x000186A0
  drive->SetHolding(1, 61, 0x0001);
  EXPECT_FLOAT_EQ(ReadOk(Def('L', 60, 3, 0)), 100.0f);
  // Decimals outside 1..8 do not scale.
  EXPECT_FLOAT_EQ(ReadOk(Def('L', 60, 9, 0)), 100000.0f);
  EXPECT_FLOAT_EQ(ReadOk(Def('L', 60, -1, 0)), 100000.0f);
}

TEST_F(ParamAccessTest, InputRegistersFollowTheirLetter) {
  drive->SetInput(1, 70, 0xFFFF);
  drive->SetInput(1, 71, 0xFFFF);
  drive->SetHolding(1, 70, 7);  // holding registers are another space
  EXPECT_FLOAT_EQ(ReadOk(Def('J', 70, 0, -5)), 65535.0f);
  EXPECT_FLOAT_EQ(ReadOk(Def('X', 70, 1, 0)), -0.1f);
  EXPECT_FLOAT_EQ(ReadOk(Def('M', 70, 0, 0)), -1.0f);  // signed whatever the minimum
  std::string text;
  EXPECT_EQ(core::ReadMonitorItem(1, Item('J', 70, 0), text), 0);
  EXPECT_EQ(text, "-1");
  EXPECT_EQ(Sent().back(), WithCrc({1, 4, 0, 70, 0, 1}));
}

TEST_F(ParamAccessTest, FloatsAndCoilsAreNotScaled) {
  std::uint32_t bits = std::bit_cast<std::uint32_t>(12.75f);
  drive->SetHolding(1, 80, static_cast<std::uint16_t>(bits & 0xFFFF));
  drive->SetHolding(1, 81, static_cast<std::uint16_t>(bits >> 16));
  drive->SetInput(1, 80, static_cast<std::uint16_t>(bits & 0xFFFF));
  drive->SetInput(1, 81, static_cast<std::uint16_t>(bits >> 16));
  EXPECT_FLOAT_EQ(ReadOk(Def('F', 80, 2)), 12.75f);
  EXPECT_FLOAT_EQ(ReadOk(Def('G', 80, 3)), 12.75f);
  drive->SetCoil(1, 9, true);
  EXPECT_FLOAT_EQ(ReadOk(Def('B', 9, 2)), 1.0f);

  // An F parameter writes the float's own bits, unscaled.
  EXPECT_EQ(Write(Def('F', 90, 2), 3.14f), 0);
  std::uint32_t written = static_cast<std::uint32_t>(drive->Holding(1, 91)) << 16 | drive->Holding(1, 90);
  EXPECT_EQ(std::bit_cast<float>(written), 3.14f);
  EXPECT_FLOAT_EQ(ReadOk(Def('F', 90, 2)), 3.14f);
}

TEST_F(ParamAccessTest, WritesRoundTheScaledValue) {
  EXPECT_EQ(WrittenWord(Def('W', 10, 1), 12.35f), 124);
  EXPECT_EQ(WrittenWord(Def('W', 10, 2), 0.125f), 13);
  EXPECT_EQ(WrittenWord(Def('W', 10, 0), -0.5f), 0);
  // The nudge decides halves upwards.
  EXPECT_EQ(WrittenWord(Def('W', 10, 0), 2.5f), 3);
  EXPECT_EQ(WrittenWord(Def('W', 10, 0), -2.5f), 0xFFFE);
  EXPECT_EQ(WrittenWord(Def('W', 10, 0), -5.0f), 0xFFFB);
  EXPECT_EQ(WrittenWord(Def('W', 10, 0, -10), -5.0f), 0xFFFB);
  EXPECT_EQ(WrittenWord(Def('W', 10, 4), 1.2345f), 12345);
  EXPECT_EQ(WrittenWord(Def('W', 10, 5), 0.01f), 1000);
  EXPECT_EQ(WrittenWord(Def('W', 10, 8), 0.00000123f), 123);
  EXPECT_EQ(WrittenWord(Def('W', 10, 9), 12.4f), 12);  // other decimals: unscaled
  // The input-register letters are written like W, as function 6 to the same number (the
  // answer confirmed by a read of that holding register).
  for (char letter : {'X', 'J', 'M', 'G', 'I'}) {
    EXPECT_EQ(WrittenWord(Def(letter, 11, 1), 2.5f), 25) << letter;
    EXPECT_EQ(Sent(), (std::vector<std::vector<std::uint8_t>>{WithCrc({1, 6, 0, 11, 0, 25}),
                                                             WithCrc({1, 3, 0, 11, 0, 1})}))
        << letter;
  }
  // L writes both words, low word first.
  EXPECT_EQ(Write(Def('L', 20, 3, -1000), -1.5f), 0);
  EXPECT_EQ(drive->Holding(1, 20), 0xFA24);  // -1500 = 0xFFFFFA24
  EXPECT_EQ(drive->Holding(1, 21), 0xFFFF);
  EXPECT_FLOAT_EQ(ReadOk(Def('L', 20, 3, -1000)), -1.5f);
}

TEST_F(ParamAccessTest, CoilsSwitchOnOnlyForOne) {
  drive->SetCoil(1, 4, true);
  EXPECT_EQ(Write(Def('B', 4, 0), 2.0f), 0);
  EXPECT_EQ(Sent().front(), WithCrc({1, 5, 0, 4, 0, 0}));
  EXPECT_FALSE(drive->Coil(1, 4));
  EXPECT_EQ(Write(Def('B', 4, 0), 1.0f), 0);
  EXPECT_TRUE(drive->Coil(1, 4));
  EXPECT_EQ(Sent().front(), WithCrc({1, 5, 0, 4, 0xFF, 0}));
}

TEST_F(ParamAccessTest, ReadBackTellsWhetherTheDriveHoldsWhatTheWriteSends) {
  auto back = [](const core::ParameterDefinition& d, float written) {
    core::State().Document = {d};
    return core::ReadParamBack(1, 0, written);
  };
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(12.75f);
  drive->SetHolding(1, 50, 0xFFFE);
  drive->SetInput(1, 50, 7);
  drive->SetHolding(1, 60, 0x86A0);  // 100000 in two words, low word first
  drive->SetHolding(1, 61, 0x0001);
  drive->SetHolding(1, 80, static_cast<std::uint16_t>(bits & 0xFFFF));
  drive->SetHolding(1, 81, static_cast<std::uint16_t>(bits >> 16));
  const std::uint32_t tiny = std::bit_cast<std::uint32_t>(1e-12f);
  drive->SetHolding(1, 84, static_cast<std::uint16_t>(tiny & 0xFFFF));
  drive->SetHolding(1, 85, static_cast<std::uint16_t>(tiny >> 16));
  drive->SetCoil(1, 9, false);
  // An input letter is written to the holding register of its number, and read back from it; a
  // coil is switched on by 1 only (2 writes it off); a value the register cannot hold was never sent.
  const struct { core::ParameterDefinition def; float written; bool holds; } cases[] = {
      {Def('W', 50, 1, -100), -0.2f, true}, {Def('W', 50, 1, -100), -0.3f, false},
      {Def('W', 50, 0, 0), 65534.0f, true}, {Def('X', 50, 0), 7.0f, false},
      {Def('X', 50, 0), 65534.0f, true},    {Def('L', 60, 3), 100.0f, true},
      {Def('L', 60, 3), 100.001f, false},   {Def('B', 9, 0), 2.0f, true},
      {Def('B', 9, 0), 1.0f, false},        {Def('F', 80, 2), 12.75f, true},
      {Def('F', 80, 2), 12.5f, false},      {Def('W', 50, 2), 700.0f, false},
      // A float is compared by its bits: 0 and a value too small for the read's nudge as well.
      {Def('F', 82, 2), 0.0f, true},        {Def('F', 84, 0), 1e-12f, true},
      {Def('F', 82, 2), 1e-10f, false},     {Def('F', 84, 0), 0.0f, false}};
  for (const auto& c : cases) EXPECT_EQ(back(c.def, c.written).holdsWritten, c.holds) << c.def.type << c.written;
  EXPECT_FLOAT_EQ(back(Def('W', 50, 1, -100), -0.3f).value, -0.2f);
  EXPECT_EQ(back(Def('F', 82, 2), 5.0f).value, 0.0f);  // what the drive holds, not nudged
  EXPECT_EQ(back(Def('F', 84, 0), 0.0f).value, 1e-12f);
  // A read that fails tells nothing.
  drive->SetFault({simdrive::FaultKind::Silence});
  const core::ParamReadBack silent = back(Def('W', 50, 1, -100), -0.2f);
  EXPECT_EQ(silent.result, core::kResultBadReply);
  EXPECT_FALSE(silent.holdsWritten);
  EXPECT_EQ(core::ReadParamBack(1, 1, 0).result, core::kResultBadIndex);

  for (core::TransactionResult r : {1, 2, 3}) EXPECT_TRUE(core::WriteMayHaveBeenDone(r)) << r;
  for (core::TransactionResult r : {0, 4, 5, 6, 7, 257, 259}) EXPECT_FALSE(core::WriteMayHaveBeenDone(r)) << r;
}

TEST_F(ParamAccessTest, ValuesThatDoNotFitAreRefusedWithoutATransaction) {
  drive->SetHolding(1, 10, 777);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    core::ParameterDefinition def;
    float value;
  } cases[] = {
      {Def('W', 10, 0), 65536.0f},  {Def('W', 10, 0), -32769.0f}, {Def('W', 10, 2), 700.0f},
      {Def('X', 10, 0), 70000.0f},  {Def('L', 10, 0), 5e9f},      {Def('L', 10, 1), -3e8f},
      {Def('B', 10, 0), 256.0f},    {Def('B', 10, 0), -1.0f},     {Def('W', 10, 1), nan},
      {Def('F', 10, 0), inf},       {Def('F', 10, 0), nan},       {Def('L', 10, 0), -inf},
  };
  for (const auto& c : cases) EXPECT_EQ(Write(c.def, c.value), core::kResultBadValue) << c.def.type << " " << c.value;
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(drive->Holding(1, 10), 777);
  // The limits themselves fit.
  EXPECT_EQ(WrittenWord(Def('W', 10, 0), 65535.0f), 0xFFFF);
  EXPECT_EQ(WrittenWord(Def('W', 10, 0), -32768.0f), 0x8000);
  EXPECT_EQ(WrittenWord(Def('W', 10, 2), 655.35f), 65535);
  EXPECT_EQ(Write(Def('L', 10, 0), 4294967040.0f), 0);
  EXPECT_EQ(drive->Holding(1, 11), 0xFFFF);
}

TEST_F(ParamAccessTest, IndexesOutsideTheirListGiveFour) {
  core::State().ParamDefs = {Def('W', 1, 0), Def('W', 2, 0)};
  core::State().ParamCount = 2;
  float v = 5;
  EXPECT_EQ(core::ReadParam(1, 2, v), core::kResultBadIndex);
  EXPECT_EQ(core::ReadParam(1, -1, v), core::kResultBadIndex);
  core::State().ParamCount = 3;  // a count larger than the list is not trusted
  EXPECT_EQ(core::ReadParam(1, 2, v), core::kResultBadIndex);
  core::State().Document = {Def('W', 1, 0)};
  EXPECT_EQ(core::WriteParam(1, 1, 1.0f), core::kResultBadIndex);
  EXPECT_EQ(core::WriteParam(1, -1, 1.0f), core::kResultBadIndex);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(v, 5);
}

TEST_F(ParamAccessTest, MonitorItemsAreSignedAndScaledByTheirDecimals) {
  drive->SetHolding(1, 1, 0xFFFE);
  drive->SetHolding(1, 2, 0xFFFF);
  drive->SetHolding(1, 10, 12345);
  drive->SetInput(1, 5, 0x0010);
  drive->SetInput(1, 6, 0x0001);
  drive->SetCoil(1, 3, true);
  // Floats, low word first: 12.5 in holding registers 20/21, -3.25 in input registers 30/31.
  drive->SetHolding(1, 21, 0x4148);
  drive->SetInput(1, 31, 0xC050);
  struct Case {
    core::MonitorItem item;
    const char* text;
  } cases[] = {
      {Item('W', 1, 0), "-2"},          {Item('W', 1, 1), "-0.2"},        {Item('F', 20, 2), "12.50"},
      {Item('G', 30, 1), "-3.2"},          {Item('I', 1, 0), "-2"},          {Item('L', 1, 0), "-2"},
      {Item('L', 1, 3), "-0.002"},      {Item('X', 1, 0), "0"},           {Item('M', 5, 0), "65552"},
      {Item('M', 5, 2), "655.52"},      {Item('B', 3, 0), "1"},           {Item('B', 3, 2), "0.01"},
      {Item('W', 10, 4), "1.2345"},     {Item('W', 10, 5), "0.12345"},    {Item('W', 10, 6), "0.012345"},
      {Item('W', 10, 7), "0.0012345"},  {Item('W', 10, 8), "0.00012345"}, {Item('W', 10, 9), "12345"},
      {Item('W', 10, 200), "12345"},
  };
  for (const auto& c : cases) {
    std::string text = "unchanged";
    EXPECT_EQ(core::ReadMonitorItem(1, c.item, text), 0);
    EXPECT_EQ(text, c.text) << c.item.type << int(c.item.decimals);
  }
  std::string text = "unchanged";
  EXPECT_EQ(core::ReadMonitorItem(9, Item('W', 1, 0), text), 2);
  EXPECT_EQ(text, "unchanged");
}

TEST_F(ParamAccessTest, MonitorItemsAreWrittenWithTheScaleTheyAreShownWith) {
  EXPECT_EQ(core::WriteMonitorItem(1, Item('W', 40, 1), 50.0), 0);
  EXPECT_EQ(drive->Holding(1, 40), 500);
  EXPECT_EQ(core::WriteMonitorItem(1, Item('W', 40, 2), -1.005), 0);  // rounded, two's complement
  EXPECT_EQ(drive->Holding(1, 40), 0xFF9B);
  EXPECT_EQ(core::WriteMonitorItem(1, Item('L', 42, 0), -70000), 0);
  EXPECT_EQ(drive->Holding(1, 42), 0xEE90);
  EXPECT_EQ(drive->Holding(1, 43), 0xFFFE);
  EXPECT_EQ(core::WriteMonitorItem(1, Item('F', 44, 3), 2.5), 0);
  EXPECT_EQ(drive->Holding(1, 45), 0x4020);
  // What the register cannot hold is refused without a transaction.
  port->ClearHistory();
  EXPECT_EQ(core::WriteMonitorItem(1, Item('W', 40, 0), 70000), core::kResultBadValue);
  EXPECT_EQ(core::WriteMonitorItem(1, Item('W', 40, 1), 6553.6), core::kResultBadValue);
  EXPECT_EQ(core::WriteMonitorItem(1, Item('L', 42, 0), 5e9), core::kResultBadValue);
  EXPECT_EQ(core::WriteMonitorItem(1, Item('W', 40, 0), std::nan("")), core::kResultBadValue);
  EXPECT_TRUE(port->SentFrames().empty());
  double low = 0, high = 0;
  EXPECT_TRUE(core::MonitorItemLimits(Item('W', 40, 1), low, high));
  EXPECT_DOUBLE_EQ(low, -3276.8);
  EXPECT_DOUBLE_EQ(high, 6553.5);
  EXPECT_FALSE(core::MonitorItemLimits(Item('G', 40, 1), low, high));
}

}  // namespace
}  // namespace kvtest
