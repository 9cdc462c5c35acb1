#include "core/motor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/config.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

core::MotorRecord InUse(std::string_view code) {
  core::MotorWords words{};
  for (int w = 0; w < 11; ++w) words[static_cast<std::size_t>(w)] = static_cast<std::uint16_t>(100 + w);
  core::MotorRecord r = core::RecordOf(words);
  std::string field;
  std::vector<core::MotorRecord> none;
  EXPECT_TRUE(core::AcceptMotorCode(code, none, field));
  core::SetMotorCodeField(r, field);
  return r;
}

}  // namespace

TEST(MotorConfig, KeysFillTheModelsMotorTable) {
  core::AppState s;
  core::LoadConfigurationText(s,
                              "[MODEL=A]\n[MOTOR=2000;8]\n[MOTPASW=  motor ]\n"
                              "[MOTCOL=1;1;kW;kW2;kW3;kW4]\n[MOTCOL=17;0;bad]\n[MOTCOL=3;9;bad]\n[MOTCOL=11;3;L]\n"
                              "[MODEL=B]\n[MOTOR=65530;8]\n[MODEL=C]\n[MOTOR=1;0]\n[MODEL=D]\n[MOTOR=10;1001]\n");
  ASSERT_EQ(s.ModelCount, 4);
  const core::smod& a = s.Models[0];
  EXPECT_EQ(a.motorRegister, 2000);
  EXPECT_EQ(a.motorRecordCount, 8);
  EXPECT_EQ(a.motorPassword, "MOTOR");
  EXPECT_EQ(a.motorColumns[0].reg, 1);
  EXPECT_EQ(a.motorColumns[0].decimals, 1);
  EXPECT_EQ(a.motorColumns[0].labels[1], "kW2");
  EXPECT_EQ(a.motorColumns[1].reg, 11);  // the bad columns are skipped
  EXPECT_TRUE(a.motorColumns[2].empty());
  // A table whose registers (and the motor in use after them) pass 65535, no records, too many.
  for (int m = 1; m < 4; ++m) EXPECT_EQ(s.Models[static_cast<std::size_t>(m)].motorRegister, 0) << m;
}

TEST(MotorRecords, WordsCodesAndStates) {
  core::MotorRecord r = InUse("ab12");
  // Words little-endian; the code right-aligned, the first character of each pair high.
  EXPECT_EQ(r[0], 100);
  EXPECT_EQ(r[1], 0);
  const std::string codeBytes(reinterpret_cast<const char*>(r.data()) + 22, 10);
  EXPECT_EQ(codeBytes, "      BA21");
  EXPECT_EQ(core::MotorCode(r), "AB12");
  EXPECT_TRUE(core::MotorRecordInUse(r));
  EXPECT_FALSE(core::MotorRecordFree(r));

  core::MotorRecord half = r;
  core::SetMotorWord(half, 2, 0xFFFF);
  EXPECT_FALSE(core::MotorRecordInUse(half));
  EXPECT_FALSE(core::MotorRecordFree(half));
  EXPECT_TRUE(core::MotorRecordFree(core::FreeMotorRecord()));
  EXPECT_EQ(core::MotorCode(core::FreeMotorRecord()), "");
  EXPECT_FALSE(core::UsableMotorData(core::WordsOf(half)));

  std::vector<core::MotorRecord> table{r, half, core::FreeMotorRecord()};
  EXPECT_EQ(core::FirstFreeMotorRecord(table), 2);
  table.pop_back();
  EXPECT_EQ(core::FirstFreeMotorRecord(table), -1);
}

TEST(MotorRecords, CodesAreCheckedAsStored) {
  std::vector<core::MotorRecord> table{InUse("ABCDEFGHIJ"), InUse("X1")};
  std::string field = "kept";
  for (const char* bad : {"", "   ", "x1", " X1 ", "abcdefghijK", "ABCDEFGHIJKLMN", "caf\xC3\xA9", "a\tb"})
    EXPECT_FALSE(core::AcceptMotorCode(bad, table, field)) << bad;
  EXPECT_EQ(field, "kept");
  ASSERT_TRUE(core::AcceptMotorCode(" m4 ", table, field));
  EXPECT_EQ(field, "        M4");
  ASSERT_TRUE(core::AcceptMotorCode("abcdefghiZQ", table, field));
  EXPECT_EQ(field, "ABCDEFGHIZ");
}

TEST(MotorFile, WrittenAndReadBackByteExactShortFilesGiveFreeRecords) {
  const fs::path dir = fs::temp_directory_path() / ("kv_motor_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "KV150.pmo").string();

  std::vector<core::MotorRecord> table;
  EXPECT_FALSE(core::LoadMotorTable(path, 4, table));  // no file: every record free
  ASSERT_EQ(table.size(), 4u);
  for (const auto& r : table) EXPECT_TRUE(core::MotorRecordFree(r));

  table[1] = InUse("M2");
  table[2] = InUse("M3");
  ASSERT_TRUE(core::SaveMotorTable(path, table));
  const std::string bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 4 * core::kMotorRecordSize);
  EXPECT_EQ(bytes.substr(32, 32), std::string(reinterpret_cast<const char*>(table[1].data()), 32));
  EXPECT_EQ(bytes.substr(0, 32), std::string(32, '\xFF'));
  EXPECT_EQ(bytes.substr(96, 32), std::string(32, '\xFF'));

  std::vector<core::MotorRecord> back;
  ASSERT_TRUE(core::LoadMotorTable(path, 4, back));
  EXPECT_EQ(back, table);

  // A table grown in the configuration: the records the file lacks are free, not zeros in use,
  // and a record cut short by the file's end is neither.
  fs::resize_file(path, 2 * 32 + 4);
  EXPECT_FALSE(core::LoadMotorTable(path, 6, back));
  EXPECT_EQ(back[1], table[1]);
  EXPECT_FALSE(core::MotorRecordInUse(back[2]));
  for (std::size_t i = 3; i < 6; ++i) EXPECT_TRUE(core::MotorRecordFree(back[i])) << i;

  core::AppState s;
  core::LoadConfigurationText(s, "[MODEL=KV150]\n");
  s.ProgramFolder = "/opt/kv/";
  EXPECT_EQ(core::MotorFileName(s, 1), "/opt/kv/KV150.pmo");
  EXPECT_EQ(core::MotorFileName(s, 2), "");
  fs::remove_all(dir);
}
