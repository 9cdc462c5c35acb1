#include "tools/simdrive/fake_port.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace simdrive {

void FakePort::Queue(std::vector<std::uint8_t> bytes, int delayMs) {
  TimePoint arrives = now_ + std::chrono::milliseconds(std::max(delayMs, 0));
  // The drive answers one request after the other: no reply overtakes an earlier one.
  if (!pending_.empty()) arrives = std::max(arrives, pending_.back().arrives);
  pending_.push_back({std::move(bytes), arrives});
}

void FakePort::QueueReply(std::vector<std::uint8_t> bytes, int delayMs) {
  const LineFaults& faults = line_.Faults();
  if (!faults.noiseBefore.empty()) Queue(faults.noiseBefore, delayMs);
  Queue(std::move(bytes), delayMs);
  if (!faults.noiseBehind.empty()) Queue(faults.noiseBehind, delayMs);
}

void FakePort::Inject(std::vector<std::uint8_t> bytes, int delayMs) {
  TimePoint arrives = now_ + std::chrono::milliseconds(std::max(delayMs, 0));
  auto at = std::find_if(pending_.begin(), pending_.end(), [&](const InFlight& f) { return f.arrives > arrives; });
  pending_.insert(at, {std::move(bytes), arrives});
}

std::size_t FakePort::Write(const std::uint8_t* data, std::size_t n) {
  if (unplugAfter_ == 0) failed_ = true;
  if (failed_) return 0;
  if (unplugAfter_ > 0) --unplugAfter_;
  if (unplugInMs_ >= 0) unplugAt_ = now_ + std::chrono::milliseconds(std::exchange(unplugInMs_, -1));
  std::size_t written = writeLimit_ >= 0 ? std::min(n, static_cast<std::size_t>(writeLimit_)) : n;
  sent_.push_back({std::vector<std::uint8_t>(data, data + written), std::chrono::steady_clock::now()});
  if (auto copy = line_.CopyOf(data, written); !copy.empty()) {
    // A late copy holds up what comes behind it.
    if (line_.LastCopyDelayMs() > 0) Queue(std::move(copy), line_.LastCopyDelayMs());
    else Inject(std::move(copy));
  }
  if (!noise_.empty()) Queue(std::exchange(noise_, {}), 0);
  if (!script_.empty()) {
    QueueReply(std::move(script_.front().bytes), script_.front().delayMs);
    script_.pop_front();
    return written;
  }
  // The master's pause before each request is a silent gap that ends any partial frame.
  drive_.ResetFraming();
  for (auto& reply : drive_.Receive(data, written)) QueueReply(std::move(reply.bytes), reply.delayMs);
  return written;
}

std::size_t FakePort::ReadWithin(std::uint8_t* buffer, std::size_t n, int timeoutMs) {
  if (failed_) {
    if (unplugAt_ && timeoutMs > 0) now_ += std::chrono::milliseconds(1);
    return 0;
  }
  readSizes_.push_back(n);
  const TimePoint deadline = now_ + std::chrono::milliseconds(std::max(timeoutMs, 0));
  if (unplugAt_ && deadline >= *unplugAt_) {
    now_ = std::max(now_, *unplugAt_);
    failed_ = true;
    return 0;
  }
  std::size_t got = 0;
  while (got < n && !pending_.empty() && pending_.front().arrives <= deadline) {
    auto& front = pending_.front();
    now_ = std::max(now_, front.arrives);
    std::size_t take = std::min(n - got, front.bytes.size());
    if (take > 0) std::memcpy(buffer + got, front.bytes.data(), take);
    got += take;
    front.bytes.erase(front.bytes.begin(), front.bytes.begin() + static_cast<long>(take));
    if (front.bytes.empty()) pending_.pop_front();
  }
  if (got < n) now_ = std::max(now_, deadline);
  return got;
}

void FakePort::Purge() {
  while (!pending_.empty() && pending_.front().arrives <= now_) pending_.pop_front();
}

}  // namespace simdrive
