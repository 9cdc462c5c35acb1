#include "core/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace fs = std::filesystem;

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kv_core_settings_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    ::setenv("KVX_SETTINGS_DIR", dir_.c_str(), 1);
    core::ResetState();
  }
  void TearDown() override {
    ::unsetenv("KVX_SETTINGS_DIR");
    fs::remove_all(dir_);
  }
  static std::vector<std::string> Recent() {
    auto r = core::RecentFiles();
    return {r.begin(), r.end()};
  }
  fs::path dir_;
};

TEST_F(SettingsTest, RecentFilesSwapWithTheFirstEntry) {
  core::AddRecentFile("A");
  EXPECT_EQ(Recent(), (std::vector<std::string>{"A", "", "", ""}));
  core::AddRecentFile("B");
  EXPECT_EQ(Recent(), (std::vector<std::string>{"B", "A", "", ""}));
  core::AddRecentFile("C");
  core::AddRecentFile("D");
  EXPECT_EQ(Recent(), (std::vector<std::string>{"D", "C", "B", "A"}));
  core::AddRecentFile("B");  // a swap, not a move to the front
  EXPECT_EQ(Recent(), (std::vector<std::string>{"B", "C", "D", "A"}));
  core::AddRecentFile("B");
  EXPECT_EQ(Recent(), (std::vector<std::string>{"B", "C", "D", "A"}));
  core::AddRecentFile("E");
  EXPECT_EQ(Recent(), (std::vector<std::string>{"E", "B", "C", "D"}));
  core::AddRecentFile("e");  // paths differ by case
  EXPECT_EQ(Recent(), (std::vector<std::string>{"e", "E", "B", "C"}));
}

// Port, baud, data bits, parity, stop bits, station list, language of the state.
using Link = std::tuple<int, int, int, char, int, std::string, int>;
Link LinkOf(const core::AppState& s) {
  return {s.LinkPort, s.LinkBaud, s.LinkDataBits, s.LinkParity, s.LinkStopBits, s.LinkStationList, s.LanguageIndex};
}

TEST_F(SettingsTest, StartupSettingsApplyRangesAndFallbacks) {
  auto& s = core::State();
  const Link fallback{1, 19200, 8, 'N', 1, "254", 1};
  EXPECT_FALSE(core::ReadStartupSettings(s));
  EXPECT_EQ(LinkOf(s), fallback);
  {
    core::SettingsBatch batch;
    core::WriteSettingInt("ParameterLinkPort", 17);
    core::WriteSettingInt("ParameterLinkBaud", 57600);
    core::WriteSettingInt("ParameterLinkData", 6);
    core::WriteSettingInt("ParameterLinkParity", 'X');
    core::WriteSettingInt("ParameterLinkStop", 3);
    core::WriteSettingInt("ParameterLanguage", 5);
    core::WriteSettingInt("ParameterOnline", 1);
    core::WriteSettingStr("ParameterStation12", "Pump 12");
    EXPECT_FALSE(fs::exists(dir_ / "settings"));  // written once, at the batch's end
    EXPECT_TRUE(batch.Finish());
  }
  EXPECT_TRUE(core::ReadStartupSettings(s));
  EXPECT_EQ(LinkOf(s), fallback);
  EXPECT_EQ(s.StationTitles[12], "Pump 12");

  s.LinkPort = 16;
  s.LinkBaud = 38400;
  s.LinkDataBits = 7;
  s.LinkParity = 'E';
  s.LinkStopBits = 2;
  s.LinkStationList = "1,3,5-12";
  core::SaveLinkSettings(s);
  core::WriteSettingInt("ParameterLanguage", 3);
  core::ResetState();
  auto& t = core::State();
  core::ReadStartupSettings(t);
  EXPECT_EQ(LinkOf(t), (Link{16, 38400, 7, 'E', 2, "1,3,5-12", 3}));
  EXPECT_EQ(t.WriteStationList, "1,3,5-12");
}

TEST_F(SettingsTest, DamagedSettingsFileDoesNotStopTheStart) {
  fs::create_directories(dir_);
  std::ofstream(dir_ / "settings", std::ios::binary) << "\xFF\xFE garbage\nParameterLinkPort\tstr\t5\n"
                                                        "ParameterLinkBaud\tint\t9600\n";
  auto& s = core::State();
  core::ReadStartupSettings(s);
  EXPECT_EQ(s.LinkPort, 1);  // stored as text: read as missing
  EXPECT_EQ(s.LinkBaud, 9600);
}

}  // namespace
