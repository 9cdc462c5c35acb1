// Test fixture: the simulated drive behind the in-process fake port, attached as the open
// port on a line known not to echo (as Link leaves it), with the trace lines collected and the
// pauses skipped (SkippingClock).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/modbus.h"
#include "core/records.h"
#include "core/serial_link.h"
#include "tests/modbus/skipping_clock.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/fake_port.h"

namespace kvtest {

// Bytes with their CRC appended (low byte first).
inline std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> bytes) {
  std::uint16_t crc = simdrive::Crc(bytes.data(), bytes.size());
  bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
  return bytes;
}

// A monitor item of the given letter, register and decimals.
inline core::MonitorItem Item(char type, std::uint16_t reg, std::uint8_t decimals) {
  core::MonitorItem m;
  m.type = type;
  m.reg = reg;
  m.decimals = decimals;
  return m;
}

class FakeDriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::ResetState();
    drive = std::make_unique<simdrive::Drive>("Kestravel", "KV100", "1.00");
    drive->AddStation(1);
    drive->AddStation(7);
    auto fake = std::make_unique<simdrive::FakePort>(*drive);
    port = fake.get();
    core::OpenPortOn(std::move(fake));
    core::LearnPortLineEcho(core::LineEcho::Quiet);
    core::State().LogMemo = [this](const std::string& line) { log.push_back(line); };
    core::SetPauseClock(&clock);
  }
  void TearDown() override {
    core::SetPauseClock(nullptr);
    core::ClosePort();
    core::ResetState();
  }

  // The requests written, as byte vectors.
  std::vector<std::vector<std::uint8_t>> Sent() const {
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& s : port->SentFrames()) out.push_back(s.bytes);
    return out;
  }

  std::unique_ptr<simdrive::Drive> drive;
  simdrive::FakePort* port = nullptr;
  std::vector<std::string> log;
  SkippingClock clock;
};

}  // namespace kvtest
