// The termios port and the transactions over a real pseudo-terminal, found through the COM
// folder, with the simulated drive serving the other side.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>

#include "child_process.h"
#include "core/common.h"
#include "core/modbus.h"
#include "core/serial_link.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/pty_server.h"
#include <gtest/gtest.h>

namespace kvtest {
namespace {

using Clock = std::chrono::steady_clock;

class ComFolderEnv {
 public:
  explicit ComFolderEnv(const std::string& folder) {
    const char* old = std::getenv(platform::kComFolderVariable);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(platform::kComFolderVariable, folder.c_str(), 1);
  }
  ~ComFolderEnv() {
    if (had_) setenv(platform::kComFolderVariable, old_.c_str(), 1);
    else unsetenv(platform::kComFolderVariable);
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(ComDevicePathTest, FixedTableAndTheComFolder) {
  TempFolder folder;
  {
    ComFolderEnv env("");
    EXPECT_EQ(platform::ComDevicePath(1), "/dev/ttyUSB0");
    EXPECT_EQ(platform::ComDevicePath(8), "/dev/ttyUSB7");
    EXPECT_EQ(platform::ComDevicePath(9), "/dev/ttyACM0");
    EXPECT_EQ(platform::ComDevicePath(12), "/dev/ttyACM3");
    EXPECT_EQ(platform::ComDevicePath(13), "/dev/ttyS0");
    EXPECT_EQ(platform::ComDevicePath(16), "/dev/ttyS3");
    EXPECT_EQ(platform::ComDevicePath(0), "");
    EXPECT_EQ(platform::ComDevicePath(17), "");
  }
  ComFolderEnv env(folder.Path());
  ASSERT_EQ(symlink("/dev/pts/nowhere", (folder.Path() + "/COM11").c_str()), 0);
  EXPECT_EQ(platform::ComDevicePath(11), folder.Path() + "/COM11");  // even a dangling link
  EXPECT_EQ(platform::ComDevicePath(10), "/dev/ttyACM1");
}

class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::ResetState();
    drive.AddStation(1);
    drive.AddStation(2);
    ASSERT_TRUE(server.Start());
    ASSERT_EQ(symlink(server.SlavePath().c_str(), (folder.Path() + "/COM3").c_str()), 0);
    env = std::make_unique<ComFolderEnv>(folder.Path());
    core::State().LogMemo = [this](const std::string& line) { log.push_back(line); };
    drive.SetLog([this](const std::string& line) {
      std::lock_guard lock(framesMutex);
      frames.push_back(line);
    });
  }
  void TearDown() override {
    core::ClosePort();
    server.Stop();
    core::ResetState();
  }

  // Opens COM3 and learns its line as Link does; the frames of that are forgotten.
  void OpenLinked(std::uint16_t baud) {
    ASSERT_TRUE(core::OpenPort(3, baud, 8, 'N', 1));
    ASSERT_EQ(core::SettleLineEcho(1), 0);
    ASSERT_EQ(core::PortLineEcho(), core::LineEcho::Quiet);
    std::lock_guard lock(framesMutex);
    frames.clear();
  }

  // The hex bytes of the last frame the drive received.
  std::string LastRequest() {
    std::lock_guard lock(framesMutex);
    for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
      auto at = it->find(" RX ");
      if (at != std::string::npos) return it->substr(at + 4);
    }
    return "";
  }

  simdrive::Drive drive{"Kestravel", "KV100", "2.10"};
  simdrive::PtyServer server{drive};
  TempFolder folder;
  std::unique_ptr<ComFolderEnv> env;
  std::vector<std::string> log;
  std::mutex framesMutex;
  std::vector<std::string> frames;
};

TEST_F(PtyTest, EveryOperationOverThePseudoTerminal) {
  OpenLinked(19200);
  EXPECT_EQ(core::WriteLong(1, 100, 0x00010003), 0);
  const std::uint8_t request[] = {1, 16, 0, 100, 0, 2, 4, 0, 3, 0, 1};
  const std::uint16_t crc = core::Crc16(request, sizeof request);
  char crcHex[8];
  std::snprintf(crcHex, sizeof crcHex, "%02X %02X", crc & 0xFF, crc >> 8);
  EXPECT_EQ(LastRequest(), std::string("01 10 00 64 00 02 04 00 03 00 01 ") + crcHex);
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 100, 2, v), 0);
  EXPECT_EQ(v, 0x00010003u);
  EXPECT_EQ(core::WriteFloat(1, 110, -7.5f), 0);
  float f = 0;
  EXPECT_EQ(core::ReadFloat(1, 110, f), 0);
  EXPECT_EQ(f, -7.5f);
  drive.SetInput(2, 5, 0x8000);
  EXPECT_EQ(core::ReadInput(2, 5, 1, v), 0);
  EXPECT_EQ(v, 0x8000u);
  EXPECT_EQ(core::ReadInputFloat(2, 5, f), 0);
  EXPECT_EQ(core::WriteBit(1, 7, 1), 0);
  EXPECT_EQ(core::ReadBit(1, 7, v), 0);
  EXPECT_EQ(v, 1u);
  EXPECT_EQ(core::ToggleBit(1, 7), 0);
  EXPECT_FALSE(drive.Coil(1, 7));
  EXPECT_EQ(core::WriteWord(1, 948, 4), 0);
  EXPECT_EQ(core::ToggleWord(1, 948, 1), 0);
  EXPECT_EQ(drive.Holding(1, 948), 5);
  EXPECT_EQ(core::WriteProfile(1, 300, {1, 2, 3, 4, 5, 6, 7}), 0);
  EXPECT_EQ(drive.Holding(1, 306), 7);
  std::array<std::uint16_t, 16> block{};
  EXPECT_EQ(core::ReadBlock16(1, 300, block), 0);
  EXPECT_EQ(block[6], 7);
  EXPECT_EQ(core::ReadDeviceId(2), 0);
  EXPECT_EQ(core::State().DeviceProduct, "KV100");
  EXPECT_EQ(core::State().DeviceRevision, "2.10");
  EXPECT_TRUE(log.empty());

  // Every request reached the drive whole, one frame each, in order; a word or coil write's
  // answer is confirmed by a read of the register or coil written.
  std::vector<std::string> functions;
  {
    std::lock_guard lock(framesMutex);
    for (const auto& line : frames) {
      auto at = line.find(" RX ");
      if (at != std::string::npos) functions.push_back(line.substr(at + 7, 2));
    }
  }
  EXPECT_EQ(functions, (std::vector<std::string>{"10", "03", "10", "03", "04", "04", "05", "01", "01", "01", "05",
                                                 "01", "06", "03", "03", "06", "03", "10", "03", "2B"}));
}

TEST_F(PtyTest, ControlCharactersPassUnharmed) {
  OpenLinked(9600);
  // Interrupt, carriage return, XON, XOFF, kill and erase: a line that is not raw eats or
  // changes them.
  const std::uint16_t values[] = {0x03, 0x0D, 0x11, 0x13, 0x15, 0x7F, 0x0D0A, 0x1113, 0x7F03, 0x0A0D, 0x1C04};
  for (std::uint16_t value : values) {
    std::uint32_t v = 0;
    ASSERT_EQ(core::WriteWord(1, value, value), 0) << value;
    EXPECT_EQ(drive.Holding(1, value), value);
    ASSERT_EQ(core::ReadWord(1, value, 1, v), 0) << value;
    EXPECT_EQ(v, value);
  }
  std::array<std::uint16_t, 16> out{}, in{};
  for (std::size_t i = 0; i < 16; ++i) out[i] = values[i % 11];
  ASSERT_EQ(core::WriteBlock16(1, 0x0311, out), 0);
  ASSERT_EQ(core::ReadBlock16(1, 0x0311, in), 0);
  EXPECT_EQ(in, out);
}

TEST_F(PtyTest, LineSettingsAndRawMode) {
  termios t;
  ASSERT_TRUE(core::OpenPort(3, 57600, 8, 'N', 1));
  ASSERT_TRUE(server.LineSettings(t));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);

  ASSERT_TRUE(core::OpenPort(3, 9600, 8, 'N', 2));
  ASSERT_TRUE(server.LineSettings(t));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), static_cast<tcflag_t>(CSTOPB));

  // Values it does not know keep what the line had.
  ASSERT_TRUE(core::OpenPort(3, 12345, 9, 'M', 0));
  ASSERT_TRUE(server.LineSettings(t));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), static_cast<tcflag_t>(CSTOPB));
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), 0);

  // A pseudo-terminal has no parity and always 8 data bits: a line that refuses the settings
  // does not count as open.
  EXPECT_FALSE(core::OpenPort(3, 9600, 7, 'N', 1));
  EXPECT_FALSE(core::OpenPort(3, 9600, 8, 'E', 1));
  EXPECT_FALSE(core::OpenPort(3, 4800, 8, 'O', 1));
  EXPECT_FALSE(core::IsPortOpen());
}
TEST_F(PtyTest, OpeningAndClosingClearTheLinkState) {
  auto& s = core::State();
  s.LinkedStation = 5;
  s.LinkProduct = "KV100";
  s.DeviceStation = 4;
  core::ClosePort();  // no port open: still clears
  EXPECT_EQ(s.LinkedStation, 0);
  EXPECT_EQ(s.LinkProduct, "");
  ASSERT_TRUE(core::OpenPort(3, 19200, 8, 'N', 1));
  s.LinkedStation = 5;
  s.LinkedModel = 2;
  ASSERT_TRUE(core::OpenPort(3, 19200, 8, 'N', 1));  // the same port again
  EXPECT_EQ(s.LinkedStation, 0);
  EXPECT_EQ(s.LinkedModel, 0);
  EXPECT_EQ(s.DeviceStation, 4);  // the identification results stay
  EXPECT_TRUE(core::IsPortOpen());
  core::ClosePort();
  EXPECT_FALSE(core::IsPortOpen());
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), 1);
}

TEST_F(PtyTest, APortHeldElsewhereOrNotASerialLineDoesNotOpen) {
  ASSERT_TRUE(core::OpenPort(3, 19200, 8, 'N', 1));
  platform::SerialPort second;
  EXPECT_FALSE(second.Open(folder.Path() + "/COM3", {}));
  int exclusive = -1;
  // (Only root gets this far while the line is exclusive; others see EBUSY from open.)
  int probe = open((folder.Path() + "/COM3").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (probe >= 0) {
    EXPECT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    close(probe);
  }
  core::ClosePort();
  // Closing gives the line free again, although the drive still has it open.
  probe = open((folder.Path() + "/COM3").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(probe, 0);
  EXPECT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  close(probe);
  EXPECT_TRUE(second.Open(folder.Path() + "/COM3", {}));
  EXPECT_FALSE(core::OpenPort(3, 19200, 8, 'N', 1));
  EXPECT_FALSE(core::IsPortOpen());
  second.Close();

  ASSERT_EQ(symlink("/dev/null", (folder.Path() + "/COM4").c_str()), 0);
  EXPECT_FALSE(core::OpenPort(4, 19200, 8, 'N', 1));
  std::string file = folder.Add("plain");
  std::ofstream(file) << "not a line";
  ASSERT_EQ(symlink(file.c_str(), (folder.Path() + "/COM5").c_str()), 0);
  EXPECT_FALSE(core::OpenPort(5, 19200, 8, 'N', 1));
  ASSERT_EQ(symlink((folder.Path() + "/missing").c_str(), (folder.Path() + "/COM6").c_str()), 0);
  EXPECT_FALSE(core::OpenPort(6, 19200, 8, 'N', 1));
  EXPECT_FALSE(core::OpenPort(0, 19200, 8, 'N', 1));
  EXPECT_FALSE(core::OpenPort(17, 19200, 8, 'N', 1));
  EXPECT_FALSE(core::IsPortOpen());
}

TEST_F(PtyTest, StaleBytesAreNeverTakenForAReply) {
  drive.SetHolding(1, 9, 1234);
  // A reply-shaped frame that arrived before the port was opened.
  std::vector<std::uint8_t> stale{1, 3, 2, 0x55, 0x55};
  std::uint16_t crc = simdrive::Crc(stale.data(), stale.size());
  stale.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  stale.push_back(static_cast<std::uint8_t>(crc >> 8));
  platform::SerialPort early;
  ASSERT_TRUE(early.Open(folder.Path() + "/COM3", {}));
  early.Close();
  server.SendRaw(stale);
  ASSERT_TRUE(core::OpenPort(3, 19200, 8, 'N', 1));
  std::uint32_t v = 0;
  EXPECT_EQ(core::ReadWord(1, 9, 1, v), 0);
  EXPECT_EQ(v, 1234u);
  // And between transactions.
  server.SendRaw(stale);
  EXPECT_EQ(core::ReadWord(1, 9, 1, v), 0);
  EXPECT_EQ(v, 1234u);
}

// How long the tries wait is decided on the fake port's simulated time (late_reply_test.cpp,
// echo_line_test.cpp); over the pseudo-terminal only what a busy machine cannot shorten: the
// waits a silent station costs at least, and the results.
TEST_F(PtyTest, ReadsWaitForTheirTimeOutOnlyWhenTheReplyIsShort) {
  OpenLinked(19200);
  std::uint32_t v = 0;
  ASSERT_EQ(core::ReadWord(1, 1, 1, v), 0);

  // A silent station: two tries of 3 x 7 + 50 ms each, the line drained for a late reply of
  // the first before the second.
  auto start = Clock::now();
  EXPECT_EQ(core::ReadWord(9, 1000, 1, v), 2);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(2 * 71) + core::kLateReplyGuard);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], "ReadWord - par=1000 Received=0 Error=2 CRC=65535 j=0");
  EXPECT_EQ(log[2], "      RX: ");

  // A reply that comes late, but within the time-out, is taken.
  drive.SetHolding(1, 1, 77);
  simdrive::Fault delay;
  delay.kind = simdrive::FaultKind::Delay;
  delay.arg = 25;
  drive.SetFault(delay);
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), 0);
  EXPECT_EQ(v, 77u);
  // A request lost once: the second try, one read time-out later, gets the reply.
  simdrive::Fault lost;
  lost.kind = simdrive::FaultKind::Ignore;
  lost.count = 1;
  drive.SetFault(lost);
  start = Clock::now();
  EXPECT_EQ(core::WriteWord(1, 1, 78), 0);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(3 * 8 + 50));
  EXPECT_EQ(drive.Holding(1, 1), 78);
}

TEST_F(PtyTest, ADamagedReplyRightAfterAnUnansweredOperationCostsOneRetry) {
  ASSERT_TRUE(core::OpenPort(3, 19200, 8, 'N', 1));
  drive.SetHolding(1, 4, 44);
  std::uint32_t v = 0;
  simdrive::Fault fault;
  fault.kind = simdrive::FaultKind::Silence;
  fault.count = 2;
  drive.SetFault(fault);
  EXPECT_EQ(core::ReadWord(1, 3, 1, v), 2);
  fault.kind = simdrive::FaultKind::BadCrc;
  fault.count = 1;
  drive.SetFault(fault);
  // (What it costs is decided on the fake port: LateReplyTest.OnlyATryThatHeardNothingCostsTheGuard.)
  EXPECT_EQ(core::ReadWord(1, 4, 1, v), 0);
  EXPECT_EQ(v, 44u);
  EXPECT_GE(drive.RequestCount(), 4);
}

TEST_F(PtyTest, InjectedFaultsOverTheLine) {
  OpenLinked(38400);
  std::uint32_t v = 0;
  auto with = [&](simdrive::FaultKind kind, int arg = 0) {
    simdrive::Fault f;
    f.kind = kind;
    f.arg = arg;
    drive.SetFault(f);
  };
  with(simdrive::FaultKind::BadCrc);
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), 2);
  with(simdrive::FaultKind::Echo);
  EXPECT_EQ(core::ReadWord(1, 1, 1, v), 2);
  // The read's copy showed an echoing line: the write's copy alone is no answer.
  EXPECT_EQ(core::WriteWord(1, 1, 5), 2);
  with(simdrive::FaultKind::Exception, 3);
  EXPECT_EQ(core::WriteWord(1, 1, 5), 259);
  with(simdrive::FaultKind::WrongValue);
  EXPECT_EQ(core::WriteWord(1, 1, 5), 3);
  with(simdrive::FaultKind::WrongQuantity);
  EXPECT_EQ(core::WriteLong(1, 1, 5), 3);
  with(simdrive::FaultKind::Length, -3);
  // 5 CRC-correct bytes with function 6, not its exception code 0x86: no exception reply, but
  // a reply of the wrong length.
  EXPECT_EQ(core::WriteWord(1, 0x0701, 5), 3);
  // The drive's own echo showed an echoing line: a word write's answer is taken for its copy
  // until the line is learnt again.
  drive.ClearFault();
  EXPECT_EQ(core::WriteWord(1, 1, 5), 2);
  OpenLinked(38400);
  EXPECT_EQ(core::WriteWord(1, 1, 5), 0);
}

}  // namespace
}  // namespace kvtest

namespace kvtest {
namespace {

TEST_F(PtyTest, LateRepliesOverTheLineNeverBecomeAnotherRegistersValue) {
  ASSERT_TRUE(core::OpenPort(3, 19200, 8, 'N', 1));
  for (std::uint16_t r = 1; r <= 6; ++r) drive.SetHolding(1, r, static_cast<std::uint16_t>(100 * r + 7));
  // Now and then both tries of a read are answered 150 to 300 ms late (past the read time-out,
  // within the guard), by a drive that answers the requests queued meanwhile only after it.
  const std::map<int, int> delays = {{3, 150}, {11, 250}, {19, 300}};
  for (int i = 0; i < 24; ++i) {
    if (auto d = delays.find(i); d != delays.end()) {
      simdrive::Fault late;
      late.kind = simdrive::FaultKind::Delay;
      late.arg = d->second;
      late.count = 2;
      drive.SetFault(late);
    }
    const std::uint16_t r = static_cast<std::uint16_t>(1 + i % 6);
    std::uint32_t v = 0;
    if (core::ReadWord(1, r, 1, v) == 0) {
      EXPECT_EQ(v, 100u * r + 7) << "read " << i;
    }
  }
  // Writes alike: a late echo of one value is not the answer of the next write.
  simdrive::Fault late;
  late.kind = simdrive::FaultKind::Delay;
  late.arg = 300;
  late.count = 2;
  drive.SetFault(late);
  EXPECT_NE(core::WriteWord(1, 9, 1), 0);
  // The late echoes of 1 are drained before this write is sent.
  if (core::WriteWord(1, 9, 2) == 0) {
    EXPECT_EQ(drive.Holding(1, 9), 2);
  }
  int result = -1;
  for (int tries = 0; tries < 5 && result != 0; ++tries) result = core::WriteWord(1, 9, 3);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(drive.Holding(1, 9), 3);
}

}  // namespace
}  // namespace kvtest
