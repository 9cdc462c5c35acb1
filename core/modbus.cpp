#include "core/modbus.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <functional>
#include <initializer_list>
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

// The most bytes a try reads at once past its deadline.
constexpr std::size_t kInputSize = 256;
// The drain goes on after the guard while a frame is still coming, until the line has been quiet
// for kFrameEnds (core/line_decision.h).
// A line that never falls quiet ends the drain this long after the guard: the longest reply
// fits in its read time-out.
constexpr auto kDrainOverrun =
    std::chrono::milliseconds(platform::kReadPerByteMs * static_cast<int>(kReplySize) + platform::kReadConstantMs);

using LineTime = std::chrono::steady_clock::time_point;

// One transaction: the requests it has sent, whether it has drained the line, and what its last
// try sent and received, which the trace of a failed operation shows and the values are read
// from. Each operation has its own; nothing of it outlives the operation.
struct Operation {
  RequestBytes request;  // of its last try
  std::array<std::uint8_t, kReplySize> rx{};
  std::size_t count = 0;  // bytes of the last try's reply (received, or written when a write fell short)
  std::uint16_t crc = 0xFFFF;
  bool noEcho = false;    // the last read step's reply was not an echo of its request
  std::vector<RequestBytes> sent;  // a late copy of one of them answers no later try
  bool drained = false;     // it has drained the line once
  bool drainAgain = false;  // ... and its last try did not see even its own copy
};

// Per station of the open port: the end of the guard after its last try that heard nothing from
// it. They belong to the port they were set on.
struct StationGuards {
  std::array<std::optional<LineTime>, 256> ends{};
  std::uint64_t generation = 0;
};

StationGuards& Guards() {
  static StationGuards guards;
  if (guards.generation != PortGeneration()) {
    guards.ends.fill(std::nullopt);
    guards.generation = PortGeneration();
  }
  return guards;
}

bool& Busy() {
  static bool busy = false;
  return busy;
}

void EndOperation(const Operation& op);

// Marks a transaction as running, and holds its Operation; a second one started from the message
// hook is refused.
class TransactionGuard {
 public:
  TransactionGuard() : owner_(!Busy()) { Busy() = true; }
  ~TransactionGuard() {
    if (!owner_) return;
    EndOperation(op_);
    Busy() = false;
  }
  TransactionGuard(const TransactionGuard&) = delete;
  TransactionGuard& operator=(const TransactionGuard&) = delete;
  bool Refused() const { return !owner_; }
  Operation& Op() { return op_; }

 private:
  bool owner_;
  Operation op_;
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

// A request: station, function, address, then the words given (high byte first), and its CRC.
RequestBytes Request(std::uint8_t station, std::uint8_t function, std::uint16_t address,
                     std::initializer_list<std::uint16_t> words) {
  RequestBytes r;
  r.bytes[0] = station;
  r.bytes[1] = function;
  r.bytes[2] = static_cast<std::uint8_t>(address >> 8);
  r.bytes[3] = static_cast<std::uint8_t>(address & 0xFF);
  std::size_t n = 4;
  for (std::uint16_t w : words) {
    r.bytes[n++] = static_cast<std::uint8_t>(w >> 8);
    r.bytes[n++] = static_cast<std::uint8_t>(w & 0xFF);
  }
  r.length = n;
  return r;
}

RequestBytes WithCrc(RequestBytes r) {
  const std::uint16_t crc = Crc16(r.bytes.data(), r.length);
  r.bytes[r.length] = static_cast<std::uint8_t>(crc & 0xFF);
  r.bytes[r.length + 1] = static_cast<std::uint8_t>(crc >> 8);
  r.length += 2;
  return r;
}

RequestBytes ReadRequest(std::uint8_t station, std::uint8_t function, std::uint16_t address, std::uint16_t count) {
  return WithCrc(Request(station, function, address, {count}));
}

RequestBytes WriteWordRequest(std::uint8_t station, std::uint16_t address, std::uint16_t value) {
  return WithCrc(Request(station, 6, address, {value}));
}

RequestBytes WriteBitRequest(std::uint8_t station, std::uint16_t address, bool on) {
  return WithCrc(Request(station, 5, address, {static_cast<std::uint16_t>(on ? 0xFF00 : 0x0000)}));
}

// Function 16: the quantity, the byte count, then the words.
RequestBytes WriteMultipleRequest(std::uint8_t station, std::uint16_t address, const std::uint16_t* words,
                                  std::uint16_t count) {
  RequestBytes r = Request(station, 16, address, {count});
  r.bytes[r.length++] = static_cast<std::uint8_t>(2 * count);
  for (std::uint16_t i = 0; i < count; ++i) {
    r.bytes[r.length++] = static_cast<std::uint8_t>(words[i] >> 8);
    r.bytes[r.length++] = static_cast<std::uint8_t>(words[i] & 0xFF);
  }
  return WithCrc(r);
}

RequestBytes IdentificationRequest(std::uint8_t station) {
  RequestBytes r;
  r.bytes[0] = station;
  r.bytes[1] = kIdentification;
  r.bytes[2] = 0x0E;
  r.bytes[3] = 0x01;
  r.bytes[4] = 0x00;
  r.length = 5;
  return WithCrc(r);
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
void DrainLateReply(Operation& op, platform::ByteLink& port, std::uint8_t station) {
  auto& guard = Guards().ends[station];
  if (!guard || (op.drained && !op.drainAgain)) return;
  op.drained = true;
  op.drainAgain = false;
  const LineTime guardEnd = *guard;
  guard.reset();
  const LineTime last = guardEnd + kDrainOverrun;
  std::optional<LineTime> lastByte;
  std::array<std::uint8_t, 64> scratch{};
  for (;;) {
    const LineTime now = port.Now();
    const LineTime until = std::min(last, lastByte ? std::max(guardEnd, *lastByte + kFrameEnds) : guardEnd);
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
void EndOperation(const Operation& op) {
  platform::ByteLink* port = CurrentPort();
  if (port == nullptr || op.request.length == 0) return;
  auto& guardEnd = Guards().ends[op.request.Station()];
  if (!guardEnd) return;
  guardEnd = std::max(*guardEnd, port->Now() + kLateReplyGuard);
}

// Drains a late reply of the station asked (DrainLateReply), purges the port and writes the
// request. False when it did not go out whole (also on a closed port); `written` then says how
// much did.
bool Transmit(Operation& op, const RequestBytes& request, std::size_t& written) {
  written = 0;
  platform::ByteLink* port = CurrentPort();
  if (port == nullptr) return false;
  DrainLateReply(op, *port, request.Station());
  port->Purge();
  op.sent.push_back(request);
  written = port->Write(request.bytes.data(), request.length);
  if (written < request.length) return false;
  port->Drain();
  return true;
}

// Sends the request of the operation's try, which the trace shows.
bool Send(Operation& op, const RequestBytes& request) {
  op.request = request;
  op.crc = Crc16(request.bytes.data(), request.length - 2);
  std::size_t written = 0;
  const bool sent = Transmit(op, request, written);
  op.count = written;
  return sent;
}

// A reply is an echo when every received byte equals the request byte at its position (also
// when nothing came).
bool IsEcho(const Operation& op) {
  for (std::size_t i = 0; i < op.count; ++i)
    if (i >= op.request.length || op.rx[i] != op.request.bytes[i]) return false;
  return true;
}

std::uint16_t Rx16(const Operation& op, std::size_t at) {
  return static_cast<std::uint16_t>(op.rx[at] << 8 | op.rx[at + 1]);
}

void AppendBytes(std::string& line, const std::uint8_t* bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    line += std::to_string(bytes[i]);
    line += ',';
  }
}

void Trace(const Operation& op, const char* name, std::uint16_t address, TransactionResult result,
           bool withEchoFlag) {
  const std::function<void(const std::string&)> memo = State().LogMemo;
  if (!memo) return;
  std::string head = std::string(name) + " - par=" + std::to_string(address) + " Received=" +
                     std::to_string(op.count) + " Error=" + std::to_string(result) + " CRC=" + std::to_string(op.crc);
  if (withEchoFlag) head += " j=" + std::to_string(op.noEcho ? 1 : 0);
  std::string tx = "      TX: ";
  AppendBytes(tx, op.request.bytes.data(), op.request.length);
  std::string rx = "      RX: ";
  AppendBytes(rx, op.rx.data(), op.count);
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

LineView CurrentLine() { return {PortLineEcho(), PortTurnaround(), PortFastestTurnaround(), PortFrameGap()}; }

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
TryResult Receive(Operation& op, const RequestBytes& request, const RequestBytes* confirms = nullptr) {
  TryResult result;
  platform::ByteLink* port = CurrentPort();
  if (port == nullptr) return result;
  const LineView line = CurrentLine();
  const RequestView view = ViewOf(request);
  const std::size_t replyLength = ReplyLength(request.bytes.data());
  const LineTime start = port->Now();
  const LineTime deadline =
      start + std::chrono::milliseconds(platform::ReadTimeoutMs(view.identification ? kReplySize : replyLength));
  const std::vector<RequestBytes> earlier(op.sent.begin(), op.sent.empty() ? op.sent.end() : op.sent.end() - 1);
  ReplyFramer framer(request, earlier, confirms);
  std::vector<std::uint8_t> in;
  std::vector<LineMicros> at;
  bool lastLook = false;
  bool lookedBehind = false;
  for (;;) {
    const std::size_t need = framer.Scan(in.data(), at.data(), in.size(), lastLook, result.record);
    result.record.ended = lastLook;
    result.outcome = DecideTry(line, view, result.record);
    if (result.outcome.lookBehind && !lookedBehind && !lastLook) {
      // What is waiting behind a write's frame that would be its answer, once.
      lookedBehind = true;
      const std::size_t had = in.size();
      in.resize(had + kInputSize);
      const std::size_t got = port->ReadWithin(in.data() + had, kInputSize, 0);
      in.resize(had + got);
      at.resize(in.size(), std::chrono::duration_cast<LineMicros>(port->Now() - start));
      if (got > 0) continue;
    }
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
    Guards().ends[request.Station()] = port->Now() + kLateReplyGuard;
    if (out.drainAgain) op.drainAgain = true;
  }
  return result;
}

// Keeps what the operation's try received for the trace and the values.
void KeepForTrace(Operation& op, const TryResult& result) {
  op.rx = result.rx;
  op.count = result.count;
  op.crc = Crc16(op.rx.data(), op.count >= 2 ? op.count - 2 : 0);
}

// Why a request did not go out: the port failed, or it took the request only in part.
TransactionResult SendFailure() { return PortFailed() ? kResultPortFailed : kResultSendFailed; }

// One try of a read-kind exchange.
TransactionResult ReadTry(Operation& op, int pauseMs, const RequestBytes& request) {
  Pause(pauseMs);
  if (!Send(op, request)) return SendFailure();
  const TryResult got = Receive(op, request);
  if (PortFailed()) return kResultPortFailed;
  KeepForTrace(op, got);
  op.noEcho = got.Heard(Verdict::Answer) || got.Heard(Verdict::Refusal) || !IsEcho(op);
  return got.Heard(Verdict::Answer) ? kResultOk : kResultBadReply;
}

// A read-kind operation: up to two tries of the request.
TransactionResult ReadExchange(Operation& op, const char* name, std::uint16_t address, int pauseMs,
                               const RequestBytes& request) {
  TransactionResult result = kResultSendFailed;
  for (int attempt = 0; attempt < 2; ++attempt) {
    result = ReadTry(op, pauseMs, request);
    if (result == kResultOk || result == kResultPortFailed) break;
  }
  if (result != kResultOk && name != nullptr) Trace(op, name, address, result, true);
  return result;
}

std::uint32_t RegisterValue(const Operation& op, std::uint16_t count) {
  if (count == 1) return Rx16(op, 3);
  return static_cast<std::uint32_t>(Rx16(op, 5)) << 16 | Rx16(op, 3);
}

float FloatValue(const Operation& op) {
  float f = std::bit_cast<float>(RegisterValue(op, 2));
  return static_cast<float>(static_cast<long double>(f) + 1e-10L);
}

// A word or coil answer held on a line known not to echo, with nothing of the station behind
// it, is the drive's answer, or the copy of a line that echoes after all (its copies lost
// while the line was learnt) from a drive that is unplugged or ignores the write: on a USB
// adapter or a pseudo-terminal a copy comes no sooner than an answer, so the time cannot tell.
// A read of the written register (function 3) or coil (function 1), sent at once, is a try of
// its own whose record DecideConfirmed weighs with the write's. Its bytes stay out of what the
// trace and the caller see.
ConfirmOutcome ConfirmHeldAnswer(Operation& op, const RequestBytes& write, const TryResult& writeTry,
                                 const LineView& line) {
  const std::uint16_t address = static_cast<std::uint16_t>(write.bytes[2] << 8 | write.bytes[3]);
  const RequestBytes read = ReadRequest(write.Station(), write.Function() == 5 ? 1 : 3, address, 1);
  std::size_t written = 0;
  TryResult readTry;
  if (Transmit(op, read, written)) readTry = Receive(op, read, &write);
  ConfirmOutcome out = DecideConfirmed(line, ViewOf(write), writeTry.record, readTry.record);
  platform::ByteLink* port = CurrentPort();
  if (port == nullptr || port->Failed()) return out;
  NotePortLineEvidence(out.evidence);
  if (out.guard) Guards().ends[write.Station()] = port->Now() + kLateReplyGuard;
  return out;
}

// One try of a write-kind exchange; sets stop when the result is final. The answer echoes the
// address and the value (functions 5 and 6) or the quantity (function 16) that were sent. A
// held answer is confirmed by one read at most: when that leaves it unclear, the write is not
// sent again.
TransactionResult WriteTry(Operation& op, const RequestBytes& write, bool& stop) {
  stop = false;
  Pause(5);
  const bool sent = Send(op, write);
  const LineView line = CurrentLine();
  const TryResult got = sent ? Receive(op, write) : TryResult{};
  if (sent) KeepForTrace(op, got);
  std::optional<ConfirmOutcome> confirmed;
  if (got.Heard(Verdict::Held) && !PortFailed()) confirmed = ConfirmHeldAnswer(op, write, got, line);
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

TransactionResult WriteExchange(Operation& op, const char* name, std::uint16_t address, const RequestBytes& write) {
  TransactionResult result = kResultSendFailed;
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool stop = false;
    result = WriteTry(op, write, stop);
    if (result == kResultOk || stop) break;
  }
  if (result != kResultOk && name != nullptr) Trace(op, name, address, result, false);
  return result;
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
  Operation& op = guard.Op();
  TransactionResult r = ReadExchange(op, name, address, pauseMs, ReadRequest(station, function, address, count));
  if (r == kResultOk) value = RegisterValue(op, count);
  return r;
}

// ReadFloat and ReadInputFloat: a register pair of function 3 or 4 taken as an IEEE single.
TransactionResult ReadFloatRegisters(const char* name, std::uint8_t function, std::uint8_t station,
                                     std::uint16_t address, float& value) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  Operation& op = guard.Op();
  TransactionResult r = ReadExchange(op, name, address, 5, ReadRequest(station, function, address, 2));
  if (r == kResultOk) value = FloatValue(op);
  return r;
}

// The write operations: one request, up to two tries.
TransactionResult Write(const char* name, std::uint16_t address, const RequestBytes& request) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  return WriteExchange(guard.Op(), name, address, request);
}

std::array<std::uint16_t, 2> LowWordFirst(std::uint32_t value) {
  return {static_cast<std::uint16_t>(value & 0xFFFF), static_cast<std::uint16_t>(value >> 16)};
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
  Operation& op = guard.Op();
  TransactionResult r = ReadExchange(op, "ReadBit", address, 5, ReadRequest(station, 1, address, 1));
  if (r == kResultOk) value = op.rx[3];
  return r;
}

TransactionResult WriteWord(std::uint8_t station, std::uint16_t address, std::uint16_t value) {
  return Write("WriteWord", address, WriteWordRequest(station, address, value));
}

TransactionResult WriteLong(std::uint8_t station, std::uint16_t address, std::uint32_t value) {
  const auto words = LowWordFirst(value);
  return Write("WriteLong", address, WriteMultipleRequest(station, address, words.data(), 2));
}

TransactionResult WriteFloat(std::uint8_t station, std::uint16_t address, float value) {
  const auto words = LowWordFirst(std::bit_cast<std::uint32_t>(value));
  return Write("WriteFloat", address, WriteMultipleRequest(station, address, words.data(), 2));
}

TransactionResult WriteProfile(std::uint8_t station, std::uint16_t address, const std::array<std::uint16_t, 7>& words) {
  return Write("WriteProfile", address, WriteMultipleRequest(station, address, words.data(), 7));
}

TransactionResult WriteBit(std::uint8_t station, std::uint16_t address, std::uint8_t value) {
  return Write("WriteBit", address, WriteBitRequest(station, address, value == 1));
}

TransactionResult ReadBlock16(std::uint8_t station, std::uint16_t address, std::array<std::uint16_t, 16>& words) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  Operation& op = guard.Op();
  TransactionResult r = ReadExchange(op, nullptr, address, 5, ReadRequest(station, 3, address, 16));
  if (r == kResultOk)
    for (std::size_t i = 0; i < 16; ++i) words[i] = Rx16(op, 3 + 2 * i);
  return r;
}

TransactionResult WriteBlock16(std::uint8_t station, std::uint16_t address, const std::array<std::uint16_t, 16>& words) {
  return Write(nullptr, address, WriteMultipleRequest(station, address, words.data(), 16));
}

TransactionResult ReadDeviceId(std::uint8_t station) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  Operation& op = guard.Op();
  const RequestBytes request = IdentificationRequest(station);
  TransactionResult result = kResultSendFailed;
  for (int attempt = 0; attempt < 2; ++attempt) {
    Pause(5);
    const bool sent = Send(op, request);
    const TryResult got = sent ? Receive(op, request) : TryResult{};
    if (PortFailed()) return kResultPortFailed;
    if (sent) KeepForTrace(op, got);
    result = sent ? kResultBadReply : kResultSendFailed;
    if (!got.Heard(Verdict::Answer)) continue;
    const auto& r = op.rx;
    AppState& s = State();
    s.DeviceStation = station;
    s.DeviceVendor.clear();
    s.DeviceProduct.clear();
    s.DeviceRevision.clear();
    std::string* texts[3] = {&s.DeviceVendor, &s.DeviceProduct, &s.DeviceRevision};
    std::size_t p = kIdHeader;
    for (std::uint8_t id = 0; id < 3; ++id) {
      if (p >= op.count || r[p] != id) continue;
      if (p + 1 >= op.count) return kResultWrongContent;
      std::size_t length = r[p + 1];
      if (p + 2 + length > op.count) return kResultWrongContent;
      texts[id]->assign(reinterpret_cast<const char*>(&r[p + 2]), length);
      p += 2 + length;
    }
    return p + 2 == op.count ? kResultOk : kResultWrongContent;
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
TransactionResult Toggle(Operation& op, const ToggleKind& kind, std::uint8_t station, std::uint16_t address,
                         Inverse inverse, Reached reached, BuildWrite buildWrite) {
  TransactionResult result = kResultSendFailed;
  bool writeUncertain = false;
  std::uint32_t intended = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    result = ReadTry(op, 5, ReadRequest(station, kind.readFunction, address, 1));
    if (result == kResultPortFailed) break;
    if (result != kResultOk) continue;
    std::uint32_t current = kind.readFunction == 1 ? op.rx[3] : Rx16(op, 3);
    if (writeUncertain && reached(current, intended)) break;
    intended = inverse(current);

    bool stop = false;
    result = WriteTry(op, buildWrite(intended), stop);
    if (stop) break;
    writeUncertain = result != kResultSendFailed;
    Trace(op, kind.writeName, address, result, true);
  }
  if (result != kResultOk) Trace(op, kind.readName, address, result, true);
  return result;
}

}  // namespace

TransactionResult ToggleBit(std::uint8_t station, std::uint16_t address) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  static const ToggleKind kind{"ToggleBitWrite", "ToggleBitRead", 1};
  return Toggle(
      guard.Op(), kind, station, address, [](std::uint32_t status) -> std::uint32_t { return status == 0 ? 1 : 0; },
      [](std::uint32_t status, std::uint32_t intended) { return (status != 0) == (intended != 0); },
      [&](std::uint32_t on) { return WriteBitRequest(station, address, on != 0); });
}

TransactionResult ToggleWord(std::uint8_t station, std::uint16_t address, std::uint16_t mask) {
  TransactionGuard guard;
  if (guard.Refused()) return kResultBusy;
  static const ToggleKind kind{"ToggleWordWrite", "ToggleWordRead", 3};
  return Toggle(
      guard.Op(), kind, station, address,
      [mask](std::uint32_t value) -> std::uint32_t { return (value ^ mask) & 0xFFFF; },
      [](std::uint32_t value, std::uint32_t intended) { return value == intended; },
      [&](std::uint32_t value) { return WriteWordRequest(station, address, static_cast<std::uint16_t>(value)); });
}

void SetPauseClock(PauseClock* clock) { SetClock() = clock; }

}  // namespace core
