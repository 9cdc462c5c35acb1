// An in-process port wired straight to a simulated drive: what the master writes goes to the
// drive, the drive's replies wait to be read. Time is simulated: a reply delayed past the read
// time-out is not delivered to that read (it stays until the next purge), and nothing waits.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/serial_port.h"
#include "tools/simdrive/drive.h"

namespace simdrive {

class FakePort : public platform::ByteLink {
 public:
  struct Sent {
    std::vector<std::uint8_t> bytes;
    std::chrono::steady_clock::time_point at;
  };

  explicit FakePort(Drive& drive) : drive_(drive) {}

  std::size_t Write(const std::uint8_t* data, std::size_t n) override;
  void Drain() override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t n) override;
  void Purge() override { pending_.clear(); }

  // The next writes go out only this many bytes (a line that refuses the request); -1 = all.
  void LimitWrites(int bytes) { writeLimit_ = bytes; }
  // The next request is answered with these bytes instead of the drive's reply (the drive
  // does not see that request).
  void ScriptReply(std::vector<std::uint8_t> bytes) { script_.push_back(std::move(bytes)); }

  const std::vector<Sent>& SentFrames() const { return sent_; }
  const std::vector<std::size_t>& ReadSizes() const { return readSizes_; }
  void ClearHistory() {
    sent_.clear();
    readSizes_.clear();
  }

 private:
  Drive& drive_;
  std::deque<Reply> pending_;
  std::deque<std::vector<std::uint8_t>> script_;
  std::vector<Sent> sent_;
  std::vector<std::size_t> readSizes_;
  int writeLimit_ = -1;
};

}  // namespace simdrive
