// An in-process port wired straight to a simulated drive: what the master writes goes to the
// drive, the drive's replies wait to be read. Time is simulated: the port keeps its own clock,
// which only reads move on (to the arrival of the last byte they take, or to their time-out),
// so nothing waits. Replies arrive in order, as from a drive that answers one request after
// the other: a reply delayed past the read time-out stays on the line and arrives during a
// later read, unless a purge after its arrival drops it.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "platform/serial_port.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/line_faults.h"

namespace simdrive {

class FakePort : public platform::ByteLink {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  struct Sent {
    std::vector<std::uint8_t> bytes;
    TimePoint at;  // on the real clock
  };

  explicit FakePort(Drive& drive) : drive_(drive) {}

  std::size_t Write(const std::uint8_t* data, std::size_t n) override;
  void Drain() override {}
  std::size_t ReadWithin(std::uint8_t* buffer, std::size_t n, int timeoutMs) override;
  // Drops what has arrived; replies still on their way stay.
  void Purge() override;
  TimePoint Now() const override { return now_; }

  // The next writes go out only this many bytes (a line that refuses the request); -1 = all.
  void LimitWrites(int bytes) { writeLimit_ = bytes; }
  // The next request is answered with these bytes, delayMs after it, instead of the drive's
  // reply (the drive does not see that request).
  void ScriptReply(std::vector<std::uint8_t> bytes, int delayMs = 0) { script_.push_back({std::move(bytes), delayMs}); }
  // Forgets the scripted replies no request took.
  void DropScript() { script_.clear(); }
  // Bytes that arrive unasked delayMs from now (another master's traffic, line noise).
  void Inject(std::vector<std::uint8_t> bytes, int delayMs = 0);
  // Bytes that arrive right after the next request is written, ahead of its reply.
  void NoiseBeforeNextReply(std::vector<std::uint8_t> bytes) { noise_ = std::move(bytes); }
  // Every request written comes straight back, ahead of its reply (a 2-wire RS-485 adapter
  // without echo suppression).
  void EchoLine(bool on) {
    LineFaults faults = line_.Faults();
    faults.echo = on;
    line_ = LineFaultPlayer(faults);
  }
  // The line's faults from the next request on: lost or damaged copies, noise around every
  // reply (the requests whose copy is lost are counted from here).
  void SetLineFaults(const LineFaults& faults) { line_ = LineFaultPlayer(faults); }
  const LineFaultPlayer& Line() const { return line_; }
  // Moves the simulated time on, as a quiet spell of the line.
  void Advance(std::chrono::milliseconds by) { now_ += by; }
  // The device goes away after this many more requests (0: now), as an unplugged adapter: from
  // then on nothing is written or read, every call returns at once and Failed() says so.
  void UnplugAfter(int requests) {
    unplugAfter_ = requests;
    if (requests == 0) failed_ = true;
  }
  // The device goes away ms after the next request went out, before its reply comes: the read
  // waiting then returns empty at that moment, and from then on the port is as after
  // UnplugAfter(0), except that each read that would wait moves the clock on by a millisecond:
  // a caller that keeps asking the gone device sees time go by, as on a real line.
  void UnplugDuringNextReply(int ms) { unplugInMs_ = ms; }
  bool Failed() const override { return failed_; }

  const std::vector<Sent>& SentFrames() const { return sent_; }
  const std::vector<std::size_t>& ReadSizes() const { return readSizes_; }
  void ClearHistory() {
    sent_.clear();
    readSizes_.clear();
  }

 private:
  struct InFlight {
    std::vector<std::uint8_t> bytes;
    TimePoint arrives;
  };
  void Queue(std::vector<std::uint8_t> bytes, int delayMs);
  // A reply with the line's noise around it.
  void QueueReply(std::vector<std::uint8_t> bytes, int delayMs);

  Drive& drive_;
  TimePoint now_{};
  std::deque<InFlight> pending_;  // in order of arrival
  std::deque<Reply> script_;
  std::vector<std::uint8_t> noise_;
  std::vector<Sent> sent_;
  std::vector<std::size_t> readSizes_;
  int writeLimit_ = -1;
  LineFaultPlayer line_;
  int unplugAfter_ = -1;
  int unplugInMs_ = -1;
  std::optional<TimePoint> unplugAt_;
  bool failed_ = false;
};

}  // namespace simdrive
