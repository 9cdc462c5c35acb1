#include "core/config.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "core/texts.h"

namespace {

using core::AppState;

AppState Load(std::string_view text) {
  AppState s;
  core::LoadConfigurationText(s, text);
  return s;
}

class TestConfiguration : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(core::LoadConfigurationFile(s, KV_TEST_DATA "/Kestravel.cfg")); }
  AppState s;
};

TEST_F(TestConfiguration, ModelsAndDefinitions) {
  ASSERT_EQ(s.ModelCount, 3);
  EXPECT_EQ(s.Models[0].name, "KV100");
  EXPECT_EQ(s.Models[1].name, "KV200");
  EXPECT_EQ(s.Models[2].name, "KV300");
  EXPECT_EQ(s.ParamCountPerModel, (std::vector<int>{18, 4, 1}));
  EXPECT_EQ(s.ParamCount, 23);
  ASSERT_EQ(s.ParamDefs.size(), 23u);
  // Definitions of one model are contiguous and carry its number.
  for (int i = 0; i < 18; ++i) EXPECT_EQ(s.ParamDefs[i].model, 1);
  for (int i = 18; i < 22; ++i) EXPECT_EQ(s.ParamDefs[i].model, 2);
  EXPECT_EQ(s.ParamDefs[22].model, 3);

  const auto& p = s.ParamDefs[2];  // P0.02;W102;1;1;1;1;-100.0;100.0;0.0;%
  EXPECT_EQ(p.code, "P0.02");
  EXPECT_EQ(p.type, 'W');
  EXPECT_EQ(p.reg, 102);
  EXPECT_EQ(p.editable, 1);
  EXPECT_EQ(p.transferGroup, 1);
  EXPECT_EQ(p.displayGroup, 1);
  EXPECT_EQ(p.accessLevel, 1);
  EXPECT_EQ(p.decimals, 1);
  EXPECT_FLOAT_EQ(p.minimum, -100.0f);
  EXPECT_FLOAT_EQ(p.maximum, 100.0f);
  EXPECT_EQ(p.unit, "%");
  EXPECT_EQ(p.descriptions[0], "Frequency offset");
  EXPECT_EQ(p.descriptions[3], "Decalage de frequence");
  EXPECT_EQ(p.value, 0.0f);

  // Every type letter and decimals 0..8 appear.
  std::string letters;
  std::vector<int> decimals;
  for (const auto& d : s.ParamDefs) {
    letters += d.type;
    decimals.push_back(d.decimals);
    EXPECT_EQ(d.value, 0.0f);
  }
  for (char c : std::string("BFGIJLMWX")) EXPECT_NE(letters.find(c), std::string::npos) << c;
  for (int d = 0; d <= 8; ++d) EXPECT_NE(std::find(decimals.begin(), decimals.end(), d), decimals.end()) << d;
  EXPECT_EQ(s.ParamDefs[10].decimals, 6);  // P1.02 0.000000
  EXPECT_FLOAT_EQ(s.ParamDefs[10].defaultValue, 0.0001f);
}

TEST_F(TestConfiguration, ModelTextsGroupsPagesAndPasswords) {
  const auto& m = s.Models[0];
  EXPECT_EQ(m.infoCount, 2);
  EXPECT_EQ(m.info[0][1], "Inverter vettoriale KV100");
  EXPECT_EQ(m.groupCount, 4);
  EXPECT_EQ(m.groupIds[3], "D");
  EXPECT_EQ(m.groupNames[1][2], "Motor");
  EXPECT_EQ(m.pageCount, 3);
  EXPECT_EQ(m.pageNames[2][0], "Advanced");
  EXPECT_EQ(m.passwordCount, 2);
  EXPECT_EQ(m.passwords[0], "LEVEL1");
  EXPECT_EQ(m.passwords[1], "LEVEL2");
  EXPECT_EQ(s.Models[1].passwords[0], "SERVO");
  EXPECT_EQ(s.AppTitle, "Quorvane Test 1.00");
  EXPECT_EQ(s.AppURL, "https://www.kestravel.example/service");
  EXPECT_TRUE(s.Print2Enabled);
  EXPECT_EQ(s.LangTable[32][1], "Pronto");
  EXPECT_EQ(s.LangTable[119][0], "OK");
  EXPECT_EQ(s.LangTable[119][1], "");
}

TEST_F(TestConfiguration, MonitorItems) {
  const auto& m = s.Models[0];
  // Item -> type, register, decimals, first label as the test file gives them (type 0: empty).
  struct Expected {
    const core::MonitorItem& item;
    char type;
    int reg;
    int decimals;
    const char* label;
  };
  const Expected items[] = {
      {m.levelPassword, 'W', 900, 0, nullptr}, {m.firmwareId, 0, -1, 2, nullptr},
      {m.speeds[3], 0, 913, -1, nullptr},      {m.positions[1], 'L', -1, -1, nullptr},
      {m.connectionType, 0, 930, -1, nullptr}, {m.advanced[2], 'M', -1, 2, nullptr},
      {m.regIF, 'J', 942, -1, ""},             {m.regA, 0, -1, -1, "Alarms"},
      {m.alarmBits[15], 'B', 0, -1, "Earth fault"},
      {m.inputBits[7], 0, -1, -1, "Enable"},   {m.statusBits[0], 0, 3, -1, nullptr},
      {m.statusBits[1], 0, 5, -1, nullptr},    {m.statusBits2[0], 0, 7, -1, nullptr},
      {m.outputBits2[2], 0, -1, -1, "Output 11"},
      {m.status[0], 0, 1, -1, nullptr},        {m.status[1], 'B', -1, -1, nullptr},
      {m.status[2], 0, 945, -1, nullptr},      {m.commandButtons[3], 0, -1, 4, nullptr},
      {m.commandButtons[6], 'B', -1, -1, nullptr},
      {m.monitorValues[6], 'X', -1, -1, nullptr},
      {m.parameters[1], 0, 101, -1, nullptr},  {m.errors[0], 0, 960, -1, ""},
  };
  for (const auto& e : items) {
    const int at = static_cast<int>(&e - items);
    EXPECT_FALSE(e.item.empty()) << at;
    if (e.type) EXPECT_EQ(e.item.type, e.type) << at;
    if (e.reg >= 0) EXPECT_EQ(e.item.reg, e.reg) << at;
    if (e.decimals >= 0) EXPECT_EQ(e.item.decimals, e.decimals) << at;
    if (e.label) EXPECT_EQ(e.item.labels[0], e.label) << at;
  }
  EXPECT_EQ(m.positions[1].labels[1], "Posizione 2");
  EXPECT_EQ(m.reset.labels[2], "Ruecksetzen");
  // Holes stay empty; a model without monitor keys has every slot empty; no motor tables.
  const auto& bare = s.Models[2];
  for (const core::MonitorItem* hole : {&m.advanced[3], &m.alarmBits[2], &m.statusBits[2], &m.monitorValues[7],
                                        &bare.levelPassword, &bare.advanced[0], &bare.alarmBits[0], &bare.errors[0]})
    EXPECT_TRUE(hole->empty());
  for (const auto& model : s.Models) EXPECT_EQ(model.motorRegister + model.motorRecordCount, 0);
}

TEST(ConfigLines, LastLineCountsWithOrWithoutLineEnd) {
  EXPECT_EQ(Load("[APPTIT=Test]").AppTitle, "Test");
  EXPECT_EQ(Load("[APPTIT=Test]\r\n").AppTitle, "Test");
  EXPECT_EQ(Load("").AppTitle, "Quorvane 1.00");
  EXPECT_EQ(Load("[MODEL=A]\n[PAR=C;W1;1;1;1;0;0;1;0;;D]").ParamCount, 1);
}

TEST(ConfigLines, ParameterFieldRules) {
  const std::string head = "[MODEL=M]\n[PAR=";
  // Definition fields -> whether the definition is taken.
  const std::pair<const char*, int> cases[] = {
      {"P1.01;W;1;1;1;0;0;100;50;Hz;Speed", 0},     // no register number
      {"P1.01;W100;1;1;1;0;1,5;100;50;Hz;Speed", 0},  // decimal comma
      // Integers must convert whole; floats accept blanks around them and an exponent.
      {"P;W1;1 ;1;1;0;0;1;0;;D", 0},
      {"P;W1; 1;1;1;0; 0 ;1e2;0;;D", 1},
      {"P;W1;1;1;1;0;0;1e;0;;D", 0},
      {"P;W1;1;1;1;0;0;1e40;0;;D", 0},  // beyond a float
      // Registers: known letters only, 0..65535.
      {"P;Q1;1;1;1;0;0;1;0;;D", 0},
      {"P;w1;1;1;1;0;0;1;0;;D", 0},
      {"P;W65535;1;1;1;0;0;1;0;;D", 1},
      {"P;W65536;1;1;1;0;0;1;0;;D", 0},
      {"P;W-1;1;1;1;0;0;1;0;;D", 0},
      // Code and description 1 are needed.
      {";W1;1;1;1;0;0;1;0;;D", 0},
      {"P;W1;1;1;1;0;0;1;0;;", 0},
  };
  for (const auto& [fields, count] : cases) EXPECT_EQ(Load(head + fields + "]").ParamCount, count) << fields;
  EXPECT_EQ(Load("[MODEL=M]\n[MONADV=W70000;0;x]").Models[0].advanced[0].type, 0);
  auto s = Load(head + "P1.01;W100;1;1;1;0;0;100;50;Hz;Speed]");
  ASSERT_EQ(s.ParamCount, 1);
  EXPECT_EQ(s.ParamDefs[0].decimals, 0);
  EXPECT_EQ(Load(head + "P1.01;W100;1;1;1;0;0.0;100.00;50;Hz;Speed]").ParamDefs[0].decimals, 2);
  // Long texts are cut.
  s = Load(head + std::string(25, 'c') + ";W1;1;1;1;0;0;1;0;" + std::string(30, 'u') + ";" + std::string(250, 'd') + "]");
  ASSERT_EQ(s.ParamCount, 1);
  EXPECT_EQ(s.ParamDefs[0].code.size(), 20u);
  EXPECT_EQ(s.ParamDefs[0].unit.size(), 20u);
  EXPECT_EQ(s.ParamDefs[0].descriptions[0].size(), 200u);
}

TEST(ConfigLines, ModelScopeAndLimits) {
  auto s = Load("[INFO=a;b;c;d]\n[LANGID=5;Open]\n[PAR=P;W1;1;1;1;0;0;1;0;;D]\n");
  EXPECT_EQ(s.ModelCount, 0);
  EXPECT_EQ(s.ParamCount, 0);
  EXPECT_EQ(s.LangTable[4][0], "Open");

  std::string nine;
  for (int i = 0; i < 9; ++i) nine += "[INFO=line" + std::to_string(i) + "]\n";
  s = Load("[MODEL=A]\n" + nine + "[MODEL=B]\n" + nine);
  EXPECT_EQ(s.Models[0].infoCount, 8);
  EXPECT_EQ(s.Models[0].info[7][0], "line7");
  EXPECT_EQ(s.Models[1].infoCount, 8);

  s = Load("[MODEL=A]\n[MODEL=]\n[PAR=P;W1;1;1;1;0;0;1;0;;D]\n");
  EXPECT_EQ(s.ModelCount, 1);
  EXPECT_EQ(s.ParamDefs[0].model, 1);

  s = Load("[MODEL=" + std::string(85, 'n') + "]\n");
  EXPECT_EQ(s.Models[0].name.str(), std::string(80, 'n'));

  std::string adv;
  for (int i = 0; i < 51; ++i) adv += "[MONADV=W" + std::to_string(i) + ";0;x]\n";
  s = Load("[MODEL=A]\n" + adv);
  EXPECT_EQ(s.Models[0].advanced[49].reg, 49);

  s = Load("[MODEL=A]\n[PASSW=  secret word  ]\n[PASSW=b]\n[PASSW=c]\n[PASSW=d]\n[PASSW=e]\n");
  EXPECT_EQ(s.Models[0].passwords[0], "SECRET WORD");
  EXPECT_EQ(s.Models[0].passwordCount, 4);
  EXPECT_EQ(s.Models[0].passwords[3], "D");
}

TEST(ConfigLines, KeysBitsAndMessageIds) {
  auto s = Load("[LANGID=224;x]\n[LANGID=0;x]\n[LANGID=33;Idle]\n[LANGID=34;]\n");
  for (const auto& t : s.LangTable) EXPECT_TRUE(t[0].empty() || t[0] == "Idle");
  EXPECT_EQ(s.LangTable[32][0], "Idle");

  s = Load("[MODEL=A]\n[MONALM=17;x]\n[MONALM=3;Overheat]\n[MONINP=9;x]\n[MONALM=3;Hot]\n");
  EXPECT_EQ(s.Models[0].alarmBits[2].labels[0], "Hot");  // a later line replaces the slot
  for (std::size_t i = 0; i < 16; ++i)
    if (i != 2) {
      EXPECT_TRUE(s.Models[0].alarmBits[i].empty());
    }
  EXPECT_TRUE(s.Models[0].inputBits[7].empty());

  EXPECT_EQ(Load("[model=X]\n").ModelCount, 0);
  EXPECT_EQ(Load("   [PRINT2=ON]   \n").Print2Enabled, true);
  EXPECT_EQ(Load("[PRINT2=OFF]\n").Print2Enabled, false);
  EXPECT_EQ(Load("[]MODEL=A]\n").ModelCount, 0);
  EXPECT_EQ(Load("x[MODEL=A]\n").ModelCount, 0);
  // 7-bit text: the top bit of every character is cleared.
  s = Load("[MODEL=A]\n[INFO=Caf\xE9]\n");
  EXPECT_EQ(s.Models[0].info[0][0], "Cafi");
}

TEST(ConfigLines, SplitFieldsFollowsTheDelimiterRules) {
  auto f = core::SplitFields("[PAR=a;b;;d]");
  EXPECT_EQ(f[0], "a");
  EXPECT_EQ(f[1], "b");
  EXPECT_EQ(f[2], "");
  EXPECT_EQ(f[3], "d");
  EXPECT_EQ(f[4], "");
  f = core::SplitFields("[K=x=y;a]b]");
  EXPECT_EQ(f[0], "x=y");
  EXPECT_EQ(f[1], "a");
  f = core::SplitFields("[K=a]b;c]");  // a "]" inside an earlier field stays
  EXPECT_EQ(f[0], "a]b");
  EXPECT_EQ(f[1], "c");
  f = core::SplitFields("[K=a]=z");  // text after the bracket with "=" but no ";"
  EXPECT_EQ(f[0], "a");
  for (std::size_t i = 1; i < 15; ++i) EXPECT_EQ(f[i], "");
  std::string many = "[K=";
  for (int i = 1; i <= 17; ++i) many += std::to_string(i) + (i < 17 ? ";" : "]");
  f = core::SplitFields(many);
  EXPECT_EQ(f[14], "15");
  f = core::SplitFields("no fields here");
  for (const auto& x : f) EXPECT_EQ(x, "");
}

TEST(ConfigLines, CountDecimals) {
  EXPECT_EQ(core::CountDecimals("0", "100", "50"), 0);
  EXPECT_EQ(core::CountDecimals("10.50", "1", "2"), 2);
  EXPECT_EQ(core::CountDecimals(" 1.5 ", "2.125", "1.0e-3"), 4);
  EXPECT_EQ(core::CountDecimals("", "", "3."), 0);
}

TEST(ConfigLines, NumberConversionsIgnoreTheLocale) {
  std::int32_t i = 0;
  float f = 0;
  EXPECT_TRUE(core::ParseConfigInt("  -42", i));
  EXPECT_EQ(i, -42);
  EXPECT_TRUE(core::ParseConfigInt("+7", i));
  EXPECT_FALSE(core::ParseConfigInt("+-7", i));
  EXPECT_FALSE(core::ParseConfigInt("2147483648", i));
  EXPECT_FALSE(core::ParseConfigInt("", i));
  EXPECT_FALSE(core::ParseConfigInt("0x10", i));
  EXPECT_TRUE(core::ParseConfigFloat(" -1.5E+2 ", f));
  EXPECT_EQ(f, -150.0f);
  EXPECT_TRUE(core::ParseConfigFloat(".5", f));
  EXPECT_FALSE(core::ParseConfigFloat("nan", f));
  EXPECT_FALSE(core::ParseConfigFloat("inf", f));
  EXPECT_FALSE(core::ParseConfigFloat("1.5.2", f));
  EXPECT_FALSE(core::ParseConfigFloat("-", f));
  // Straight to the nearest float, never one step off through a double.
  EXPECT_TRUE(core::ParseConfigFloat("16777217.0000000001", f));
  EXPECT_EQ(f, 16777218.0f);
  EXPECT_TRUE(core::ParseConfigFloat("1.00000005960464477539062500000001", f));
  EXPECT_EQ(f, std::nextafter(1.0f, 2.0f));
  EXPECT_TRUE(core::ParseConfigFloat("-1e-50", f));  // below the smallest float: zero
  EXPECT_TRUE(f == 0.0f && std::signbit(f));
  EXPECT_TRUE(core::ParseConfigFloat("3.4028235e38", f));
  EXPECT_FALSE(core::ParseConfigFloat("3.4028236e38", f));
  // Blanks after a number add no decimals.
  auto s = Load("[MODEL=M]\n[PAR=P;W1;1;1;1;0;0.5 ;10.25   ;1   ;;D]  \n");
  ASSERT_EQ(s.ParamCount, 1);
  EXPECT_EQ(s.ParamDefs[0].decimals, 2);
}

TEST(ConfigFile, MissingFileLeavesNoModelsAndALoadReplacesThePreviousOne) {
  AppState s;
  core::LoadConfigurationText(s, "[MODEL=A]\n[PAR=P;W1;1;1;1;0;0;1;0;;D]\n");
  s.Document.resize(2);
  EXPECT_TRUE(core::LoadConfigurationFile(s, "/nonexistent/Kestravel.cfg"));
  EXPECT_EQ(s.ModelCount, 0);
  EXPECT_EQ(s.ParamCount, 0);
  EXPECT_TRUE(s.Document.empty());
  EXPECT_EQ(s.AppTitle, "Quorvane 1.00");
  // A folder in place of the file cannot be read: a failed load.
  auto dir = std::filesystem::temp_directory_path() / "kv_cfg_dir_test";
  std::filesystem::create_directories(dir);
  EXPECT_FALSE(core::LoadConfigurationFile(s, dir.string()));
  std::filesystem::remove_all(dir);
}

TEST(ConfigFile, LoadConfigurationReadsTheCurrentFolder) {
  auto old = std::filesystem::current_path();
  std::filesystem::current_path(KV_TEST_DATA);
  core::ResetState();
  EXPECT_TRUE(core::LoadConfiguration());
  EXPECT_EQ(core::State().ModelCount, 3);
  std::filesystem::current_path(old);
  core::ResetState();
}

}  // namespace
