#include "tools/simdrive/fake_port.h"

#include <algorithm>
#include <cstring>

namespace simdrive {

std::size_t FakePort::Write(const std::uint8_t* data, std::size_t n) {
  std::size_t written = writeLimit_ >= 0 ? std::min(n, static_cast<std::size_t>(writeLimit_)) : n;
  sent_.push_back({std::vector<std::uint8_t>(data, data + written), std::chrono::steady_clock::now()});
  if (!script_.empty()) {
    pending_.push_back({std::move(script_.front()), 0});
    script_.pop_front();
    return written;
  }
  // The master's pause before each request is a silent gap that ends any partial frame.
  drive_.ResetFraming();
  for (auto& reply : drive_.Receive(data, written)) pending_.push_back(std::move(reply));
  return written;
}

std::size_t FakePort::Read(std::uint8_t* buffer, std::size_t n) {
  readSizes_.push_back(n);
  const int timeout = platform::ReadTimeoutMs(n);
  std::size_t got = 0;
  while (got < n && !pending_.empty() && pending_.front().delayMs <= timeout) {
    auto& bytes = pending_.front().bytes;
    std::size_t take = std::min(n - got, bytes.size());
    if (take > 0) std::memcpy(buffer + got, bytes.data(), take);
    got += take;
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<long>(take));
    if (bytes.empty()) pending_.pop_front();
  }
  return got;
}

}  // namespace simdrive
