// The simdrive program on a pseudo-terminal, found through the COM folder: the service tool's
// core identifies it and reads and writes typed parameters of every letter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <thread>

#include "child_process.h"
#include "core/common.h"
#include "core/config.h"
#include "core/param_access.h"
#include "core/serial_link.h"

namespace kvtest {
namespace {

class SimdriveProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::ResetState();
    ASSERT_FALSE(folder.Path().empty());
    setenv(platform::kComFolderVariable, folder.Path().c_str(), 1);
  }
  void TearDown() override {
    core::ClosePort();
    drive.Stop();
    unsetenv(platform::kComFolderVariable);
    core::ResetState();
  }

  // Starts the program with the given options; true once it printed its pseudo-terminal.
  bool StartDrive(std::vector<std::string> options) {
    std::vector<std::string> argv{KV_SIMDRIVE_PROGRAM, "--com-dir", folder.Path(), "--quiet"};
    argv.insert(argv.end(), options.begin(), options.end());
    if (!drive.Start(argv)) return false;
    std::string line;
    if (!drive.ReadLine(line, 5000)) return false;
    return line.rfind("/dev/pts/", 0) == 0;
  }

  TempFolder folder;
  ChildProcess drive;
};

TEST_F(SimdriveProgramTest, IdentifiesAndServesTypedParametersOfEveryLetter) {
  const std::string config = std::string(KV_TEST_DATA) + "/Kestravel.cfg";
  ASSERT_TRUE(StartDrive({"--port", "3", "--stations", "1,5-6", "--config", config, "--model", "KV100"}));
  auto& s = core::State();
  ASSERT_TRUE(core::LoadConfigurationFile(s, config));
  ASSERT_TRUE(core::OpenPort(3, 19200, 8, 'N', 1));

  ASSERT_EQ(core::ReadDeviceId(6), 0);
  ASSERT_EQ(core::SettleLineEcho(6), 0);  // as Link does
  EXPECT_EQ(s.DeviceStation, 6);
  EXPECT_EQ(s.DeviceProduct, "KV100");
  int model = 0;
  for (int i = 0; i < s.ModelCount; ++i)
    if (s.Models[static_cast<std::size_t>(i)].name == s.DeviceProduct) model = i + 1;
  ASSERT_EQ(model, 1);

  // Every definition of the model reads back its default, the drive having been seeded so.
  std::set<char> letters;
  for (int i = 0; i < s.ParamCount; ++i) {
    const auto& d = s.ParamDefs[static_cast<std::size_t>(i)];
    if (d.model != model) continue;
    float v = -999;
    ASSERT_EQ(core::ReadParam(5, i, v), 0) << d.code.str();
    EXPECT_NEAR(v, d.defaultValue, 1e-6 + std::fabs(d.defaultValue) * 1e-6) << d.code.str();
    letters.insert(d.type);
  }
  EXPECT_EQ(letters, (std::set<char>{'B', 'F', 'G', 'I', 'J', 'L', 'M', 'W', 'X'}));

  // Write the maximum of every holding-register parameter and read it back. A maximum that
  // its register cannot hold is refused; the midpoint is written instead.
  s.Document.clear();
  for (const auto& d : s.ParamDefs)
    if (d.model == model) s.Document.push_back(d);
  int written = 0, refused = 0;
  for (std::size_t i = 0; i < s.Document.size(); ++i) {
    auto& d = s.Document[i];
    if (d.type == 'X' || d.type == 'J' || d.type == 'M' || d.type == 'G') continue;  // input registers
    const double raw = d.maximum * std::pow(10.0, d.decimals >= 1 && d.decimals <= 8 ? d.decimals : 0);
    if (d.type == 'W' || d.type == 'I') {
      if (std::nearbyint(raw) > 65535) {
        EXPECT_EQ(core::WriteParam(5, static_cast<int>(i), d.maximum), core::kResultBadValue) << d.code.str();
        d.maximum = (d.minimum + d.maximum) / 2;
        ++refused;
      }
    }
    ASSERT_EQ(core::WriteParam(5, static_cast<int>(i), d.maximum), 0) << d.code.str();
    float v = -999;
    int def = -1;
    for (int k = 0; k < s.ParamCount; ++k)
      if (s.ParamDefs[static_cast<std::size_t>(k)].model == model && s.ParamDefs[static_cast<std::size_t>(k)].code == d.code)
        def = k;
    ASSERT_EQ(core::ReadParam(5, def, v), 0);
    EXPECT_NEAR(v, d.maximum, 1e-6 + std::fabs(d.maximum) * 1e-6) << d.code.str();
    ++written;
  }
  EXPECT_GE(written, 10);
  EXPECT_GE(refused, 1);  // the test configuration has a W parameter whose range exceeds 16 bits
  // Station 2 is not served.
  EXPECT_EQ(core::ReadDeviceId(2), 2);
}

TEST_F(SimdriveProgramTest, FaultsFromTheCommandLine) {
  ASSERT_TRUE(StartDrive({"--port", "4", "--holding", "1:10=1234", "--exception", "2", "--fail-next", "1",
                          "--fault-function", "6"}));
  ASSERT_TRUE(core::OpenPort(4, 9600, 8, 'N', 1));
  ASSERT_EQ(core::SettleLineEcho(1), 0);  // as Link does
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 10, 1, v), 0);
  EXPECT_EQ(v, 1234u);
  EXPECT_EQ(core::WriteWord(1, 10, 1), 258);
  EXPECT_EQ(core::WriteWord(1, 10, 1), 0);
  // --echo-line: the probe shows the echo; a word write the drive leaves unanswered is not done.
  drive.Stop();
  ASSERT_TRUE(StartDrive({"--port", "4", "--echo-line", "--silence", "--fault-function", "6"}));
  ASSERT_TRUE(core::OpenPort(4, 9600, 8, 'N', 1));
  EXPECT_EQ(core::ReadDeviceId(1), 0);
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Echoes);
  EXPECT_EQ(core::WriteWord(1, 10, 2), 2);
  EXPECT_EQ(core::WriteBit(1, 10, 1), 0);
  // The line's faults: the probe's copy lost, noise around every reply; Link still learns the
  // echo, and a refused word write is refused.
  drive.Stop();
  ASSERT_TRUE(StartDrive({"--port", "4", "--echo-line", "--lose-copy", "1", "--noise-before", "0",
                          "--noise-behind", "0x55,170", "--exception", "3", "--fault-function", "6"}));
  ASSERT_TRUE(core::OpenPort(4, 9600, 8, 'N', 1));
  EXPECT_EQ(core::ReadDeviceId(1), 0);
  EXPECT_EQ(core::SettleLineEcho(1), 0);
  EXPECT_EQ(core::PortLineEcho(), core::LineEcho::Echoes);
  EXPECT_EQ(core::WriteWord(1, 10, 2), 259);
  EXPECT_EQ(core::WriteBit(1, 10, 1), 0);
  // A copy held back 90 ms, and the answer behind it (an adapter that stalls): the write waits
  // for them at least that long, and is done.
  drive.Stop();
  ASSERT_TRUE(StartDrive({"--port", "4", "--echo-line", "--late-copy", "2", "--copy-delay", "90"}));
  ASSERT_TRUE(core::OpenPort(4, 9600, 8, 'N', 1));
  EXPECT_EQ(core::ReadDeviceId(1), 0);
  const auto writing = std::chrono::steady_clock::now();
  EXPECT_EQ(core::WriteWord(1, 10, 3), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - writing, std::chrono::milliseconds(90));
  std::uint32_t held = 0;
  EXPECT_EQ(core::ReadWord(1, 10, 1, held), 0);
  EXPECT_EQ(held, 3u);
  drive.Stop();
  EXPECT_FALSE(StartDrive({"--port", "4", "--noise-before", "256"}));
}

TEST_F(SimdriveProgramTest, LiveValuesMoveProfilesTakeEffectAndTheDriveFallsSilent) {
  const std::string config = std::string(KV_TEST_DATA) + "/Kestravel.cfg";
  ASSERT_TRUE(StartDrive({"--port", "2", "--config", config, "--live"}));
  ASSERT_TRUE(core::OpenPort(2, 19200, 8, 'N', 1));
  // KV100's first monitor value (W950, two decimals) moves over its three-second period.
  std::set<std::uint32_t> seen;
  std::uint32_t v = 0;
  const auto reading = std::chrono::steady_clock::now();
  while (seen.size() < 2 && std::chrono::steady_clock::now() - reading < std::chrono::seconds(10)) {
    ASSERT_EQ(core::ReadWord(1, 950, 1, v), 0);
    seen.insert(v);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  EXPECT_GE(seen.size(), 2u);
  ASSERT_EQ(core::ReadWord(1, 901, 1, v), 0);
  EXPECT_EQ(v, 123u);  // firmware 1.23
  // A profile in mode 2 with ENABLE and RUN: its set-points and the status word follow.
  ASSERT_EQ(core::WriteProfile(1, 910, {1 + 8 + 128, 0x03, 100, 200, 1500, 50, 0}), 0);
  for (auto [reg, expected] : {std::pair{3, 2}, std::pair{911, 3}, std::pair{16, 100}, std::pair{4, 1500},
                               std::pair{5, 50}, std::pair{900, 0x03}}) {
    ASSERT_EQ(core::ReadWord(1, static_cast<std::uint16_t>(reg), 1, v), 0);
    EXPECT_EQ(v, static_cast<std::uint32_t>(expected)) << reg;
  }

  // A drive that falls silent 1 s after it starts: a read that ended within that second was
  // answered (a busy machine may leave none that early), one after it is not.
  core::ClosePort();
  drive.Stop();
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(StartDrive({"--port", "2", "--config", config, "--live", "--fail-after", "1"}));
  ASSERT_TRUE(core::OpenPort(2, 19200, 8, 'N', 1));
  const core::TransactionResult early = core::ReadWord(1, 901, 1, v);
  if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(900)) {
    EXPECT_EQ(early, 0);
  }
  // It falls silent no sooner than 1 s after it started, and does fall silent.
  core::TransactionResult late = 0;
  while (late == 0 && std::chrono::steady_clock::now() - started < std::chrono::seconds(20)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    late = core::ReadWord(1, 950, 1, v);
  }
  EXPECT_EQ(late, core::kResultBadReply);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

TEST_F(SimdriveProgramTest, BadCommandLinesAreRefused) {
  for (auto options : std::vector<std::vector<std::string>>{
           {"--port", "17"}, {"--stations", "0-3"}, {"--stations", "9-2"}, {"--holding", "1:x=2"},
           {"--config", "/nonexistent/Kestravel.cfg"}, {"--bogus"}, {"--delay"}, {"--live"},
           {"--late-copy", "x"}, {"--copy-delay"}}) {
    ChildProcess bad;
    std::vector<std::string> argv{KV_SIMDRIVE_PROGRAM, "--com-dir", folder.Path(), "--quiet"};
    argv.insert(argv.end(), options.begin(), options.end());
    ASSERT_TRUE(bad.Start(argv));
    EXPECT_EQ(bad.Wait(5000), 2) << options[0];
  }
}

}  // namespace
}  // namespace kvtest
