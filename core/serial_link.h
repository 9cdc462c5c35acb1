// The one serial port of the drive link. Opening and closing it clears the link state
// (ClearLinkState); the transactions of core/modbus.h are the only code that uses it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "core/line_decision.h"
#include "platform/serial_port.h"

namespace core {

// Opens "COM" + port (device path from platform::ComDevicePath). Closes a port that is open
// first. Rates other than 4800, 9600, 19200, 38400 and 57600, data bits other than 7 and 8,
// parities other than N, E, O and stop bits other than 1 and 2 keep the device's setting.
bool OpenPort(std::uint8_t port, std::uint16_t baud, std::uint8_t dataBits, char parity, std::uint8_t stopBits);

// Why the last OpenPort failed: the device path it tried (empty for a port number outside
// 1..16) and the system's reason.
struct PortOpenFailure {
  std::string path;
  platform::OpenError error;
};
const PortOpenFailure& LastPortOpenFailure();

// Closes the port if it is open; always clears the link state (the device identification
// results stay).
void ClosePort();

bool IsPortOpen();

// The open port's device failed (unplugged, or the far end of the line closed): nothing passes
// until the port is closed and opened again. A drive that does not answer is no port failure.
bool PortFailed();

// Makes an already open link the port (the in-process simulated drive of the tests). Closes
// a port that is open first, like OpenPort.
void OpenPortOn(std::unique_ptr<platform::ByteLink> link);

// The open port, or null.
platform::ByteLink* CurrentPort();

// Counts the opens and closes of the port: replies awaited on one port are not awaited on the next.
std::uint64_t PortGeneration();

// Whether the open port's line sends every request back ahead of the drive's answer, as a
// 2-wire RS-485 adapter without echo suppression does. The transactions learn it from what
// they receive (NotePortLineEvidence, with LineEvidence of core/line_decision.h); a port just
// opened is Unknown, and closing the port forgets it.
LineEcho PortLineEcho();
// Sets what is known of the open port's line; nothing happens when no port is open.
void LearnPortLineEcho(LineEcho echo);

// A drive frame with no copy ahead shows a line without echo only after this many tries in a
// row: an adapter that loses a copy now and then loses this many in a row hardly ever.
constexpr int kQuietTries = 8;
// ... and only when the row spans this long on the port's clock, from the first of its tries
// to the last: copies are also lost in a burst (a receiver switched on some tens of
// milliseconds after the port opens, an adapter that stalls), and tries run back to back take
// a few milliseconds each. The late-reply guard's span, the longest the link waits for any
// reply, so that Link learns a line without echo in about a third of a second.
constexpr std::chrono::milliseconds kQuietSpan{300};
// Takes what a try showed. A copy shows an echoing line, and the port stays echoing until it
// is closed: a copy the adapter lost looks just like a line without echo, however many are
// lost. A port not known either way is taken for a line without echo after kQuietTries tries
// in a row whose drive frame came first over kQuietSpan; a doubtful try starts the row again.
void NotePortLineEvidence(LineEvidence evidence);

// The drive's turnaround while the line is learnt: from the end of a request to the first bytes
// of the drive's answer, in the tries whose answer came with nothing ahead of it. The median of
// those measured on the open port counts (zero before any), so that one answer that came late
// does not slow every later write; what comes after the line is learnt changes nothing. On a
// line learnt without echo, a word or coil answer, which equals its request, may still be a copy
// (an adapter that lost copies while the line was learnt), so the try listens behind it for this
// long plus PortFrameGap before it takes it.
void NotePortTurnaround(std::chrono::microseconds turnaround);
std::chrono::microseconds PortTurnaround();
// The shortest of them: a frame that came before half this long (where that is longer than
// PortFrameGap) came too early for the drive's answer.
std::chrono::microseconds PortFastestTurnaround();
// The silence that ends a frame at the open port's rate: 3.5 characters of 11 bits, at least
// 1.75 ms (the Modbus RTU rule above 19200 baud); at 4800 baud for a rate the port kept, and
// at 19200 baud for a link opened by OpenPortOn.
std::chrono::microseconds PortFrameGap();

}  // namespace core
