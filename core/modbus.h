// Modbus RTU transactions with the drives. Each operation is one exchange (at most two tries)
// over the port opened by OpenPort (core/serial_link.h) and returns a TransactionResult. A
// failed exchange appends a three-line trace to State().LogMemo.
//
// On a line that sends every request back ahead of the answer (PortLineEcho, core/serial_link.h)
// the copies are passed over, and a write of function 5 or 6, whose normal answer equals the
// request, is done only on the drive's answer behind its copy unless the line is known not to
// echo; there its answer is taken once nothing of the station has come behind it for the
// drive's turnaround (PortTurnaround) and a frame gap, and a read of the register or coil
// written, sent at once, has been answered with the written value, or with no copy ahead of its
// reply (a register that reads back another value is written all the same); a refusal of the
// write heard during that read is the write's refusal, and the write's frame twice is its answer
// (behind its copy, or twice) and leaves the line as learnt. A write's frame that came before
// half the drive's shortest turnaround is a copy; with nothing behind it, the read confirms it
// by the written value alone. Frames of other stations are passed over whole. What a try heard
// is decided in one place (core/line_decision.h). Link learns the line (SettleLineEcho) before
// anything is written.
//
// One transaction runs at a time: the pause before each request lets pending window messages
// run through State().ProcessMessages, and a transaction started from inside that hook is
// refused with kResultBusy without touching the port.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace core {

// The clock the pause before each request waits on: the monotonic clock unless another one is
// set. Tests and fuzzing set a clock whose SleepUntil moves its time at once, so they skip the
// waits (and can see how long each pause was).
class PauseClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~PauseClock() = default;
  virtual TimePoint Now() = 0;
  virtual void SleepUntil(TimePoint until) = 0;
};
// nullptr goes back to the monotonic clock. The clock must live as long as it is set.
void SetPauseClock(PauseClock* clock);

// After a try that heard nothing from its station, not even a damaged reply, that try's reply
// may still be on its way. Before the next request to the station (the operation's second
// try, or a later operation) the line is drained until this long after the try gave up, so a
// reply up to this late never lands in another request's wait. An operation drains once at
// most: one that has drained already sends its second try, a repeat of its first, at once
// (the first one's late reply answers it as well), and the line is drained before the next
// operation instead. A reply later still cannot be told from an answer (Modbus RTU replies
// carry no request number).
constexpr std::chrono::milliseconds kLateReplyGuard{300};

using TransactionResult = std::uint16_t;

constexpr TransactionResult kResultOk = 0;
constexpr TransactionResult kResultSendFailed = 1;     // the request could not be written whole
constexpr TransactionResult kResultBadReply = 2;       // CRC, length, echo or identification header
constexpr TransactionResult kResultWrongContent = 3;   // a write's echo differs, odd length, bad object list
constexpr TransactionResult kResultBadIndex = 4;       // parameter index out of range (typed access)
constexpr TransactionResult kResultBadValue = 5;       // value that does not fit its register, NaN or
                                                       // infinite, or a register count other than 1 or 2;
                                                       // refused without a transaction
constexpr TransactionResult kResultBusy = 6;           // another transaction is running (re-entry from
                                                       // the message hook); nothing was sent
constexpr TransactionResult kResultPortFailed = 7;     // the serial port itself failed (PortFailed,
                                                       // core/serial_link.h); no further try
constexpr TransactionResult kResultException = 256;    // + exception code of a Modbus exception reply

// The standard Modbus RTU CRC-16 (0xFFFF start, polynomial 0xA001, no final XOR).
std::uint16_t Crc16(const std::uint8_t* data, std::size_t n);

TransactionResult ReadWord(std::uint8_t station, std::uint16_t address, std::uint16_t count, std::uint32_t& value);
TransactionResult ReadFloat(std::uint8_t station, std::uint16_t address, float& value);
TransactionResult ReadInput(std::uint8_t station, std::uint16_t address, std::uint16_t count, std::uint32_t& value);
TransactionResult ReadInputFloat(std::uint8_t station, std::uint16_t address, float& value);
TransactionResult ReadBit(std::uint8_t station, std::uint16_t address, std::uint32_t& value);
TransactionResult WriteWord(std::uint8_t station, std::uint16_t address, std::uint16_t value);
TransactionResult WriteLong(std::uint8_t station, std::uint16_t address, std::uint32_t value);
TransactionResult WriteFloat(std::uint8_t station, std::uint16_t address, float value);
TransactionResult WriteProfile(std::uint8_t station, std::uint16_t address, const std::array<std::uint16_t, 7>& words);
TransactionResult WriteBit(std::uint8_t station, std::uint16_t address, std::uint8_t value);
TransactionResult ReadBlock16(std::uint8_t station, std::uint16_t address, std::array<std::uint16_t, 16>& words);
TransactionResult WriteBlock16(std::uint8_t station, std::uint16_t address, const std::array<std::uint16_t, 16>& words);
// Sets State().DeviceStation, DeviceVendor, DeviceProduct and DeviceRevision when a reply is
// accepted (also when the result then becomes 3).
TransactionResult ReadDeviceId(std::uint8_t station);
// Asks the station for its identification until the port's line is known to echo or not
// (PortLineEcho), at most kQuietTries + 4 times, spread over the port's clock so that a line
// without echo is learnt in about kQuietSpan (core/serial_link.h), what the line brings
// between them dropped; leaves the device identification results
// as they were; the drive's turnaround is measured on them (NotePortTurnaround, the median). 0 when the
// line is known, else the failure of the identification that was not answered (after which
// none is sent), or 2 when they were answered but showed nothing either way.
TransactionResult SettleLineEcho(std::uint8_t station);
TransactionResult ToggleBit(std::uint8_t station, std::uint16_t address);
TransactionResult ToggleWord(std::uint8_t station, std::uint16_t address, std::uint16_t mask);

}  // namespace core
