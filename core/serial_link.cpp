#include "core/serial_link.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "core/common.h"

namespace core {

namespace {
std::chrono::microseconds FrameGapAt(int baud) {
  // 3.5 characters of 11 bits (start, 8 data, parity or a second stop bit, stop).
  const auto gap = std::chrono::microseconds(3'500'000 * 11 / 10 / baud);
  return std::max(gap, std::chrono::microseconds(1750));
}

// The open port and what has been learnt of its line; both go when the port closes.
struct OpenLink {
  std::unique_ptr<platform::ByteLink> port;
  LineEcho echo = LineEcho::Unknown;
  int driveFirstRow = 0;  // tries in a row whose drive frame came first
  std::chrono::steady_clock::time_point rowStart{};  // when the first of them ended
  std::vector<std::chrono::microseconds> turnarounds;  // measured while the line was learnt
  std::chrono::microseconds frameGap = FrameGapAt(19200);
};

OpenLink& Link() {
  static OpenLink link;
  return link;
}

std::unique_ptr<platform::ByteLink>& Port() { return Link().port; }

std::uint64_t& Generation() {
  static std::uint64_t generation = 0;
  return generation;
}

PortOpenFailure& LastFailure() {
  static PortOpenFailure failure;
  return failure;
}
}  // namespace

const PortOpenFailure& LastPortOpenFailure() { return LastFailure(); }

bool OpenPort(std::uint8_t port, std::uint16_t baud, std::uint8_t dataBits, char parity, std::uint8_t stopBits) {
  ClosePort();
  std::string path = platform::ComDevicePath(port);
  LastFailure() = {path, {}};
  if (path.empty()) {
    LastFailure().error = {platform::OpenFailure::Missing, ENODEV};
    return false;
  }
  auto serial = std::make_unique<platform::SerialPort>();
  platform::LineSettings settings;
  settings.baud = baud;
  settings.dataBits = dataBits;
  settings.parity = parity;
  settings.stopBits = stopBits;
  if (!serial->Open(path, settings)) {
    LastFailure().error = serial->LastOpenError();
    return false;
  }
  Link() = {};
  Link().port = std::move(serial);
  const bool knownRate = baud == 4800 || baud == 9600 || baud == 19200 || baud == 38400 || baud == 57600;
  Link().frameGap = FrameGapAt(knownRate ? baud : 4800);
  ++Generation();
  return true;
}

void OpenPortOn(std::unique_ptr<platform::ByteLink> link) {
  ClosePort();
  if (link) link->Purge();
  Link() = {};
  Link().port = std::move(link);
  ++Generation();
}

void ClosePort() {
  Link() = {};
  ++Generation();
  ClearLinkState(State());
}

bool IsPortOpen() { return Port() != nullptr; }

bool PortFailed() { return Port() != nullptr && Port()->Failed(); }

platform::ByteLink* CurrentPort() { return Port().get(); }

std::uint64_t PortGeneration() { return Generation(); }

LineEcho PortLineEcho() { return Link().echo; }

void LearnPortLineEcho(LineEcho echo) {
  if (Port() != nullptr) Link().echo = echo;
  Link().driveFirstRow = 0;
}

void NotePortLineEvidence(LineEvidence evidence) {
  OpenLink& link = Link();
  if (link.port == nullptr) return;
  switch (evidence) {
    case LineEvidence::CopyAlone:
      // One frame equal to a read's request is no proof on a line known not to echo: the drive
      // may have answered with the request. Its copy with the drive behind it is.
      if (link.echo == LineEcho::Quiet) {
        link.driveFirstRow = 0;
        break;
      }
      [[fallthrough]];
    case LineEvidence::Copy:
      link.echo = LineEcho::Echoes;
      link.driveFirstRow = 0;
      break;
    case LineEvidence::DriveFirst: {
      if (link.echo != LineEcho::Unknown) break;
      const auto now = link.port->Now();
      if (link.driveFirstRow++ == 0) link.rowStart = now;
      if (link.driveFirstRow >= kQuietTries && now - link.rowStart >= kQuietSpan) {
        link.echo = LineEcho::Quiet;
        link.driveFirstRow = 0;
      }
      break;
    }
    case LineEvidence::Doubtful:
      link.driveFirstRow = 0;
      break;
    case LineEvidence::None:
      break;
  }
}

void NotePortTurnaround(std::chrono::microseconds turnaround) {
  OpenLink& link = Link();
  if (link.port == nullptr || link.echo != LineEcho::Unknown) return;
  link.turnarounds.push_back(turnaround);
}

std::chrono::microseconds PortTurnaround() {
  std::vector<std::chrono::microseconds> t = Link().turnarounds;
  if (t.empty()) return std::chrono::microseconds(0);
  // The median: one identification answered late says nothing of the drive's turnaround.
  const auto middle = t.begin() + static_cast<long>(t.size() / 2);
  std::nth_element(t.begin(), middle, t.end());
  return *middle;
}

std::chrono::microseconds PortFastestTurnaround() {
  const auto& t = Link().turnarounds;
  return t.empty() ? std::chrono::microseconds(0) : *std::min_element(t.begin(), t.end());
}

std::chrono::microseconds PortFrameGap() { return Link().frameGap; }

}  // namespace core
