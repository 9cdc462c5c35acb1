#include "core/modbus.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <tuple>

#include "core/common.h"
#include "core/serial_link.h"

namespace core {

namespace {

constexpr std::size_t kRequestSize = 41;
constexpr std::size_t kReplySize = 80;
constexpr std::size_t kInputSize = 256;
// The identification: its function, and the fixed part of its reply (station, function, MEI
// type, read code, conformity level, more-follows, next object, object count).
constexpr std::uint8_t kIdentification = 0x2B;
constexpr std::size_t kIdHeader = 8;
constexpr std::size_t kIdShortest = 11;  // the shortest identification reply taken
// The length of an exception reply: a try never asks the line for more before the bytes show
// that no refusal is coming, so a refusal is taken as soon as it is whole.
constexpr std::size_t kRefusalLength = 5;
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
  std::array<std::uint8_t, kInputSize> in{};  // what the line brought during the current try
  std::array<LineTime, kInputSize> inAt{};     // when each of those bytes was read
  std::size_t inLength = 0;
  // Per station: the end of the guard after its last try that heard nothing from it.
  std::array<std::optional<LineTime>, 256> guardEnds{};
  std::uint64_t guardGeneration = 0;  // of the port the guards belong to
  bool drainedInOperation = false;    // the running operation has drained the line once
  bool drainAgain = false;            // ... and its last try did not see even its own copy
  // The requests the running operation has sent so far (a toggle sends six at most: two tries
  // of a read, a write and the read that confirms the write's answer).
  std::array<std::array<std::uint8_t, kRequestSize>, 6> sent{};
  std::array<std::size_t, 6> sentLength{};
  std::size_t sentCount = 0;
  // The last try's answer is a word or coil answer held on a line known not to echo, with
  // nothing of the station behind it (ConfirmHeldAnswer decides whether it was a copy).
  bool answerHeld = false;
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
      X().sentCount = 0;
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

// Drains a late reply of the station asked (DrainLateReply), purges the port, appends the CRC to
// the request of length n and writes it. False when the request did not go out whole (also on
// a closed port).
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
  DrainLateReply(*port, x.tx[0]);
  port->Purge();
  if (x.sentCount < x.sent.size()) {
    std::copy(x.tx.begin(), x.tx.end(), x.sent[x.sentCount].begin());
    x.sentLength[x.sentCount++] = x.txLength;
  }
  std::size_t written = port->Write(x.tx.data(), x.txLength);
  if (written < x.txLength) {
    x.count = written;
    return false;
  }
  port->Drain();
  return true;
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

// How a CRC-correct frame from the line relates to a request.
enum class Fit { No, Reply, Refusal, OtherValue };

std::uint16_t Word(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

bool CrcFits(const std::uint8_t* frame, std::size_t length) {
  const std::uint16_t crc = Crc16(frame, length - 2);
  return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}

// The length of the normal reply to a request (0 for the identification, whose length its
// object list gives).
std::size_t ReplyLength(const std::uint8_t* request) {
  switch (request[1]) {
    case 1: return 6;
    case 3:
    case 4: return 5 + 2 * static_cast<std::size_t>(Word(request + 4));
    case 5:
    case 6:
    case 16: return 8;
    default: return 0;
  }
}

// The fixed part of an identification reply after station and function: MEI type 14, read
// code 1, conformity level 2, nothing more follows, next object 0, three objects.
bool IdentificationHeader(const std::uint8_t* frame) {
  static constexpr std::uint8_t kHeader[] = {0x0E, 1, 2, 0, 0, 3};
  return std::equal(std::begin(kHeader), std::end(kHeader), frame + 2);
}

// Whether a frame (CRC already checked) answers the request: it must come from the station
// asked, with the function asked (or that function's exception), and carry the byte count of
// a read, the address and value or quantity of a write, or the identification's header. A
// write's reply that names the address but another value or quantity has another value.
Fit Fits(const std::uint8_t* request, const std::uint8_t* frame, std::size_t length) {
  if (frame[0] != request[0]) return Fit::No;
  const std::uint8_t function = request[1];
  if (frame[1] == (function | 0x80)) return length == kRefusalLength ? Fit::Refusal : Fit::No;
  if (frame[1] != function) return Fit::No;
  if (function == kIdentification) return length >= kIdShortest && IdentificationHeader(frame) ? Fit::Reply : Fit::No;
  if (length != ReplyLength(request)) return Fit::No;
  switch (function) {
    case 1:
    case 3:
    case 4: return frame[2] == length - 5 ? Fit::Reply : Fit::No;
    default:
      if (Word(frame + 2) != Word(request + 2)) return Fit::No;
      return Word(frame + 4) == Word(request + 4) ? Fit::Reply : Fit::OtherValue;
  }
}

// An identification reply that starts at p (avail bytes there, station and function already
// seen) and what its object list says of its length.
struct IdentificationFrame {
  std::size_t length = 0;  // the frame's length once its CRC checks out, else 0
  std::size_t need = 0;    // while 0: bytes it still lacks at least (0 when it cannot be one)
  bool whole = false;      // its object list ends where the bytes do, but the CRC is wrong
};

// The objects 0, 1 and 2 follow the header in that order, each only when present, then the
// CRC: the frame ends where the object list does, when the CRC checks out there. On the last
// look (the try is over) the bytes from p to the end of what came are the frame when their CRC
// checks out, as from a drive that sends its objects in another order or bytes behind them.
IdentificationFrame LookAtIdentification(const std::uint8_t* p, std::size_t avail, bool lastLook) {
  IdentificationFrame f;
  if (avail < kIdHeader) {
    f.need = lastLook ? 0 : kIdHeader - avail;
    return f;
  }
  if (!IdentificationHeader(p)) return f;
  // The end of the list, or as far as the bytes that came let it be read: the next object's
  // number and length, or the CRC, are still to come.
  std::size_t at = kIdHeader;
  for (std::uint8_t id = 0; id < 3 && at + 2 <= avail; ++id)
    if (p[at] == id) at += 2 + p[at + 1];
  const std::size_t end = at + 2;
  if (end >= kIdShortest && end <= avail && end <= kReplySize && CrcFits(p, end)) {
    f.length = end;
    return f;
  }
  if (lastLook) {
    const std::size_t rest = std::min(avail, kReplySize);
    if (rest >= kIdShortest && CrcFits(p, rest)) f.length = rest;
    return f;
  }
  f.whole = end == avail;
  f.need = end > avail ? end - avail : 1;
  if (avail + f.need > kReplySize) f.need = avail < kReplySize ? kReplySize - avail : 0;
  return f;
}

// What one try received: the answer, the drive's refusal (an exception reply), a write's reply
// with another value or quantity, a CRC-correct reply of our station of another length, a
// write's copy on a line not known either way, or nothing usable.
enum class Heard { Answer, Refusal, OtherValue, WrongLength, Unsure, Nothing };

// Whether the n bytes at p repeat the request from its start.
bool RepeatsRequest(const std::uint8_t* p, std::size_t n) {
  const Exchange& x = X();
  n = std::min(n, x.txLength);
  return std::equal(p, p + n, x.tx.begin());
}

// What a try found where it looked in what the line brought.
enum class Piece {
  Noise,       // a byte that starts nothing usable (a damaged frame's too): passed over
  Incomplete,  // something of ours still coming (Found::need)
  LineCopy,    // the line's copy of the request, sent back by an echoing line
  EarlierCopy,  // a whole copy of another request an earlier try of the operation sent
  Answer,      // the drive's answer; for functions 5 and 6 equal to the request
  Refusal,     // the drive's exception reply
  OtherValue,  // a write's reply naming its address with another value or quantity
};

struct Found {
  Piece piece = Piece::Noise;
  std::size_t length = 0;     // of a whole piece
  std::size_t need = 0;       // bytes an incomplete piece still lacks at least
  bool damaged = false;       // a reply of our station and function with a wrong CRC
  bool damagedWhole = false;  // such a reply ends where the bytes that came do
  bool damagedCopy = false;   // a word or coil write's copy whose CRC was damaged
};

// One try's search for the reply to the request in x.tx, over the port's bytes in x.in.
// The request's answer is found behind noise and frames that answer nothing of it (another
// station or function, another byte count, address, value or quantity); what the line has
// shown of its echo is noted when the try ends.
//
// The words kept apart here: the line's copy is the request as an echoing line sends it back
// (passed over). A word or coil write's normal answer equals its request: elsewhere than on a
// line known not to echo the first such frame (or one that repeats the request except in its
// CRC) is taken for the copy and only a second one behind it is the answer. On a line known
// not to echo the first is the answer, but it is held while the try listens behind it for the
// drive's turnaround: a frame of the station there shows that it was a copy after all (an
// adapter that lost the copies while the line was learnt), and the second one decides; with
// nothing behind it, the read that follows it decides (ConfirmHeldAnswer). A drive
// that answers a read with its request (the simulated drive's --echo) gives frames that are no
// answer. A reply with another value is a write's reply naming its address with another value
// or quantity. A late copy of another request of the operation is passed over.
class ReplySearch {
 public:
  ReplySearch(platform::ByteLink& port, LineEcho line);
  Heard Run();
  LineEvidence Showing() const;
  // From the end of the request to the first bytes of the drive's frame taken, if one was.
  std::optional<std::chrono::microseconds> Turnaround() const;

 private:
  Found LookAt(const std::uint8_t* at, std::size_t avail) const;
  Found LookAtCopy(std::size_t avail) const;
  Found LookAtFrame(const std::uint8_t* at, std::size_t avail) const;
  bool RepeatsEarlierRequest(const std::uint8_t* at, std::size_t length) const;
  bool LooksForCopy() const;
  bool HoldsAsCopy(const Found& found) const;
  void Hold(const Found& found);
  void NoteStationBehind(const std::uint8_t* at, std::size_t avail, const Found& found);
  void NoteDriveFrame();
  Heard Take(const Found& found);
  Heard TakeHeld();
  bool ReadMore(std::size_t need);
  Heard Unanswered();

  Exchange& x_;
  platform::ByteLink& port_;
  const LineEcho line_;  // as known when the try began
  const std::uint8_t station_;
  const std::uint8_t function_;
  const std::size_t replyLength_;  // of the normal answer (0 for the identification)
  const bool identification_;
  const bool answerRepeats_;  // functions 5 and 6: the normal answer equals the request
  const LineTime start_;      // when the request had gone out
  const LineTime deadline_;
  std::size_t pos_ = 0;       // where the search goes on in x.in
  std::size_t frameEnd_ = 0;  // the end of the last whole frame passed over
  std::size_t received_ = 0;  // the try's first bytes, kept in x.rx for the trace
  bool lastLook_ = false;
  LineTime lastByte_{};
  // What the try has met so far.
  bool copySeen_ = false;     // the line's copy, passed over
  bool doubtAhead_ = false;   // bytes of our station and function passed over (a damaged or cut copy?)
  bool doubtNext_ = false;    // ... the station's byte was, and the function's is the next one
  bool driveSpoke_ = false;   // a frame of the drive (answer, refusal, other value)
  bool driveFirst_ = false;   // ... and the first of them had neither copy nor doubt ahead
  bool otherValue_ = false;
  bool damaged_ = false;      // a reply of our station and function came with a wrong CRC
  bool damagedLast_ = false;  // such a reply, whole, is the last thing the line brought
  bool damagedCopy_ = false;  // a word or coil write's copy with a damaged CRC, passed over
  // A word or coil answer held on a line known not to echo (HoldsAsCopy), its bytes, and until
  // when the try listens behind it; a frame of the station behind it made it a copy.
  bool holding_ = false;
  std::array<std::uint8_t, 8> held_{};
  LineTime listenUntil_{};
  bool stationBehind_ = false;
  bool frameBehind_ = false;  // bytes of a frame of the station behind it, still coming
  std::optional<LineTime> answerAt_;  // when the first bytes of the drive's frame taken came
};

ReplySearch::ReplySearch(platform::ByteLink& port, LineEcho line)
    : x_(X()),
      port_(port),
      line_(line),
      station_(X().tx[0]),
      function_(X().tx[1]),
      replyLength_(ReplyLength(X().tx.data())),
      identification_(function_ == kIdentification),
      answerRepeats_(function_ == 5 || function_ == 6),
      start_(port.Now()),
      // The identification waits as long as for the longest reply.
      deadline_(start_ +
                std::chrono::milliseconds(platform::ReadTimeoutMs(identification_ ? kReplySize : replyLength_))) {}

// The line's copy is looked for on every line, so that a line taken for one without echo
// shows it echoes after all; only a write's copy, which cannot be told from its answer, is
// not looked for where no copy comes (a line known not to echo), nor a second time.
bool ReplySearch::LooksForCopy() const {
  return !(answerRepeats_ && (copySeen_ || damagedCopy_ || line_ == LineEcho::Quiet));
}

// Finding frames: what the bytes at `at` (avail of them, the first from our station or not)
// are, or how many more they need to tell.
Found ReplySearch::LookAt(const std::uint8_t* at, std::size_t avail) const {
  if (at[0] != station_) return {};
  if (avail < 2) return {Piece::Incomplete, 0, 1};
  if (LooksForCopy() && RepeatsRequest(at, avail)) {
    const Found copy = LookAtCopy(avail);
    if (copy.piece != Piece::Noise) return copy;
  }
  // A word or coil write's frame that repeats the request except in its CRC: the copy, damaged
  // (the drive's answer would be as likely damaged there, but then a try that takes it for the
  // copy only fails). Passed over like noise, byte by byte: a copy one byte short has the
  // answer's first byte where its CRC should end.
  if (answerRepeats_ && LooksForCopy() && avail >= x_.txLength && RepeatsRequest(at, x_.txLength - 2)) {
    Found copy;
    copy.damaged = copy.damagedCopy = true;
    copy.damagedWhole = avail == x_.txLength;
    return copy;
  }
  return LookAtFrame(at, avail);
}

// Bytes that repeat the request so far: the line's copy once whole. While they are fewer, no
// more is asked for than an answer would need, until they are more than an answer (an answer
// may begin as its request does). On the last look a cut copy is judged as a frame.
Found ReplySearch::LookAtCopy(std::size_t avail) const {
  if (avail >= x_.txLength) return {Piece::LineCopy, x_.txLength};
  if (lastLook_) return {};
  const std::size_t answerLength = identification_ ? kIdShortest : replyLength_;
  const std::size_t until = avail < answerLength ? std::min(x_.txLength, answerLength) : x_.txLength;
  return {Piece::Incomplete, 0, until - avail};
}

// A frame of our station: the answer, a refusal or a reply with another value once whole and
// CRC-correct; a damaged one is marked and passed over like noise.
Found ReplySearch::LookAtFrame(const std::uint8_t* at, std::size_t avail) const {
  Found found;
  std::size_t length = 0;
  if (at[1] == function_ && identification_) {
    const IdentificationFrame id = LookAtIdentification(at, avail, lastLook_);
    if (id.whole && !RepeatsRequest(at, avail)) found.damaged = found.damagedWhole = true;
    if (id.length == 0 && id.need > 0) {
      found.piece = Piece::Incomplete;
      found.need = id.need;
      return found;
    }
    length = id.length;
  } else if (at[1] == function_) {
    length = replyLength_;
  } else if (at[1] == (function_ | 0x80)) {
    length = kRefusalLength;
  }
  if (length == 0) return found;
  if (avail < length) return {Piece::Incomplete, 0, length - avail};
  if (!CrcFits(at, length)) {
    if (!RepeatsRequest(at, avail)) {
      found.damaged = true;
      found.damagedWhole = avail == length;
    }
    return found;
  }
  const Fit fit = Fits(x_.tx.data(), at, length);
  // A frame that repeats the request from its start is no answer unless the answer equals the
  // request (functions 5 and 6): it is a read or block write answered with its own request
  // (the drive's --echo fault), or the head of a copy cut short or damaged behind it whose
  // first bytes happen to form a valid reply.
  const bool headOfRequest = length <= x_.txLength && RepeatsRequest(at, length) && !answerRepeats_;
  if (fit == Fit::No || headOfRequest) return found;
  found.length = length;
  // The copy of another request of the operation, come late: never an answer.
  if (RepeatsEarlierRequest(at, length)) {
    found.piece = Piece::EarlierCopy;
    return found;
  }
  found.piece = fit == Fit::Reply ? Piece::Answer : fit == Fit::Refusal ? Piece::Refusal : Piece::OtherValue;
  return found;
}

// Whether the frame is a request that an earlier try of the operation sent and that differs
// from this try's.
bool ReplySearch::RepeatsEarlierRequest(const std::uint8_t* at, std::size_t length) const {
  for (std::size_t i = 0; i + 1 < x_.sentCount; ++i) {
    const auto& request = x_.sent[i];
    if (x_.sentLength[i] == length && std::equal(at, at + length, request.begin()) &&
        !(length == x_.txLength && RepeatsRequest(at, length)))
      return true;
  }
  return false;
}

// A word or coil answer on a line known not to echo: it may be the copy of a line that echoes
// after all (an adapter that lost the copies while the line was learnt), so the try listens
// behind it for the drive's turnaround measured while the line was learnt and a frame gap,
// from when its first bytes were read. Every such answer is held: on a fast line (a
// pseudo-terminal, a drive that answers at once) a copy comes no sooner than the answer would,
// and a thread that looks late sees both at the same time.
bool ReplySearch::HoldsAsCopy(const Found& found) const {
  return found.piece == Piece::Answer && answerRepeats_ && line_ == LineEcho::Quiet && !holding_;
}

void ReplySearch::Hold(const Found& found) {
  holding_ = true;
  std::copy(x_.in.begin() + static_cast<long>(pos_), x_.in.begin() + static_cast<long>(pos_ + found.length),
            held_.begin());
  listenUntil_ = x_.inAt[pos_] + PortTurnaround() + PortFrameGap();
}

// A frame of the station (its station and function, or the function's exception) behind a
// held answer: the held one was the line's copy, and the line echoes. A frame still coming
// keeps the try listening; one that repeats another request of the operation (come late)
// shows nothing.
void ReplySearch::NoteStationBehind(const std::uint8_t* at, std::size_t avail, const Found& found) {
  frameBehind_ = false;
  if (!holding_ || stationBehind_ || avail < 2 || at[0] != station_) return;
  const bool ours = at[1] == function_ || at[1] == (function_ | 0x80);
  if (found.piece == Piece::Incomplete) {
    frameBehind_ = ours;
    return;
  }
  const bool frame = found.piece == Piece::Answer || found.piece == Piece::Refusal ||
                     found.piece == Piece::OtherValue || (found.damaged && ours);
  if (!frame) return;
  stationBehind_ = true;
  copySeen_ = true;
}

// The held answer, nothing of the station having come behind it: the drive's answer.
Heard ReplySearch::TakeHeld() {
  NoteDriveFrame();
  x_.answerHeld = true;
  std::copy(held_.begin(), held_.end(), x_.rx.begin());
  x_.count = held_.size();
  x_.crc = Crc16(held_.data(), held_.size() - 2);
  return Heard::Answer;
}

void ReplySearch::NoteDriveFrame() {
  if (driveSpoke_) return;
  driveSpoke_ = true;
  driveFirst_ = !copySeen_ && !doubtAhead_;
}

// The answer or refusal found: left at the front of x.rx.
Heard ReplySearch::Take(const Found& found) {
  NoteDriveFrame();
  answerAt_ = x_.inAt[pos_];
  const std::uint8_t* at = x_.in.data() + pos_;
  std::copy(at, at + found.length, x_.rx.begin());
  x_.count = found.length;
  x_.crc = Crc16(at, found.length - 2);
  return found.piece == Piece::Answer ? Heard::Answer : Heard::Refusal;
}

Heard ReplySearch::Run() {
  for (;;) {
    std::size_t need = kRefusalLength;
    while (pos_ < x_.inLength) {
      const std::uint8_t* at = x_.in.data() + pos_;
      const std::size_t avail = x_.inLength - pos_;
      const Found found = LookAt(at, avail);
      NoteStationBehind(at, avail, found);
      if (found.damaged) damaged_ = true;
      if (found.damagedWhole) damagedLast_ = true;
      if (found.damagedCopy) damagedCopy_ = true;
      if (found.piece == Piece::Incomplete) {
        need = found.need;
        break;
      }
      if (found.piece == Piece::Noise) {
        // Our station and function passed over: a damaged or cut copy, unless the "function" was
        // the first byte of a frame found right behind a lone byte (noise ahead of a reply whose
        // station number equals the function's).
        if (doubtNext_) doubtAhead_ = true;
        doubtNext_ = avail >= 2 && at[0] == station_ && (at[1] == function_ || at[1] == (function_ | 0x80));
        ++pos_;
        continue;
      }
      doubtNext_ = false;
      if (HoldsAsCopy(found)) {
        Hold(found);
        pos_ += found.length;
        frameEnd_ = pos_;
        continue;
      }
      if (found.piece == Piece::LineCopy || found.piece == Piece::OtherValue || found.piece == Piece::EarlierCopy) {
        if (found.piece == Piece::LineCopy) copySeen_ = true;
        if (found.piece == Piece::OtherValue) {
          // A drive that stored something else, or the reply to an earlier write to the address.
          NoteDriveFrame();
          otherValue_ = true;
        }
        pos_ += found.length;
        frameEnd_ = pos_;
        continue;
      }
      return Take(found);
    }
    // A frame of the station cut short behind the held answer leaves it in doubt: not taken.
    if (lastLook_) return holding_ && !stationBehind_ && !frameBehind_ ? TakeHeld() : Unanswered();
    if (!ReadMore(need)) return Heard::Nothing;
  }
}

// Waits for up to need more bytes until the deadline; after a whole damaged reply, only until
// the line has been quiet for a frame gap. Past the deadline it takes only what is waiting
// already, once, and the try ends with a last look at all it has. False when the port failed.
bool ReplySearch::ReadMore(std::size_t need) {
  if (pos_ == x_.inLength) {
    pos_ = frameEnd_ = x_.inLength = 0;
  } else if (x_.inLength + need > x_.in.size()) {
    std::copy(x_.in.begin() + static_cast<long>(pos_), x_.in.begin() + static_cast<long>(x_.inLength), x_.in.begin());
    std::copy(x_.inAt.begin() + static_cast<long>(pos_), x_.inAt.begin() + static_cast<long>(x_.inLength),
              x_.inAt.begin());
    x_.inLength -= pos_;
    pos_ = frameEnd_ = 0;
  }
  const LineTime now = port_.Now();
  LineTime until = damagedLast_ ? std::min(deadline_, lastByte_ + kFrameGap) : deadline_;
  if (holding_ && !stationBehind_ && !frameBehind_) until = std::min(until, listenUntil_);
  const bool past = now >= deadline_;
  const int left =
      now >= until ? 0 : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
  // Past the deadline all that is waiting: a reply that arrived in time is taken whole.
  const std::size_t ask = past ? std::max(need, x_.in.size() - x_.inLength) : need;
  const std::size_t got = port_.ReadWithin(x_.in.data() + x_.inLength, ask, left);
  for (std::size_t i = 0; i < got && received_ < kReplySize; ++i) x_.rx[received_++] = x_.in[x_.inLength + i];
  const LineTime readAt = port_.Now();
  std::fill(x_.inAt.begin() + static_cast<long>(x_.inLength), x_.inAt.begin() + static_cast<long>(x_.inLength + got),
            readAt);
  x_.inLength += got;
  if (port_.Failed()) return false;
  if (got > 0) {
    lastByte_ = readAt;
    damagedLast_ = false;
  }
  if (past || (got < need && port_.Now() >= until)) lastLook_ = true;
  return true;
}

// The try's verdict when no answer or refusal came. x.rx keeps the try's first bytes.
// A try that heard nothing from its station, not even a damaged, cut-short or differing
// reply, leaves a guard for that station: its reply may still come, and is drained before the
// next request. The identification leaves none: no other request takes its reply.
Heard ReplySearch::Unanswered() {
  x_.count = received_;
  x_.crc = Crc16(x_.rx.data(), received_ >= 2 ? received_ - 2 : 0);
  // A reply of our station and function that the deadline cut short.
  const std::size_t open = x_.inLength - std::min(pos_, x_.inLength);
  const std::uint8_t* head = x_.in.data() + pos_;
  const bool cutShort = open >= 2 && head[0] == station_ &&
                        (head[1] == function_ || head[1] == (function_ | 0x80)) && !RepeatsRequest(head, open);
  if (!identification_ && !damaged_ && !cutShort && !otherValue_) {
    x_.guardEnds[station_] = port_.Now() + kLateReplyGuard;
    // Where copies come, one that did not come may still be on its way (an adapter or host
    // that holds the data): it is drained before the next try too, which would take it for
    // its own copy and its own copy for the answer.
    if (line_ != LineEcho::Quiet && !copySeen_ && !damagedCopy_) x_.drainAgain = true;
  }
  if (otherValue_) return Heard::OtherValue;
  // A word or coil write's copy with nothing of the drive's behind it, on a line not known
  // either way: it is the copy of a silent drive's request or the answer itself, and another
  // try could not tell either.
  if (answerRepeats_ && copySeen_ && line_ == LineEcho::Unknown && !damaged_) return Heard::Unsure;
  // What is left after the frames passed over: a CRC-correct reply of our station, cut short
  // or too long for the answer.
  const std::size_t rest = x_.inLength - std::min(frameEnd_, x_.inLength);
  const std::uint8_t* tail = x_.in.data() + frameEnd_;
  if (!identification_ && rest >= 4 && rest != replyLength_ && tail[0] == station_ && CrcFits(tail, rest))
    return Heard::WrongLength;
  return Heard::Nothing;
}

// What the try showed of the line: a read's whole copy, or a write's copy with the drive's
// frame behind it, shows an echoing line; the drive's frame with no copy ahead, a line without
// echo (or a copy the adapter lost: NotePortLineEvidence weighs that).
LineEvidence ReplySearch::Showing() const {
  if (copySeen_ && (!answerRepeats_ || driveSpoke_)) return LineEvidence::Copy;
  if (!driveSpoke_) return LineEvidence::None;
  return driveFirst_ ? LineEvidence::DriveFirst : LineEvidence::Doubtful;
}

std::optional<std::chrono::microseconds> ReplySearch::Turnaround() const {
  if (!answerAt_) return std::nullopt;
  return std::chrono::duration_cast<std::chrono::microseconds>(*answerAt_ - start_);
}

// Reads the reply to the request in x.tx within the read time-out of its reply length (what
// has arrived by the deadline is taken, however late this thread looks); an identification
// waits as long as for the longest reply. An answer or refusal is left at the front of x.rx;
// without one, x.rx holds the try's first bytes. The try ends at once when the port fails.
// What the try showed of the line goes to `showing` when it is given.
Heard Receive(LineEvidence* showing = nullptr) {
  Exchange& x = X();
  x.count = 0;
  x.inLength = 0;
  x.answerHeld = false;
  platform::ByteLink* port = CurrentPort();
  if (port == nullptr) return Heard::Nothing;
  ReplySearch search(*port, PortLineEcho());
  const Heard heard = search.Run();
  if (port->Failed()) return heard;
  const LineEvidence evidence = search.Showing();
  if (evidence == LineEvidence::DriveFirst && search.Turnaround()) NotePortTurnaround(*search.Turnaround());
  NotePortLineEvidence(evidence);
  if (showing != nullptr) *showing = evidence;
  return heard;
}

// Why a request did not go out: the port failed, or it took the request only in part.
TransactionResult SendFailure() { return PortFailed() ? kResultPortFailed : kResultSendFailed; }

// One try of a read-kind exchange of the request already built (n bytes before the CRC).
TransactionResult ReadTry(int pauseMs, std::size_t n) {
  Pause(pauseMs);
  if (!Send(n)) return SendFailure();
  const Heard heard = Receive();
  if (PortFailed()) return kResultPortFailed;
  X().noEcho = heard == Heard::Answer || heard == Heard::Refusal || !IsEcho();
  return heard == Heard::Answer ? kResultOk : kResultBadReply;
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
// A read of the station sent at once decides, since no copy of a read passes for its reply.
// It asks for the written register (function 3) or coil (function 1), so that any frame of
// the drive, a refusal too, answers it. Its copy, alone or ahead of its reply, shows that the
// line echoes: the held frame was the write's copy, the try is unanswered, and the station's
// guard starts (the drive's answer may still come). Its reply or refusal with nothing ahead
// shows the line as learnt: the held frame was the drive's answer. Nothing heard, or bytes
// that may be a damaged copy ahead, leave it unclear: the write is not taken as done either.
// The read's bytes stay out of the exchange that the trace and the caller see.
Heard ConfirmHeldAnswer() {
  Exchange& x = X();
  const auto tx = x.tx;
  const std::size_t txLength = x.txLength;
  const auto rx = x.rx;
  const std::size_t count = x.count;
  const std::uint16_t crc = x.crc;
  const std::uint8_t station = tx[0];
  BuildRead(station, tx[1] == 5 ? 1 : 3, Word(tx.data() + 2), 1);
  LineEvidence showing = LineEvidence::None;
  const Heard heard = Send(6) ? Receive(&showing) : Heard::Nothing;
  x.tx = tx;
  x.txLength = txLength;
  x.rx = rx;
  x.count = count;
  x.crc = crc;
  x.answerHeld = false;
  if (showing == LineEvidence::DriveFirst && (heard == Heard::Answer || heard == Heard::Refusal))
    return Heard::Answer;
  platform::ByteLink* port = CurrentPort();
  if (showing == LineEvidence::Copy && port != nullptr) x.guardEnds[station] = port->Now() + kLateReplyGuard;
  return Heard::Nothing;
}

// One try of a write-kind exchange; sets stop when the result is final. The answer echoes the
// address and the value (functions 5 and 6) or the quantity (function 16) that were sent.
TransactionResult WriteTry(std::size_t n, bool& stop) {
  stop = false;
  Pause(5);
  const bool sent = Send(n);
  Heard heard = sent ? Receive() : Heard::Nothing;
  if (heard == Heard::Answer && X().answerHeld) heard = ConfirmHeldAnswer();
  if (PortFailed()) {
    stop = true;
    return kResultPortFailed;
  }
  if (!sent) return kResultSendFailed;
  switch (heard) {
    case Heard::Answer:
      stop = true;
      return kResultOk;
    case Heard::Refusal:
      stop = true;
      return static_cast<TransactionResult>(kResultException + X().rx[2]);
    case Heard::OtherValue:
      stop = true;
      return kResultWrongContent;
    case Heard::Unsure:
      stop = true;
      return kResultBadReply;
    case Heard::WrongLength:
      return kResultWrongContent;
    case Heard::Nothing:
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
    const Heard heard = sent ? Receive() : Heard::Nothing;
    if (PortFailed()) return kResultPortFailed;
    result = sent ? kResultBadReply : kResultSendFailed;
    if (heard != Heard::Answer) continue;
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
