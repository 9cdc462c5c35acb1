#include "core/modbus.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/common.h"
#include "core/line_decision.h"
#include "core/reply_framing.h"
#include "core/serial_link.h"

namespace core {

namespace {

// The identification's function.
constexpr std::uint8_t kIdentification = 0x2B;
// The most bytes a try reads at once past its deadline.
constexpr std::size_t kInputSize = 256;
// A frame has ended once the line has been quiet this long after it: 3.5 characters at 4800
// baud take 7.3 ms, and a USB adapter holds received bytes back for up to 16 ms. The drain
// goes on after the guard while a frame is still coming, and a try that received a whole but
// damaged reply ends, by this gap.
constexpr auto kFrameGap = std::chrono::milliseconds(20);
// A line that never falls quiet ends the drain this long after the guard: the longest reply
// fits in its read time-out.
constexpr auto kDrainOverrun =
    std::chrono::milliseconds(platform::kReadPerByteMs * static_cast<int>(kReplySize) + platform::kReadConstantMs);

using LineTime = std::chrono::steady_clock::time_point;

// The buffers and counters of the exchange: one transaction at a time uses them, and the
// trace of a failed operation shows what they hold at its end.
struct Exchange {
  std::array<std::uint8_t, kRequestSize> tx{};
  std::size_t txLength = 0;
  std::array<std::uint8_t, kReplySize> rx{};
  std::size_t count = 0;  // bytes of the last try's reply (received, or written when a write fell short)
  std::uint16_t crc = 0xFFFF;
  bool noEcho = false;    // the last read step's reply was not an echo of its request
  // Per station: the end of the guard after its last try that heard nothing from it.
  std::array<std::optional<LineTime>, 256> guardEnds{};
  std::uint64_t guardGeneration = 0;  // of the port the guards belong to
  bool drainedInOperation = false;    // the running operation has drained the line once
  bool drainAgain = false;            // ... and its last try did not see even its own copy
  // The requests the running operation has sent so far: a late copy of one answers no later try.
  std::vector<RequestBytes> sent;
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
void EndOperation();

class TransactionGuard {
 public:
  TransactionGuard() : owner_(!Busy()) {
    Busy() = true;
    if (owner_) {
      X().drainedInOperation = X().drainAgain = false;
      X().sent.clear();
    }
  }
  ~TransactionGuard() {
    if (!owner_) return;
    EndOperation();
    Busy() = false;
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

// Before a request to a station whose last try heard nothing from it, that try's reply may
// still be on its way: read and drop what the line brings until the guard has passed since the
// try gave up, then on while a frame is still coming (until the line has been quiet for a frame
// gap), at most kDrainOverrun past the guard. Guards of an earlier port are forgotten.
// An operation drains once at most: right after an operation that ended unanswered it has
// drained before its first request, and its second try then goes out at once. That try
// repeats the first word for word, so a late reply of the first answers it as truly as its
// own; what the drive sends behind it is drained before the next operation (EndOperation). So
// no operation waits longer than its two tries and one guard, and kDrainOverrun more on a line
// that keeps carrying bytes. Except where copies come: a try that did not see even its own
// copy has the line drained before the next try as well (its copy may come late), so such an
// operation may wait two guards.
void DrainLateReply(platform::ByteLink& port, std::uint8_t station) {
  Exchange& x = X();
  if (x.guardGeneration != PortGeneration()) {
    x.guardEnds.fill(std::nullopt);
    x.guardGeneration = PortGeneration();
  }
  if (!x.guardEnds[station] || (x.drainedInOperation && !x.drainAgain)) return;
  x.drainedInOperation = true;
  x.drainAgain = false;
  const LineTime guardEnd = *x.guardEnds[station];
  x.guardEnds[station].reset();
  const LineTime last = guardEnd + kDrainOverrun;
  std::optional<LineTime> lastByte;
  std::array<std::uint8_t, 64> scratch{};
  for (;;) {
    const LineTime now = port.Now();
    const LineTime until = std::min(last, lastByte ? std::max(guardEnd, *lastByte + kFrameGap) : guardEnd);
    if (now >= until) return;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    if (port.ReadWithin(scratch.data(), 1, static_cast<int>(left)) == 0) {
      if (port.Failed()) return;
      continue;
    }
    while (port.ReadWithin(scratch.data(), scratch.size(), 0) == scratch.size()) {
    }
    lastByte = port.Now();
  }
}

// Reads and drops what the line brings until the port's clock reaches `until` (or the port fails).
void ListenUntil(platform::ByteLink& port, LineTime until) {
  std::array<std::uint8_t, 64> scratch{};
  for (LineTime now = port.Now(); now < until && !port.Failed(); now = port.Now()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    (void)port.ReadWithin(scratch.data(), scratch.size(), static_cast<int>(left));
  }
}

// At the end of an operation, a guard still set for the station asked (a try heard nothing
// after the operation's drain, or its second try went out undrained) starts again now: a reply
// may still come behind the last one taken.
void EndOperation() {
  Exchange& x = X();
  platform::ByteLink* port = CurrentPort();
  auto& guardEnd = x.guardEnds[x.tx[0]];
  if (port == nullptr || !guardEnd || x.guardGeneration != PortGeneration()) return;
  guardEnd = std::max(*guardEnd, port->Now() + kLateReplyGuard);
}

// Appends the CRC to the request of length n in the exchange: the request of the operation's
// try, which the trace shows.
RequestBytes Finish(std::size_t n) {
  Exchange& x = X();
  x.crc = Crc16(x.tx.data(), n);
  x.tx[n] = static_cast<std::uint8_t>(x.crc & 0xFF);
  x.tx[n + 1] = static_cast<std::uint8_t>(x.crc >> 8);
  x.txLength = n + 2;
  RequestBytes request;
  request.bytes = x.tx;
  request.length = x.txLength;
  return request;
}

// Drains a late reply of the station asked (DrainLateReply), purges the port and writes the
// request. False when it did not go out whole (also on a closed port); `written` then says how
// much did.
bool SendRequest(const RequestBytes& request, std::size_t& written) {
  Exchange& x = X();
  written = 0;
  platform::ByteLink* port = CurrentPort();
  if (port == nullptr) return false;
  DrainLateReply(*port, request.Station());
  port->Purge();
  x.sent.push_back(request);
  written = port->Write(request.bytes.data(), request.length);
  if (written < request.length) return false;
  port->Drain();
  return true;
}

// The request of the operation's try, as last sent.
RequestBytes RequestOf() {
  RequestBytes request;
  request.bytes = X().tx;
  request.length = X().txLength;
  return request;
}

// The operation's own request of length n (before the CRC), built in the exchange.
bool Send(std::size_t n) {
  const RequestBytes request = Finish(n);
  std::size_t written = 0;
  const bool sent = SendRequest(request, written);
  X().count = written;
  return sent;
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

// What one try received: its record, the decision over it, and the bytes for the trace (the
// frame taken, or the try's first bytes).
struct TryResult {
  TryOutcome outcome;
  TryRecord record;
  std::array<std::uint8_t, kReplySize> rx{};
  std::size_t count = 0;
  bool Heard(Verdict verdict) const { return outcome.verdict == verdict; }
};

LineView CurrentLine() { return {PortLineEcho(), PortTurnaround(), PortFrameGap()}; }

RequestView ViewOf(const RequestBytes& request) {
  RequestView view;
  view.function = request.Function();
  view.identification = view.function == kIdentification;
  view.answerRepeats = view.function == 5 || view.function == 6;
  const std::uint16_t value = static_cast<std::uint16_t>(request.bytes[4] << 8 | request.bytes[5]);
  view.written = view.function == 5 ? (request.bytes[4] == 0xFF ? 1 : 0) : value;
  return view;
}

// Reads the reply to the request within the read time-out of its reply length (what has arrived
// by the deadline is taken, however late this thread looks); an identification waits as long as
// for the longest reply. The framer records what comes and DecideTry says when the try is over:
// at the answer or refusal, at the deadline, after a whole damaged reply once the line has been
// quiet for a frame gap, or behind a held answer once the drive's turnaround has passed. The try
// ends at once when the port fails. What it showed of the line is noted on the port, and a try
// that heard nothing of its station leaves the station's guard. `confirms`: the write whose
// answer this read confirms.
TryResult Receive(const RequestBytes& request, const RequestBytes* confirms = nullptr) {
  Exchange& x = X();
  TryResult result;
  platform::ByteLink* port = CurrentPort();
  if (port == nullptr) return result;
  const LineView line = CurrentLine();
  const RequestView view = ViewOf(request);
  const std::size_t replyLength = ReplyLength(request.bytes.data());
  const LineTime start = port->Now();
  const LineTime deadline =
      start + std::chrono::milliseconds(platform::ReadTimeoutMs(view.identification ? kReplySize : replyLength));
  const std::vector<RequestBytes> earlier(x.sent.begin(), x.sent.empty() ? x.sent.end() : x.sent.end() - 1);
  ReplyFramer framer(request, earlier, confirms);
  std::vector<std::uint8_t> in;
  std::vector<LineMicros> at;
  bool lastLook = false;
  for (;;) {
    const std::size_t need = framer.Scan(in.data(), at.data(), in.size(), lastLook, result.record);
    result.record.ended = lastLook;
    result.outcome = DecideTry(line, view, result.record);
    if (result.outcome.verdict != Verdict::Pending) break;
    const LineTime now = port->Now();
    LineTime until = deadline;
    if (result.outcome.endBy) until = std::min(until, start + *result.outcome.endBy);
    const bool past = now >= deadline;
    int left = now >= until ? 0 : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
    if (framer.Soft())
      left = std::min(left, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(line.frameGap).count()));
    // Past the deadline all that is waiting: a reply that arrived in time is taken whole.
    const std::size_t ask = past ? std::max(need, kInputSize) : need;
    const std::size_t had = in.size();
    in.resize(had + ask);
    const std::size_t got = port->ReadWithin(in.data() + had, ask, left);
    in.resize(had + got);
    const auto readAt = std::chrono::duration_cast<LineMicros>(port->Now() - start);
    at.resize(in.size(), readAt);
    if (port->Failed()) {
      result.outcome = {};
      result.outcome.verdict = Verdict::Nothing;
      return result;
    }
    if (past || (got < need && port->Now() >= until && !framer.Soft())) lastLook = true;
  }
  const TryOutcome& out = result.outcome;
  if (out.taken) {
    const HeardFrame& frame = result.record.frames[*out.taken];
    std::copy(in.begin() + static_cast<long>(frame.offset),
              in.begin() + static_cast<long>(frame.offset + frame.length), result.rx.begin());
    result.count = frame.length;
  } else {
    result.count = std::min(in.size(), kReplySize);
    std::copy(in.begin(), in.begin() + static_cast<long>(result.count), result.rx.begin());
  }
  if (out.turnaround) NotePortTurnaround(*out.turnaround);
  NotePortLineEvidence(out.evidence);
  if (out.guard) {
    x.guardEnds[request.Station()] = port->Now() + kLateReplyGuard;
    if (out.drainAgain) x.drainAgain = true;
  }
  return result;
}

// Keeps what the operation's try received for the trace and the values.
void KeepForTrace(const TryResult& result) {
  Exchange& x = X();
  x.rx = result.rx;
  x.count = result.count;
  x.crc = Crc16(x.rx.data(), x.count >= 2 ? x.count - 2 : 0);
}

// Why a request did not go out: the port failed, or it took the request only in part.
TransactionResult SendFailure() { return PortFailed() ? kResultPortFailed : kResultSendFailed; }

// One try of a read-kind exchange of the request already built (n bytes before the CRC).
TransactionResult ReadTry(int pauseMs, std::size_t n) {
  Pause(pauseMs);
  if (!Send(n)) return SendFailure();
  const TryResult got = Receive(RequestOf());
  if (PortFailed()) return kResultPortFailed;
  KeepForTrace(got);
  X().noEcho = got.Heard(Verdict::Answer) || got.Heard(Verdict::Refusal) || !IsEcho();
  return got.Heard(Verdict::Answer) ? kResultOk : kResultBadReply;
}

// A read-kind operation: up to two tries of the request that build() makes.
template <typename Build>
TransactionResult ReadExchange(const char* name, std::uint16_t address, int pauseMs, Build build) {
  X().noEcho = false;
  TransactionResult result = kResultSendFailed;
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::size_t n = build();
    result = ReadTry(pauseMs, n);
    if (result == kResultOk || result == kResultPortFailed) break;
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

// A word or coil answer held on a line known not to echo, with nothing of the station behind
// it, is the drive's answer, or the copy of a line that echoes after all (its copies lost
// while the line was learnt) from a drive that is unplugged or ignores the write: on a USB
// adapter or a pseudo-terminal a copy comes no sooner than an answer, so the time cannot tell.
// A read of the written register (function 3) or coil (function 1), sent at once, is a try of
// its own whose record DecideConfirmed weighs with the write's. Its bytes stay out of the
// exchange that the trace and the caller see.
ConfirmOutcome ConfirmHeldAnswer(const RequestBytes& write, const TryResult& writeTry, const LineView& line) {
  RequestBytes read;
  read.bytes[0] = write.Station();
  read.bytes[1] = write.Function() == 5 ? 1 : 3;
  read.bytes[2] = write.bytes[2];
  read.bytes[3] = write.bytes[3];
  read.bytes[4] = 0;
  read.bytes[5] = 1;
  const std::uint16_t crc = Crc16(read.bytes.data(), 6);
  read.bytes[6] = static_cast<std::uint8_t>(crc & 0xFF);
  read.bytes[7] = static_cast<std::uint8_t>(crc >> 8);
  read.length = 8;
  std::size_t written = 0;
  TryResult readTry;
  if (SendRequest(read, written)) readTry = Receive(read, &write);
  ConfirmOutcome out = DecideConfirmed(line, ViewOf(write), writeTry.record, readTry.record);
  platform::ByteLink* port = CurrentPort();
  if (port == nullptr || port->Failed()) return out;
  NotePortLineEvidence(out.evidence);
  if (out.guard) X().guardEnds[write.Station()] = port->Now() + kLateReplyGuard;
  return out;
}

// One try of a write-kind exchange; sets stop when the result is final. The answer echoes the
// address and the value (functions 5 and 6) or the quantity (function 16) that were sent. A
// held answer is confirmed by one read at most: when that leaves it unclear, the write is not
// sent again.
TransactionResult WriteTry(std::size_t n, bool& stop) {
  stop = false;
  Pause(5);
  const bool sent = Send(n);
  const RequestBytes write = RequestOf();
  const LineView line = CurrentLine();
  const TryResult got = sent ? Receive(write) : TryResult{};
  if (sent) KeepForTrace(got);
  std::optional<ConfirmOutcome> confirmed;
  if (got.Heard(Verdict::Held) && !PortFailed()) confirmed = ConfirmHeldAnswer(write, got, line);
  if (PortFailed()) {
    stop = true;
    return kResultPortFailed;
  }
  if (!sent) return kResultSendFailed;
  if (confirmed) {
    stop = confirmed->verdict != Verdict::Nothing || !confirmed->guard;
    if (confirmed->verdict == Verdict::Answer) return kResultOk;
    if (confirmed->verdict == Verdict::Refusal)
      return static_cast<TransactionResult>(kResultException + confirmed->code);
    return kResultBadReply;
  }
  switch (got.outcome.verdict) {
    case Verdict::Answer:
      stop = true;
      return kResultOk;
    case Verdict::Refusal:
      stop = true;
      return static_cast<TransactionResult>(kResultException + got.outcome.code);
    case Verdict::OtherValue:
      stop = true;
      return kResultWrongContent;
    case Verdict::Unsure:
      stop = true;
      return kResultBadReply;
    case Verdict::WrongLength:
      return kResultWrongContent;
    default:
      break;
  }
  return kResultBadReply;
}

template <typename Build>
TransactionResult WriteExchange(const char* name, std::uint16_t address, Build build) {
  TransactionResult result = kResultSendFailed;
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool stop = false;
    std::size_t n = build();
    result = WriteTry(n, stop);
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
  TransactionResult r =
      ReadExchange(name, address, pauseMs, [&] { return BuildRead(station, function, address, count); });
  if (r == kResultOk) value = RegisterValue(count);
  return r;
}

// ReadFloat and ReadInputFloat: a register pair of function 3 or 4 taken as an IEEE single.
TransactionResult ReadFloatRegisters(const char* name, std::uint8_t function, std::uint8_t station,
                                     std::uint16_t address, float& value) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  TransactionResult r = ReadExchange(name, address, 5, [&] { return BuildRead(station, function, address, 2); });
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
  TransactionResult r = ReadExchange("ReadBit", address, 5, [&] { return BuildRead(station, 1, address, 1); });
  if (r == kResultOk) value = X().rx[3];
  return r;
}

TransactionResult WriteWord(std::uint8_t station, std::uint16_t address, std::uint16_t value) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  return WriteExchange("WriteWord", address, [&] {
    Begin(station, 6, address);
    Put16(4, value);
    return std::size_t{6};
  });
}

TransactionResult WriteLong(std::uint8_t station, std::uint16_t address, std::uint32_t value) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  const std::uint16_t words[2] = {static_cast<std::uint16_t>(value & 0xFFFF), static_cast<std::uint16_t>(value >> 16)};
  return WriteExchange("WriteLong", address,
                       [&] { return BuildMultiple(station, address, words, 2); });
}

TransactionResult WriteFloat(std::uint8_t station, std::uint16_t address, float value) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  const std::uint16_t words[2] = {static_cast<std::uint16_t>(bits & 0xFFFF), static_cast<std::uint16_t>(bits >> 16)};
  return WriteExchange("WriteFloat", address,
                       [&] { return BuildMultiple(station, address, words, 2); });
}

TransactionResult WriteProfile(std::uint8_t station, std::uint16_t address, const std::array<std::uint16_t, 7>& words) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  return WriteExchange("WriteProfile", address,
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
  return WriteExchange("WriteBit", address,
                       [&] { return BuildWriteBit(station, address, value == 1); });
}

TransactionResult ReadBlock16(std::uint8_t station, std::uint16_t address, std::array<std::uint16_t, 16>& words) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  TransactionResult r = ReadExchange(nullptr, address, 5, [&] { return BuildRead(station, 3, address, 16); });
  if (r == kResultOk)
    for (std::size_t i = 0; i < 16; ++i) words[i] = Rx16(3 + 2 * i);
  return r;
}

TransactionResult WriteBlock16(std::uint8_t station, std::uint16_t address, const std::array<std::uint16_t, 16>& words) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  return WriteExchange(nullptr, address,
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
    x.tx[1] = kIdentification;
    x.tx[2] = 0x0E;
    x.tx[3] = 0x01;
    x.tx[4] = 0x00;
    const bool sent = Send(5);
    const TryResult got = sent ? Receive(RequestOf()) : TryResult{};
    if (PortFailed()) return kResultPortFailed;
    if (sent) KeepForTrace(got);
    result = sent ? kResultBadReply : kResultSendFailed;
    if (!got.Heard(Verdict::Answer)) continue;
    const auto& r = x.rx;
    AppState& s = State();
    s.DeviceStation = station;
    s.DeviceVendor.clear();
    s.DeviceProduct.clear();
    s.DeviceRevision.clear();
    std::string* texts[3] = {&s.DeviceVendor, &s.DeviceProduct, &s.DeviceRevision};
    std::size_t p = kIdHeader;
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

TransactionResult SettleLineEcho(std::uint8_t station) {
  if (Busy()) return kResultBusy;
  AppState& s = State();
  const auto kept = std::make_tuple(s.DeviceStation, s.DeviceVendor, s.DeviceProduct, s.DeviceRevision);
  TransactionResult result = kResultOk;
  // The identification number i goes out no earlier than i * kQuietSpan / kQuietTries after
  // the probe, on the port's clock (at once when the earlier ones took longer, on a slow
  // line): on a fast line a row with no copy, the probe's included, spans kQuietSpan from the
  // ninth identification on, so a line without echo is learnt in about kQuietSpan, while
  // copies lost in a burst up to then leave an echoing line unknown until a copy comes. A
  // line known neither way after kQuietTries + 4 identifications costs about 0.45 s more.
  // An identification left unanswered (both its tries) ends it: the station no longer answers,
  // and each further one would cost two read time-outs. (One answered with an inconsistent
  // object list was answered: it goes on.)
  const auto step = std::chrono::duration_cast<std::chrono::microseconds>(kQuietSpan) / kQuietTries;
  const std::uint64_t generation = PortGeneration();
  const LineTime start = CurrentPort() != nullptr ? CurrentPort()->Now() : LineTime();
  for (int i = 1; i <= kQuietTries + 4 && PortLineEcho() == LineEcho::Unknown; ++i) {
    if (PortGeneration() != generation) break;
    if (CurrentPort() != nullptr) ListenUntil(*CurrentPort(), start + step * i);
    result = ReadDeviceId(station);
    if (result != kResultOk && result != kResultWrongContent) break;
  }
  std::tie(s.DeviceStation, s.DeviceVendor, s.DeviceProduct, s.DeviceRevision) = kept;
  if (PortLineEcho() != LineEcho::Unknown) return kResultOk;
  return result == kResultOk ? kResultBadReply : result;
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
};

template <typename Inverse, typename Reached, typename BuildWrite>
TransactionResult Toggle(const ToggleKind& kind, std::uint8_t station, std::uint16_t address, Inverse inverse,
                         Reached reached, BuildWrite buildWrite) {
  X().noEcho = false;
  TransactionResult result = kResultSendFailed;
  bool writeUncertain = false;
  std::uint32_t intended = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    BuildRead(station, kind.readFunction, address, 1);
    result = ReadTry(5, 6);
    if (result == kResultPortFailed) break;
    if (result != kResultOk) continue;
    std::uint32_t current = kind.readFunction == 1 ? X().rx[3] : Rx16(3);
    if (writeUncertain && reached(current, intended)) break;
    intended = inverse(current);

    bool stop = false;
    result = WriteTry(buildWrite(intended), stop);
    if (stop) break;
    writeUncertain = result != kResultSendFailed;
    Trace(kind.writeName, address, result, true);
  }
  if (result != kResultOk) Trace(kind.readName, address, result, true);
  return result;
}

}  // namespace

TransactionResult ToggleBit(std::uint8_t station, std::uint16_t address) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  static const ToggleKind kind{"ToggleBitWrite", "ToggleBitRead", 1};
  return Toggle(
      kind, station, address, [](std::uint32_t status) -> std::uint32_t { return status == 0 ? 1 : 0; },
      [](std::uint32_t status, std::uint32_t intended) { return (status != 0) == (intended != 0); },
      [&](std::uint32_t on) { return BuildWriteBit(station, address, on != 0); });
}

TransactionResult ToggleWord(std::uint8_t station, std::uint16_t address, std::uint16_t mask) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  static const ToggleKind kind{"ToggleWordWrite", "ToggleWordRead", 3};
  return Toggle(
      kind, station, address, [mask](std::uint32_t value) -> std::uint32_t { return (value ^ mask) & 0xFFFF; },
      [](std::uint32_t value, std::uint32_t intended) { return value == intended; },
      [&](std::uint32_t value) {
        Begin(station, 6, address);
        Put16(4, static_cast<std::uint16_t>(value));
        return std::size_t{6};
      });
}

void SetPauseClock(PauseClock* clock) { SetClock() = clock; }

}  // namespace core
