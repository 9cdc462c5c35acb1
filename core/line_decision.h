// What a try heard on the line, and the one decision over it. A try keeps a record of the frames
// the line brought after its request, each with its time and what it matches; DecideTry takes
// the try's outcome from the line's state, the request and that record, and DecideConfirmed a
// word or coil write's outcome from the write's record and the record of the read that confirms
// its answer. No port and no clock here: a table of records decides in a test as on the line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace core {

using LineMicros = std::chrono::microseconds;

// Whether a line sends every request back ahead of the drive's answer, as a 2-wire RS-485 adapter
// without echo suppression does (PortLineEcho, core/serial_link.h).
enum class LineEcho { Unknown, Echoes, Quiet };

// What one try showed of the line.
enum class LineEvidence {
  None,        // nothing either way
  Copy,        // the line's copy of the request: whole, for a request whose answer differs from
               // it; for a word or coil write, with the drive's refusal or another frame of the
               // station behind it (the write's frame twice is no copy on a line known not to
               // echo: it may be one answer that came twice)
  CopyAlone,   // a whole copy of a request whose answer differs from it, with nothing of the
               // station behind it: a line that echoes while the drive is silent, or a drive that
               // answered with the request itself (which leaves a line known not to echo as it is)
  DriveFirst,  // the drive's frame, with nothing ahead of it that could be the request's copy
  Doubtful,    // the drive's frame behind bytes that may be a damaged or cut copy
};

// A frame has ended once the line has been quiet this long after it: 3.5 characters at 4800 baud
// take 7.3 ms, and a USB adapter holds received bytes back for up to 16 ms. A try that received
// a whole but damaged reply ends by this gap.
constexpr LineMicros kFrameEnds{20'000};

// What a frame (or a byte passed over) matches.
enum class Match : std::uint8_t {
  Request,         // the request itself, whole: the line's copy; for functions 5 and 6 also the
                   // shape of the answer
  Answer,          // shaped as the answer to the request (and not the request itself)
  OtherValue,      // a write's answer naming its address with another value or quantity
  Refusal,         // the station's exception reply to the request's function (code in `data`)
  EarlierRequest,  // the copy of another request the operation sent before, come late
  Foreign,         // a whole frame of another station, or of the station and another function
  WriteAnswer,     // in a confirm read's record: the write's frame (its answer, or a copy again)
  WriteRefusal,    // in a confirm read's record: the station's refusal of the write (code in `data`)
  Noise,           // a byte that starts nothing usable, passed over (see the flags)
};

struct HeardFrame {
  Match match = Match::Noise;
  LineMicros at{0};        // from the end of the request to the frame's first byte
  std::size_t offset = 0;  // where it starts in the try's bytes
  std::size_t length = 1;  // of the frame (a noise byte: of the damaged frame it starts, else 1)
  std::uint16_t data = 0;  // a refusal's code; a read's first register, or its first data byte
  // For noise bytes: the station's number and the function (or its exception) start here; a
  // reply of the station and function with a wrong CRC starts here; a word or coil write's
  // request with a wrong CRC starts here.
  bool ours = false;
  bool damaged = false;
  bool damagedRequest = false;
};

// What one try heard, in order, and how its bytes ended.
struct TryRecord {
  std::vector<HeardFrame> frames;
  std::size_t received = 0;    // bytes the line brought in the try
  LineMicros lastByteAt{0};    // when the last of them came
  bool ended = false;          // the try is over: its deadline passed
  bool ourFrameComing = false;  // the bytes end in a frame of the station and function, still coming
  bool cutShort = false;       // ... and not the request's copy (a reply the deadline may cut short)
  bool damagedComing = false;  // ... an identification reply whose list has ended but its CRC is wrong
  bool wrongLength = false;    // what is left after the frames passed over is a CRC-correct frame
                               // of the station of another length than the answer's
};

// What is known of the line when the try began.
struct LineView {
  LineEcho echo = LineEcho::Unknown;
  LineMicros turnaround{0};  // the drive's (PortTurnaround)
  LineMicros fastest{0};     // the drive's shortest turnaround (PortFastestTurnaround)
  LineMicros frameGap{1750};
};

// What a try is about.
struct RequestView {
  std::uint8_t function = 0;
  bool identification = false;
  bool answerRepeats = false;  // functions 5 and 6: the answer equals the request
  // A word write's value, or a coil write's state (1 on, 0 off): what the confirm read must show.
  std::uint16_t written = 0;
};

enum class Verdict {
  Pending,     // the try listens on (until `endBy` when set, else until its deadline)
  Answer,      // the answer, frame `taken`
  Held,        // a word or coil answer on a line known not to echo, frame `taken`: a read confirms it
  Refusal,     // the station's exception reply with code `code`
  OtherValue,  // a write's answer with another value or quantity
  WrongLength,  // a CRC-correct frame of the station of another length
  Unsure,      // a word or coil write's copy alone on a line known neither way
  Nothing,     // nothing usable
};

struct TryOutcome {
  Verdict verdict = Verdict::Pending;
  std::optional<std::size_t> taken;
  std::uint8_t code = 0;
  std::optional<LineMicros> endBy;  // a pending try ends then, unless more comes
  LineEvidence evidence = LineEvidence::None;
  std::optional<LineMicros> turnaround;  // of a drive frame taken with nothing ahead
  bool valueOnly = false;   // Held, but in doubt: only the written value read back confirms it
  bool lookBehind = false;  // an Answer that repeats the write: what has come behind it is looked at
                            // (a refusal there is the write's refusal) before it is taken
  bool guard = false;       // nothing was heard of the station: its reply may still come
  bool drainAgain = false;  // ... and its copy may still come too
};

// The try's outcome over the record so far (Pending while it is not over and may still change).
TryOutcome DecideTry(const LineView& line, const RequestView& request, const TryRecord& record);

// A word or coil write whose answer was held (Verdict::Held at frame `held` of `write`), and the
// try of the read of the same register or coil sent right behind it: the write's outcome.
struct ConfirmOutcome {
  Verdict verdict = Verdict::Nothing;  // Answer (done), Refusal (code) or Nothing (not known done)
  std::uint8_t code = 0;
  LineEvidence evidence = LineEvidence::None;  // what the pair showed of the line
  bool guard = false;  // the held frame was a copy: the drive's answer may still come
};
ConfirmOutcome DecideConfirmed(const LineView& line, const RequestView& write, const TryRecord& writeTry,
                               const TryRecord& readTry);

// Whether a frame that repeats a word or coil write came too early to be the drive's answer: the
// drive answers no sooner than half the shortest turnaround of Link's identifications, a copy as
// soon as the request has gone out. Only where that stands clear of the frame gap.
bool TooEarlyForAnswer(const LineView& line, LineMicros at);

}  // namespace core
