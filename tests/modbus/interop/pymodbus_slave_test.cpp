// Our master against a Modbus slave that no one here wrote: pymodbus, serving one end of a
// socat pseudo-terminal pair whose other end is found through the COM folder. Skipped when
// python3-pymodbus, python3-serial or socat is missing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "../child_process.h"
#include "core/common.h"
#include "core/modbus.h"
#include "core/serial_link.h"

namespace kvtest {
namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kSocat = "/usr/bin/socat";

bool PeersPresent() {
  if (access(kPython, X_OK) != 0 || access(kSocat, X_OK) != 0) return false;
  ChildProcess check;
  if (!check.Start({kPython, "-c", "import pymodbus, serial"})) return false;
  return check.Wait(20000) == 0;
}

bool WaitForPath(const std::string& path, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  struct stat st;
  while (stat(path.c_str(), &st) != 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class PymodbusSlaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PeersPresent()) GTEST_SKIP() << "python3-pymodbus, python3-serial or socat is not installed";
    core::ResetState();
    core::State().LogMemo = [this](const std::string& line) { log.push_back(line); };
    const std::string peer = folder.Add("peer");
    ASSERT_TRUE(socat.Start({kSocat, "pty,raw,echo=0,link=" + peer, "pty,raw,echo=0,link=" + folder.Path() + "/COM5"}));
    ASSERT_TRUE(WaitForPath(peer, 5000));
    ASSERT_TRUE(WaitForPath(folder.Path() + "/COM5", 5000));
    ASSERT_TRUE(slave.Start({kPython, std::string(KV_SOURCE_DIR) + "/tests/modbus/interop/pymodbus_slave.py", peer, "3"}));
    std::string line;
    ASSERT_TRUE(slave.ReadLine(line, 20000));
    ASSERT_EQ(line, "ready");
    setenv(platform::kComFolderVariable, folder.Path().c_str(), 1);
    ASSERT_TRUE(core::OpenPort(5, 19200, 8, 'N', 1));
    // The line is known before anything is written, as after Link. This peer answers no
    // identification, so reads show it: a plain line after kQuietTries answers in a row over
    // kQuietSpan.
    std::uint32_t v = 0;
    for (int i = 0; i < core::kQuietTries; ++i) {
      if (i > 0) std::this_thread::sleep_for(core::kQuietSpan / (core::kQuietTries - 1) + std::chrono::milliseconds(1));
      ASSERT_EQ(core::ReadWord(3, 10, 1, v), 0);
    }
    ASSERT_EQ(core::PortLineEcho(), core::LineEcho::Quiet);
  }
  void TearDown() override {
    core::ClosePort();
    slave.Stop();
    socat.Stop();
    unsetenv(platform::kComFolderVariable);
    core::ResetState();
  }

  TempFolder folder;
  ChildProcess socat, slave;
  std::vector<std::string> log;
};

TEST_F(PymodbusSlaveTest, ReadsWritesAndAnExceptionReply) {
  std::uint32_t v = 0;
  ASSERT_EQ(core::ReadWord(3, 10, 1, v), 0);  // function 3
  EXPECT_EQ(v, 0x1234u);
  ASSERT_EQ(core::ReadWord(3, 10, 2, v), 0);
  EXPECT_EQ(v, 0x00011234u);
  float f = 0;
  ASSERT_EQ(core::ReadFloat(3, 20, f), 0);
  EXPECT_FLOAT_EQ(f, 2.5f);
  ASSERT_EQ(core::ReadInput(3, 30, 1, v), 0);  // function 4
  EXPECT_EQ(v, 0xFFFEu);
  ASSERT_EQ(core::ReadInput(3, 30, 2, v), 0);
  EXPECT_EQ(v, 0x7FFFFFFEu);
  ASSERT_EQ(core::ReadBit(3, 5, v), 0);  // function 1
  EXPECT_EQ(v, 1u);

  ASSERT_EQ(core::WriteWord(3, 40, 0xBEEF), 0);  // function 6
  ASSERT_EQ(core::ReadWord(3, 40, 1, v), 0);
  EXPECT_EQ(v, 0xBEEFu);
  ASSERT_EQ(core::WriteLong(3, 50, 0x00010003), 0);  // function 16
  ASSERT_EQ(core::ReadWord(3, 50, 2, v), 0);
  EXPECT_EQ(v, 0x00010003u);
  ASSERT_EQ(core::WriteFloat(3, 52, -0.75f), 0);
  ASSERT_EQ(core::ReadFloat(3, 52, f), 0);
  EXPECT_FLOAT_EQ(f, -0.75f);
  ASSERT_EQ(core::WriteProfile(3, 60, {1, 2, 3, 4, 5, 6, 0x0D11}), 0);
  std::array<std::uint16_t, 16> block{};
  for (std::uint16_t i = 0; i < 16; ++i) block[i] = static_cast<std::uint16_t>(0x0313 + i);
  ASSERT_EQ(core::WriteBlock16(3, 100, block), 0);
  std::array<std::uint16_t, 16> back{};
  ASSERT_EQ(core::ReadBlock16(3, 60, back), 0);
  EXPECT_EQ(back[6], 0x0D11);
  ASSERT_EQ(core::ReadBlock16(3, 100, back), 0);
  EXPECT_EQ(back, block);

  ASSERT_EQ(core::WriteBit(3, 6, 1), 0);  // function 5
  ASSERT_EQ(core::ReadBit(3, 6, v), 0);
  EXPECT_EQ(v, 1u);
  ASSERT_EQ(core::ToggleBit(3, 5), 0);
  ASSERT_EQ(core::ReadBit(3, 5, v), 0);
  EXPECT_EQ(v, 0u);
  ASSERT_EQ(core::ToggleWord(3, 40, 0x0001), 0);
  ASSERT_EQ(core::ReadWord(3, 40, 1, v), 0);
  EXPECT_EQ(v, 0xBEEEu);
  EXPECT_TRUE(log.empty());

  // Past the slave's 200 registers: an exception reply (code 2).
  EXPECT_EQ(core::WriteWord(3, 500, 1), 258);
  EXPECT_EQ(core::ReadWord(3, 500, 1, v), 2);
  // Another station stays silent.
  EXPECT_EQ(core::WriteWord(4, 40, 1), 2);
}

}  // namespace
}  // namespace kvtest
