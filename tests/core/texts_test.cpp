#include "core/texts.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "core/config.h"

namespace {

class TextsTest : public ::testing::Test {
 protected:
  void SetUp() override { core::ResetState(); }
  void TearDown() override { core::ResetState(); }
};

TEST_F(TextsTest, BuiltInEnglishTable) {
  EXPECT_EQ(core::LangStr(1), "File");
  EXPECT_EQ(core::LangStr(76), "Cummunication Error!!");
  EXPECT_EQ(core::LangStr(107), "Record Saved in Position ");
  EXPECT_EQ(core::LangStr(223), "Export As...");
  EXPECT_EQ(core::LangStr(113), "Italiano");
  EXPECT_EQ(core::LangStr(134), "&Clear Print Title");
  for (int id : {69, 70, 215, 216, 217, 218, 219, 220}) EXPECT_EQ(core::LangStr(id), "") << id;
  int nonEmpty = 0;
  for (int id = 1; id <= 223; ++id) nonEmpty += !core::BuiltInText(id).empty();
  EXPECT_EQ(nonEmpty, 223 - 8);
  EXPECT_EQ(core::LangStr(224), "msg224");
  EXPECT_EQ(core::LangStr(0), "msg0");
  EXPECT_EQ(core::LangStr(-3), "msg-3");
}

TEST_F(TextsTest, ConfiguredTextsAndLanguageFallback) {
  auto& s = core::State();
  core::LoadConfigurationText(s, "[LANGID=33;Idle]\n[LANGID=34;Ver.;Vers.]\n");
  EXPECT_EQ(core::LangStr(33), "Idle");
  s.LanguageIndex = 2;
  EXPECT_EQ(core::LangStr(33), "Ready");  // only an English text configured: built-in English
  EXPECT_EQ(core::LangStr(34), "Vers.");
  EXPECT_EQ(core::LangStr(69), "");
  s.LanguageIndex = 5;
  EXPECT_EQ(core::LangStr(33), "msg33");
  s.LanguageIndex = 0;
  EXPECT_EQ(core::LangStr(1), "msg1");
}

TEST_F(TextsTest, FormatValueAndFormatScaled) {
  const std::tuple<int, float, const char*> values[] = {
      {0, 2.5f, "3"},          {2, 0.125f, "0.13"},   {1, -1.0f, "-1.0"},
      {2, 50.0f, "50.00"},     {2, 1.005f, "1.00"},   // the float lies just below 1.005
      {1, 0.05f, "0.1"},       {0, 4294967295.0f, "4294967296"},
      {8, 1e-7f, "0.00000010"}, {-2, 3.0f, "3"},      // damaged decimals never break the text
  };
  for (const auto& [decimals, value, text] : values) EXPECT_EQ(core::FormatValue(decimals, value), text) << text;
  EXPECT_LT(core::FormatValue(100000, 1.0f).size(), 100u);
  const std::tuple<int, int, const char*> scaled[] = {
      {1234, 2, "12.34"}, {1234, 0, "1234"}, {1234, 4, "1234.0000"}, {-5, 1, "-0.5"}, {65535, 3, "65.535"}};
  for (const auto& [raw, decimals, text] : scaled) EXPECT_EQ(core::FormatScaled(raw, decimals), text) << text;
}

// A locale with a decimal comma, built into a private folder so that no system locale is needed.
bool UseDecimalCommaLocale() {
  static const bool built = [] {
    std::string dir = "/tmp/kv_locale_" + std::to_string(::getpid());
    std::string cmd = "mkdir -p " + dir + " && localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
    int rc = std::system(cmd.c_str());
    if (!WIFEXITED(rc) || WEXITSTATUS(rc) > 1) return false;  // 1 only warns
    ::setenv("LOCPATH", dir.c_str(), 1);
    return true;
  }();
  return built && std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

TEST_F(TextsTest, FormatIgnoresTheProcessLocale) {
  if (!UseDecimalCommaLocale()) GTEST_SKIP() << "cannot build a locale with a decimal comma";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  ASSERT_STREQ(probe, "1,5");  // the locale really is in force
  EXPECT_EQ(core::FormatValue(2, 1.5f), "1.50");
  EXPECT_EQ(core::FormatScaled(15, 1), "1.5");
  float f = 0;
  EXPECT_TRUE(core::ParseConfigFloat("1.5", f));
  EXPECT_EQ(f, 1.5f);
  EXPECT_FALSE(core::ParseConfigFloat("1,5", f));
  std::setlocale(LC_NUMERIC, "C");
  std::system(("rm -rf /tmp/kv_locale_" + std::to_string(::getpid())).c_str());
}

TEST_F(TextsTest, Lookups) {
  auto& s = core::State();
  core::LoadConfigurationText(s,
                              "[MODEL=A]\n[PAR=P1;W1;1;1;1;0;0;10;3;;D]\n[PAR=P2;W2;1;2;1;0;0;10;4;;D]\n"
                              "[MODEL=B]\n[PAR=P1;W1;1;1;1;0;0;10;7;;D]\n");
  float def = -1;
  EXPECT_TRUE(core::FindDefault("P1", 1, 1, def));
  EXPECT_EQ(def, 3.0f);
  EXPECT_TRUE(core::FindDefault("P1", 1, 2, def));  // the model's own default, not the first model's
  EXPECT_EQ(def, 7.0f);
  def = -1;
  EXPECT_FALSE(core::FindDefault("P2", 1, 1, def));  // wrong transfer group
  EXPECT_FALSE(core::FindDefault("p1", 1, 1, def));  // codes are case-sensitive
  EXPECT_EQ(def, -1.0f);

  int index = -1;
  EXPECT_TRUE(core::FindDefinition("P1", 2, index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(core::FindDefinition("P2", 2, index));
  EXPECT_EQ(index, 2);

  s.Document = {s.ParamDefs[0], s.ParamDefs[1]};
  s.Document[1].value = 9;
  EXPECT_TRUE(core::FindInDocument("P2", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(core::FindInDocument("P1 ", index));
  float v = 0;
  EXPECT_TRUE(core::FindInRecords("P2", s.Document, v));
  EXPECT_EQ(v, 9.0f);
  EXPECT_FALSE(core::FindInRecords("P3", s.Document, v));
}

}  // namespace
