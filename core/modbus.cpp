#include "core/modbus.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "core/common.h"
#include "core/serial_link.h"

namespace core {

namespace {

constexpr std::size_t kRequestSize = 41;
constexpr std::size_t kReplySize = 80;
constexpr std::size_t kDeviceIdReplyLength = kReplySize;

// The buffers and counters of the exchange: one transaction at a time uses them, and the
// trace of a failed operation shows what they hold at its end.
struct Exchange {
  std::array<std::uint8_t, kRequestSize> tx{};
  std::size_t txLength = 0;
  std::array<std::uint8_t, kReplySize> rx{};
  std::size_t count = 0;  // bytes of the last port call (read, or written when a write fell short)
  std::uint16_t crc = 0xFFFF;
  bool noEcho = false;    // the last read step's reply was not an echo of its request
};

Exchange& X() {
  static Exchange exchange;
  return exchange;
}

bool& Busy() {
  static bool busy = false;
  return busy;
}

// Marks a transaction as running; a second one started from the message hook is refused.
class TransactionGuard {
 public:
  TransactionGuard() : owner_(!Busy()) { Busy() = true; }
  ~TransactionGuard() {
    if (owner_) Busy() = false;
  }
  TransactionGuard(const TransactionGuard&) = delete;
  TransactionGuard& operator=(const TransactionGuard&) = delete;
  bool Refused() const { return !owner_; }

 private:
  bool owner_;
};

class MonotonicClock : public PauseClock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  void SleepUntil(TimePoint until) override { std::this_thread::sleep_until(until); }
};

PauseClock*& SetClock() {
  static PauseClock* clock = nullptr;
  return clock;
}

PauseClock& CurrentClock() {
  static MonotonicClock monotonic;
  return SetClock() ? *SetClock() : monotonic;
}

// Waits ms milliseconds on the pause clock, letting pending window messages run at least once
// and then about every millisecond.
void Pause(int ms) {
  PauseClock& clock = CurrentClock();
  const auto until = clock.Now() + std::chrono::milliseconds(ms);
  // A copy: what runs in the hook may replace the state that holds it.
  const std::function<void()> hook = State().ProcessMessages;
  if (!hook) {
    clock.SleepUntil(until);
    return;
  }
  for (;;) {
    hook();
    const auto now = clock.Now();
    if (now >= until) return;
    clock.SleepUntil(std::min(until, now + std::chrono::milliseconds(1)));
  }
}

void Put16(std::size_t at, std::uint16_t v) {
  X().tx[at] = static_cast<std::uint8_t>(v >> 8);
  X().tx[at + 1] = static_cast<std::uint8_t>(v & 0xFF);
}

// Starts a request: station, function and address.
void Begin(std::uint8_t station, std::uint8_t function, std::uint16_t address) {
  X().tx[0] = station;
  X().tx[1] = function;
  Put16(2, address);
}

// Purges the port, appends the CRC to the request of length n and writes it. False when the
// request did not go out whole (also on a closed port).
bool Send(std::size_t n) {
  Exchange& x = X();
  x.crc = Crc16(x.tx.data(), n);
  x.tx[n] = static_cast<std::uint8_t>(x.crc & 0xFF);
  x.tx[n + 1] = static_cast<std::uint8_t>(x.crc >> 8);
  x.txLength = n + 2;
  platform::ByteLink* port = CurrentPort();
  if (port == nullptr) {
    x.count = 0;
    return false;
  }
  port->Purge();
  std::size_t written = port->Write(x.tx.data(), x.txLength);
  if (written < x.txLength) {
    x.count = written;
    return false;
  }
  port->Drain();
  return true;
}

// Reads up to n reply bytes and checks the CRC over all but the last two of them.
bool ReceiveWithCrc(std::size_t n) {
  Exchange& x = X();
  platform::ByteLink* port = CurrentPort();
  x.count = port != nullptr ? port->Read(x.rx.data(), n) : 0;
  if (x.count > n) x.count = n;
  std::size_t body = x.count >= 2 ? x.count - 2 : 0;
  x.crc = Crc16(x.rx.data(), body);
  if (x.count < 2) return false;
  return x.rx[x.count - 2] == (x.crc & 0xFF) && x.rx[x.count - 1] == (x.crc >> 8);
}

// A reply is an echo when every received byte equals the request byte at its position (also
// when nothing came).
bool IsEcho() {
  const Exchange& x = X();
  for (std::size_t i = 0; i < x.count; ++i)
    if (i >= x.txLength || x.rx[i] != x.tx[i]) return false;
  return true;
}

std::uint16_t Rx16(std::size_t at) { return static_cast<std::uint16_t>(X().rx[at] << 8 | X().rx[at + 1]); }

void AppendBytes(std::string& line, const std::uint8_t* bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    line += std::to_string(bytes[i]);
    line += ',';
  }
}

void Trace(const char* name, std::uint16_t address, TransactionResult result, bool withEchoFlag) {
  const std::function<void(const std::string&)> memo = State().LogMemo;
  if (!memo) return;
  const Exchange& x = X();
  std::string head = std::string(name) + " - par=" + std::to_string(address) + " Received=" +
                     std::to_string(x.count) + " Error=" + std::to_string(result) + " CRC=" + std::to_string(x.crc);
  if (withEchoFlag) head += " j=" + std::to_string(x.noEcho ? 1 : 0);
  std::string tx = "      TX: ";
  AppendBytes(tx, x.tx.data(), x.txLength);
  std::string rx = "      RX: ";
  AppendBytes(rx, x.rx.data(), x.count);
  memo(head);
  memo(tx);
  memo(rx);
}

// One try of a read-kind exchange of the request already built (n bytes before the CRC).
TransactionResult ReadTry(int pauseMs, std::size_t n, std::size_t replyLength) {
  Pause(pauseMs);
  if (!Send(n)) return kResultSendFailed;
  bool crcOk = ReceiveWithCrc(replyLength);
  X().noEcho = !IsEcho();
  return X().count == replyLength && crcOk && X().noEcho ? kResultOk : kResultBadReply;
}

// A read-kind operation: up to two tries of the request that build() makes.
template <typename Build>
TransactionResult ReadExchange(const char* name, std::uint16_t address, int pauseMs, std::size_t replyLength,
                               Build build) {
  X().noEcho = false;
  TransactionResult result = kResultSendFailed;
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::size_t n = build();
    result = ReadTry(pauseMs, n, replyLength);
    if (result == kResultOk) break;
  }
  if (result != kResultOk && name != nullptr) Trace(name, address, result, true);
  return result;
}

std::size_t BuildRead(std::uint8_t station, std::uint8_t function, std::uint16_t address, std::uint16_t count) {
  Begin(station, function, address);
  Put16(4, count);
  return 6;
}

std::uint32_t RegisterValue(std::uint16_t count) {
  if (count == 1) return Rx16(3);
  return static_cast<std::uint32_t>(Rx16(5)) << 16 | Rx16(3);
}

float FloatValue() {
  float f = std::bit_cast<float>(RegisterValue(2));
  return static_cast<float>(static_cast<long double>(f) + 1e-10L);
}

// How a write's CRC-correct 8-byte reply is checked.
enum class EchoCheck { None, Value, Quantity };

// One try of a write-kind exchange; sets stop when the result is final.
TransactionResult WriteTry(std::size_t n, EchoCheck check, std::uint16_t expected, bool& stop) {
  stop = false;
  Pause(5);
  if (!Send(n)) return kResultSendFailed;
  if (!ReceiveWithCrc(8)) return kResultBadReply;
  if (X().count == 8) {
    stop = true;
    // Function 6 echoes the value, function 16 the quantity, both at bytes 4 and 5.
    return check == EchoCheck::None || Rx16(4) == expected ? kResultOk : kResultWrongContent;
  }
  if (X().count == 5) {
    stop = true;
    return static_cast<TransactionResult>(kResultException + X().rx[2]);
  }
  return kResultWrongContent;
}

template <typename Build>
TransactionResult WriteExchange(const char* name, std::uint16_t address, EchoCheck check, std::uint16_t expected,
                                Build build) {
  TransactionResult result = kResultSendFailed;
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool stop = false;
    std::size_t n = build();
    result = WriteTry(n, check, expected, stop);
    if (result == kResultOk || stop) break;
  }
  if (result != kResultOk && name != nullptr) Trace(name, address, result, false);
  return result;
}

std::size_t BuildMultiple(std::uint8_t station, std::uint16_t address, const std::uint16_t* words,
                          std::uint16_t count) {
  Begin(station, 16, address);
  Put16(4, count);
  X().tx[6] = static_cast<std::uint8_t>(2 * count);
  for (std::uint16_t i = 0; i < count; ++i) Put16(7 + 2 * i, words[i]);
  return 7 + 2 * static_cast<std::size_t>(count);
}

}  // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::size_t n) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

namespace {

// ReadWord and ReadInput: one or two registers of function 3 or 4.
TransactionResult ReadRegisters(const char* name, std::uint8_t function, int pauseMs, std::uint8_t station,
                                std::uint16_t address, std::uint16_t count, std::uint32_t& value) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  if (count != 1 && count != 2) return kResultBadValue;
  TransactionResult r = ReadExchange(name, address, pauseMs, 5u + 2u * count,
                                     [&] { return BuildRead(station, function, address, count); });
  if (r == kResultOk) value = RegisterValue(count);
  return r;
}

// ReadFloat and ReadInputFloat: a register pair of function 3 or 4 taken as an IEEE single.
TransactionResult ReadFloatRegisters(const char* name, std::uint8_t function, std::uint8_t station,
                                     std::uint16_t address, float& value) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  TransactionResult r = ReadExchange(name, address, 5, 9, [&] { return BuildRead(station, function, address, 2); });
  if (r == kResultOk) value = FloatValue();
  return r;
}

}  // namespace

TransactionResult ReadWord(std::uint8_t station, std::uint16_t address, std::uint16_t count, std::uint32_t& value) {
  return ReadRegisters("ReadWord", 3, 2, station, address, count, value);
}

TransactionResult ReadFloat(std::uint8_t station, std::uint16_t address, float& value) {
  return ReadFloatRegisters("ReadFloat", 3, station, address, value);
}

TransactionResult ReadInput(std::uint8_t station, std::uint16_t address, std::uint16_t count, std::uint32_t& value) {
  return ReadRegisters("ReadInput", 4, 5, station, address, count, value);
}

TransactionResult ReadInputFloat(std::uint8_t station, std::uint16_t address, float& value) {
  return ReadFloatRegisters("ReadInputFloat", 4, station, address, value);
}

TransactionResult ReadBit(std::uint8_t station, std::uint16_t address, std::uint32_t& value) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  TransactionResult r = ReadExchange("ReadBit", address, 5, 6, [&] { return BuildRead(station, 1, address, 1); });
  if (r == kResultOk) value = X().rx[3];
  return r;
}

TransactionResult WriteWord(std::uint8_t station, std::uint16_t address, std::uint16_t value) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  return WriteExchange("WriteWord", address, EchoCheck::Value, value, [&] {
    Begin(station, 6, address);
    Put16(4, value);
    return std::size_t{6};
  });
}

TransactionResult WriteLong(std::uint8_t station, std::uint16_t address, std::uint32_t value) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  const std::uint16_t words[2] = {static_cast<std::uint16_t>(value & 0xFFFF), static_cast<std::uint16_t>(value >> 16)};
  return WriteExchange("WriteLong", address, EchoCheck::Quantity, 2,
                       [&] { return BuildMultiple(station, address, words, 2); });
}

TransactionResult WriteFloat(std::uint8_t station, std::uint16_t address, float value) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  const std::uint16_t words[2] = {static_cast<std::uint16_t>(bits & 0xFFFF), static_cast<std::uint16_t>(bits >> 16)};
  return WriteExchange("WriteFloat", address, EchoCheck::Quantity, 2,
                       [&] { return BuildMultiple(station, address, words, 2); });
}

TransactionResult WriteProfile(std::uint8_t station, std::uint16_t address, const std::array<std::uint16_t, 7>& words) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  return WriteExchange("WriteProfile", address, EchoCheck::Quantity, 7,
                       [&] { return BuildMultiple(station, address, words.data(), 7); });
}

namespace {
std::size_t BuildWriteBit(std::uint8_t station, std::uint16_t address, bool on) {
  Begin(station, 5, address);
  X().tx[4] = on ? 0xFF : 0x00;
  X().tx[5] = 0x00;
  return 6;
}
}  // namespace

TransactionResult WriteBit(std::uint8_t station, std::uint16_t address, std::uint8_t value) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  return WriteExchange("WriteBit", address, EchoCheck::None, 0,
                       [&] { return BuildWriteBit(station, address, value == 1); });
}

TransactionResult ReadBlock16(std::uint8_t station, std::uint16_t address, std::array<std::uint16_t, 16>& words) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  TransactionResult r = ReadExchange(nullptr, address, 5, 37, [&] { return BuildRead(station, 3, address, 16); });
  if (r == kResultOk)
    for (std::size_t i = 0; i < 16; ++i) words[i] = Rx16(3 + 2 * i);
  return r;
}

TransactionResult WriteBlock16(std::uint8_t station, std::uint16_t address, const std::array<std::uint16_t, 16>& words) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  return WriteExchange(nullptr, address, EchoCheck::Quantity, 16,
                       [&] { return BuildMultiple(station, address, words.data(), 16); });
}

TransactionResult ReadDeviceId(std::uint8_t station) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  Exchange& x = X();
  TransactionResult result = kResultSendFailed;
  for (int attempt = 0; attempt < 2; ++attempt) {
    Pause(5);
    x.tx[0] = station;
    x.tx[1] = 0x2B;
    x.tx[2] = 0x0E;
    x.tx[3] = 0x01;
    x.tx[4] = 0x00;
    result = kResultSendFailed;
    if (!Send(5)) continue;
    result = kResultBadReply;
    bool crcOk = ReceiveWithCrc(kDeviceIdReplyLength);
    const auto& r = x.rx;
    if (!(x.count > 10 && crcOk && r[0] == station && r[1] == 0x2B && r[2] == 0x0E && r[3] == 1 && r[4] == 2 &&
          r[5] == 0 && r[6] == 0 && r[7] == 3))
      continue;

    AppState& s = State();
    s.DeviceStation = station;
    s.DeviceVendor.clear();
    s.DeviceProduct.clear();
    s.DeviceRevision.clear();
    std::string* texts[3] = {&s.DeviceVendor, &s.DeviceProduct, &s.DeviceRevision};
    std::size_t p = 8;
    for (std::uint8_t id = 0; id < 3; ++id) {
      if (p >= x.count || r[p] != id) continue;
      if (p + 1 >= x.count) return kResultWrongContent;
      std::size_t length = r[p + 1];
      if (p + 2 + length > x.count) return kResultWrongContent;
      texts[id]->assign(reinterpret_cast<const char*>(&r[p + 2]), length);
      p += 2 + length;
    }
    return p + 2 == x.count ? kResultOk : kResultWrongContent;
  }
  return result;
}

namespace {

// The two steps of a toggle: read the current state, write its inverse. A write step that got
// no usable reply may still have acted, so before the second try writes, its read step checks
// whether the state is already the intended one and then ends with success instead of
// toggling back.
struct ToggleKind {
  const char* writeName;
  const char* readName;
  std::uint8_t readFunction;
  std::size_t readReplyLength;
};

template <typename Inverse, typename Reached, typename BuildWrite, typename JudgeWrite>
TransactionResult Toggle(const ToggleKind& kind, std::uint8_t station, std::uint16_t address, Inverse inverse,
                         Reached reached, BuildWrite buildWrite, JudgeWrite judgeWrite) {
  X().noEcho = false;
  TransactionResult result = kResultSendFailed;
  bool writeUncertain = false;
  std::uint32_t intended = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    BuildRead(station, kind.readFunction, address, 1);
    result = ReadTry(5, 6, kind.readReplyLength);
    if (result != kResultOk) continue;
    std::uint32_t current = kind.readFunction == 1 ? X().rx[3] : Rx16(3);
    if (writeUncertain && reached(current, intended)) break;
    intended = inverse(current);

    Pause(5);
    std::size_t n = buildWrite(intended);
    if (!Send(n)) {
      result = kResultSendFailed;
      writeUncertain = false;
    } else if (!ReceiveWithCrc(8)) {
      result = kResultBadReply;
      writeUncertain = true;
    } else if (X().count == 8) {
      result = judgeWrite(intended);
      break;
    } else if (X().count == 5) {
      result = static_cast<TransactionResult>(kResultException + X().rx[2]);
      break;
    } else {
      result = kResultWrongContent;
      writeUncertain = true;
    }
    Trace(kind.writeName, address, result, true);
  }
  if (result != kResultOk) Trace(kind.readName, address, result, true);
  return result;
}

}  // namespace

TransactionResult ToggleBit(std::uint8_t station, std::uint16_t address) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  static const ToggleKind kind{"ToggleBitWrite", "ToggleBitRead", 1, 6};
  return Toggle(
      kind, station, address, [](std::uint32_t status) -> std::uint32_t { return status == 0 ? 1 : 0; },
      [](std::uint32_t status, std::uint32_t intended) { return (status != 0) == (intended != 0); },
      [&](std::uint32_t on) { return BuildWriteBit(station, address, on != 0); },
      [](std::uint32_t) { return kResultOk; });
}

TransactionResult ToggleWord(std::uint8_t station, std::uint16_t address, std::uint16_t mask) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  static const ToggleKind kind{"ToggleWordWrite", "ToggleWordRead", 3, 7};
  return Toggle(
      kind, station, address, [mask](std::uint32_t value) -> std::uint32_t { return (value ^ mask) & 0xFFFF; },
      [](std::uint32_t value, std::uint32_t intended) { return value == intended; },
      [&](std::uint32_t value) {
        Begin(station, 6, address);
        Put16(4, static_cast<std::uint16_t>(value));
        return std::size_t{6};
      },
      [](std::uint32_t value) { return Rx16(4) == value ? kResultOk : kResultWrongContent; });
}

void SetPauseClock(PauseClock* clock) { SetClock() = clock; }

}  // namespace core
