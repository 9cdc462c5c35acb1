// Finding frames in what the line brought during a try: each whole frame, or byte passed over,
// goes to the try's record (core/line_decision.h) with what it matches. Used by the
// transactions of core/modbus.cpp only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/line_decision.h"

namespace core {

// The longest request (a block write of 16 registers) and the longest reply a try keeps.
constexpr std::size_t kRequestSize = 41;
constexpr std::size_t kReplySize = 80;
// The identification's function.
constexpr std::uint8_t kIdentification = 0x2B;
// The length of an exception reply: a try never asks the line for more before the bytes show
// that no refusal is coming, so a refusal is taken as soon as it is whole.
constexpr std::size_t kRefusalLength = 5;

struct RequestBytes {
  std::array<std::uint8_t, kRequestSize> bytes{};
  std::size_t length = 0;  // with the CRC
  std::uint8_t Station() const { return bytes[0]; }
  std::uint8_t Function() const { return bytes[1]; }
};

bool CrcFits(const std::uint8_t* frame, std::size_t length);
// The length of the normal reply to a request (0 for the identification, whose length its object
// list gives).
std::size_t ReplyLength(const std::uint8_t* request);
// The fixed part of an identification reply after station and function.
bool IdentificationHeader(const std::uint8_t* frame);
constexpr std::size_t kIdHeader = 8;

// Looks at the bytes of a try from where it stopped. Knows the request, the other requests the
// operation sent before it, and for a confirm read the write it confirms.
class ReplyFramer {
 public:
  ReplyFramer(const RequestBytes& request, const std::vector<RequestBytes>& earlier, const RequestBytes* confirms);
  // Adds what it can tell of in[0..n) to the record (at[i]: when byte i came, from the end of the
  // request); returns how many more bytes the frame it stopped at needs at least (kRefusalLength
  // when it stopped at the end). On the last look a frame cut short is judged as it is.
  std::size_t Scan(const std::uint8_t* in, const LineMicros* at, std::size_t n, bool lastLook, TryRecord& record);
  // The bytes asked for are those of another station's frame: waited for a frame's gap at most.
  bool Soft() const { return soft_; }

 private:
  struct Found;
  Found LookAt(const std::uint8_t* at, std::size_t avail, bool lastLook) const;
  Found LookAtFrame(const std::uint8_t* at, std::size_t avail, bool lastLook) const;
  Found LookAtOther(const std::uint8_t* at, std::size_t avail, bool lastLook) const;
  Found LookAtConfirmed(const std::uint8_t* at, std::size_t avail) const;
  bool RepeatsRequest(const std::uint8_t* p, std::size_t n) const;
  bool RepeatsEarlierRequest(const std::uint8_t* at, std::size_t length) const;

  const RequestBytes& request_;
  const std::vector<RequestBytes>& earlier_;
  const RequestBytes* confirms_;
  const std::size_t replyLength_;
  const bool identification_;
  const bool answerRepeats_;
  std::size_t pos_ = 0;
  std::size_t frameEnd_ = 0;  // the end of the last whole frame passed over
  std::size_t scanned_ = 0;   // the bytes the last look had
  bool soft_ = false;
  std::size_t softTried_ = static_cast<std::size_t>(-1);  // where it waited for such a frame
};

}  // namespace core
