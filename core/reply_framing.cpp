#include "core/reply_framing.h"

#include <algorithm>

#include "core/modbus.h"

namespace core {

namespace {
constexpr std::size_t kIdShortest = 11;  // the shortest identification reply taken

std::uint16_t Word(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

// How a CRC-correct frame from the line relates to a request.
enum class Fit { No, Reply, Refusal, OtherValue };

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

// A whole CRC-correct frame of another station, or of the station and a function not asked: the
// lengths of the requests and replies of functions 1 to 6, 15 and 16 and of exception replies.
// Its length when the bytes that came hold one; else how many more bytes the shortest length it
// may still have needs (0 when none).
struct ForeignFrame {
  std::size_t length = 0;
  std::size_t need = 0;
};
ForeignFrame LookAtForeign(const std::uint8_t* at, std::size_t avail) {
  ForeignFrame f;
  if (at[0] == 0 || at[0] > 247) return f;
  if (avail < 2) return {0, 1};
  const std::uint8_t function = at[1] & 0x7F;
  const bool known = (function >= 1 && function <= 6) || function == 15 || function == 16;
  if (!known) return f;
  std::array<std::size_t, 2> lengths{};
  if (at[1] & 0x80) {
    lengths = {kRefusalLength, 0};
  } else if (function <= 4) {
    if (avail < 3) return {0, 3 - avail};
    lengths = {5 + static_cast<std::size_t>(at[2]), 8};
  } else if (function <= 6) {
    lengths = {8, 0};
  } else {
    if (avail < 7) return {0, 7 - avail};
    lengths = {8, 9 + static_cast<std::size_t>(at[6])};
  }
  for (std::size_t length : lengths) {
    if (length < kRefusalLength) continue;
    if (length <= avail && CrcFits(at, length)) return {length, 0};
    if (length > avail && (f.need == 0 || length - avail < f.need)) f.need = length - avail;
  }
  return f;
}
}  // namespace

bool CrcFits(const std::uint8_t* frame, std::size_t length) {
  const std::uint16_t crc = Crc16(frame, length - 2);
  return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}

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

bool IdentificationHeader(const std::uint8_t* frame) {
  static constexpr std::uint8_t kHeader[] = {0x0E, 1, 2, 0, 0, 3};
  return std::equal(std::begin(kHeader), std::end(kHeader), frame + 2);
}

struct ReplyFramer::Found {
  Match match = Match::Noise;
  bool incomplete = false;
  std::size_t length = 0;  // of a whole frame, or of the damaged frame a noise byte starts
  std::size_t need = 0;    // bytes an incomplete frame still lacks at least
  bool damaged = false;
  bool damagedWhole = false;
  bool damagedRequest = false;
  bool soft = false;  // an incomplete frame of another station, waited for briefly
};

ReplyFramer::ReplyFramer(const RequestBytes& request, const std::vector<RequestBytes>& earlier,
                         const RequestBytes* confirms)
    : request_(request),
      earlier_(earlier),
      confirms_(confirms),
      replyLength_(ReplyLength(request.bytes.data())),
      identification_(request.Function() == kIdentification),
      answerRepeats_(request.Function() == 5 || request.Function() == 6) {}

bool ReplyFramer::RepeatsRequest(const std::uint8_t* p, std::size_t n) const {
  n = std::min(n, request_.length);
  return std::equal(p, p + n, request_.bytes.begin());
}

// Bytes that repeat the request so far are its copy once whole. While they are fewer, no more
// is asked for than an answer would need, until they are more than an answer (an answer may
// begin as its request does). On the last look a cut copy is judged as a frame. A word or coil
// write's request with a damaged CRC is passed over byte by byte (a copy one byte short has the
// answer's first byte where its CRC should end); whether it was the copy or a damaged answer is
// the decision's.
ReplyFramer::Found ReplyFramer::LookAt(const std::uint8_t* at, std::size_t avail, bool lastLook) const {
  Found found;
  if (at[0] != request_.Station()) return LookAtOther(at, avail, lastLook);
  if (avail < 2) return {Match::Noise, true, 0, 1};
  if (RepeatsRequest(at, avail)) {
    if (avail >= request_.length) return {Match::Request, false, request_.length};
    if (!lastLook) {
      const std::size_t answerLength = identification_ ? kIdShortest : replyLength_;
      const std::size_t until =
          avail < answerLength ? std::min(request_.length, answerLength) : request_.length;
      return {Match::Noise, true, 0, until - avail};
    }
  }
  if (answerRepeats_ && avail >= request_.length && RepeatsRequest(at, request_.length - 2)) {
    found.damaged = found.damagedRequest = true;
    found.damagedWhole = avail == request_.length;
    found.length = request_.length;
    return found;
  }
  return LookAtFrame(at, avail, lastLook);
}

// A frame of our station: the answer, a refusal or a reply with another value once whole and
// CRC-correct; a damaged one is marked and passed over like noise.
ReplyFramer::Found ReplyFramer::LookAtFrame(const std::uint8_t* at, std::size_t avail, bool lastLook) const {
  Found found;
  const std::uint8_t function = request_.Function();
  std::size_t length = 0;
  if (at[1] == function && identification_) {
    const IdentificationFrame id = LookAtIdentification(at, avail, lastLook);
    if (id.whole && !RepeatsRequest(at, avail)) found.damaged = found.damagedWhole = true;
    if (id.length == 0 && id.need > 0) {
      found.incomplete = true;
      found.need = id.need;
      return found;
    }
    length = id.length;
  } else if (at[1] == function) {
    length = replyLength_;
  } else if (at[1] == (function | 0x80)) {
    length = kRefusalLength;
  } else {
    if (confirms_ != nullptr) {
      const Found write = LookAtConfirmed(at, avail);
      if (write.incomplete || write.match != Match::Noise) return write;
    }
    return LookAtOther(at, avail, lastLook);
  }
  if (length == 0) return found;
  if (avail < length) return {Match::Noise, true, 0, length - avail};
  if (!CrcFits(at, length)) {
    if (!RepeatsRequest(at, avail)) {
      found.damaged = true;
      found.damagedWhole = avail == length;
      found.length = length;
    }
    return found;
  }
  const Fit fit = Fits(request_.bytes.data(), at, length);
  // A frame that repeats the request from its start is no answer unless the answer equals the
  // request (functions 5 and 6): it is a read or block write answered with its own request
  // (the drive's --echo fault), or the head of a copy cut short or damaged behind it whose
  // first bytes happen to form a valid reply.
  const bool headOfRequest = length <= request_.length && RepeatsRequest(at, length) && !answerRepeats_;
  if (fit == Fit::No || headOfRequest) return found;
  found.length = length;
  if (RepeatsEarlierRequest(at, length)) {
    found.match = Match::EarlierRequest;
    return found;
  }
  found.match = fit == Fit::Reply ? Match::Answer : fit == Fit::Refusal ? Match::Refusal : Match::OtherValue;
  return found;
}

// Another station's frame, or the station's of another function, is passed over whole. Its bytes
// are waited for only as long as a frame's gap, once: they are no reason to wait for the answer's.
ReplyFramer::Found ReplyFramer::LookAtOther(const std::uint8_t* at, std::size_t avail, bool lastLook) const {
  Found found;
  const ForeignFrame foreign = LookAtForeign(at, avail);
  if (foreign.length > 0) {
    found.match = Match::Foreign;
    found.length = foreign.length;
  } else if (foreign.need > 0 && !lastLook && softTried_ != pos_) {
    found.incomplete = found.soft = true;
    found.need = foreign.need;
  }
  return found;
}

// In a confirm read's try: the write's frame again (its answer, or its copy come late), or the
// station's refusal of the write.
ReplyFramer::Found ReplyFramer::LookAtConfirmed(const std::uint8_t* at, std::size_t avail) const {
  const RequestBytes& write = *confirms_;
  Found found;
  std::size_t length = 0;
  if (at[1] == write.Function()) {
    length = write.length;
    found.match = Match::WriteAnswer;
  } else if (at[1] == (write.Function() | 0x80)) {
    length = kRefusalLength;
    found.match = Match::WriteRefusal;
  } else {
    return found;
  }
  if (avail < length) return {Match::Noise, true, 0, length - avail};
  const bool whole = found.match == Match::WriteAnswer ? std::equal(at, at + length, write.bytes.begin())
                                                       : CrcFits(at, length);
  if (!whole) return {};
  found.length = length;
  return found;
}

// Whether the frame is a request that an earlier try of the operation sent and that differs
// from this try's.
bool ReplyFramer::RepeatsEarlierRequest(const std::uint8_t* at, std::size_t length) const {
  for (const RequestBytes& request : earlier_) {
    if (request.length == length && std::equal(at, at + length, request.bytes.begin()) &&
        !(length == request_.length && RepeatsRequest(at, length)))
      return true;
  }
  return false;
}

std::size_t ReplyFramer::Scan(const std::uint8_t* in, const LineMicros* at, std::size_t n, bool lastLook,
                              TryRecord& record) {
  // What came after everything was passed over starts afresh: a frame of another length is
  // looked for in it alone.
  if (pos_ == scanned_) frameEnd_ = pos_;
  record.received = n;
  if (n > 0) record.lastByteAt = at[n - 1];
  record.ourFrameComing = record.cutShort = record.damagedComing = false;
  soft_ = false;
  const std::uint8_t station = request_.Station();
  const std::uint8_t function = request_.Function();
  std::size_t need = kRefusalLength;
  while (pos_ < n) {
    const std::uint8_t* p = in + pos_;
    const std::size_t avail = n - pos_;
    const bool ours = avail >= 2 && p[0] == station && (p[1] == function || p[1] == (function | 0x80));
    const Found found = LookAt(p, avail, lastLook);
    if (found.incomplete) {
      need = found.need;
      if (found.soft) {
        soft_ = true;
        softTried_ = pos_;
      }
      record.ourFrameComing = ours;
      record.cutShort = ours && !RepeatsRequest(p, avail);
      record.damagedComing = found.damagedWhole;
      break;
    }
    HeardFrame frame;
    frame.match = found.match;
    frame.at = at[pos_];
    frame.offset = pos_;
    if (found.match == Match::Noise) {
      frame.length = found.damaged ? found.length : 1;
      frame.ours = ours;
      frame.damaged = found.damaged;
      frame.damagedRequest = found.damagedRequest;
      record.frames.push_back(frame);
      ++pos_;
      continue;
    }
    frame.length = found.length;
    if (found.match == Match::Refusal || found.match == Match::WriteRefusal) {
      frame.data = p[2];
    } else if (found.match == Match::Answer && function == 1) {
      frame.data = p[3];
    } else if (found.match == Match::Answer && (function == 3 || function == 4) && found.length >= 7) {
      frame.data = Word(p + 3);
    }
    record.frames.push_back(frame);
    pos_ += found.length;
    frameEnd_ = pos_;
  }
  scanned_ = n;
  // What is left after the frames passed over: a CRC-correct frame of our station, cut short or
  // too long for the answer.
  const std::size_t rest = n - std::min(frameEnd_, n);
  const std::uint8_t* tail = in + frameEnd_;
  record.wrongLength = rest >= 4 && rest != replyLength_ && tail[0] == station && CrcFits(tail, rest);
  return need;
}

}  // namespace core
