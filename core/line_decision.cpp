#include "core/line_decision.h"

#include <algorithm>

namespace core {

namespace {

// What the frames of a try show, walked in order. A word or coil write's answer equals its
// request: elsewhere than on a line known not to echo the first such frame (or one that repeats
// the request except in its CRC) is the copy and only one behind it the answer. On a line known
// not to echo the first is held while the try listens behind it for the drive's turnaround: a
// frame of the station there shows that it was a copy after all; the write's frame again is the
// answer behind its copy or the answer twice, either way the drive's; with nothing behind it a
// read confirms it (DecideConfirmed). One that came too early for the drive to have answered is
// the copy.
struct Walk {
  bool copySeen = false;
  bool damagedCopy = false;
  bool doubtAhead = false;
  bool doubtNext = false;
  bool driveSpoke = false;
  bool driveFirst = false;
  bool otherValue = false;
  bool damaged = false;
  bool earlyCopy = false;  // a write's frame taken for its copy by its time alone
  std::optional<std::size_t> early;  // ... the first of them
  std::optional<std::size_t> held;
  bool stationBehind = false;

  void NoteDrive() {
    if (driveSpoke) return;
    driveSpoke = true;
    driveFirst = !copySeen && !doubtAhead && !earlyCopy;
  }
  void NoteBehind() {
    if (!held || stationBehind) return;
    stationBehind = true;
    copySeen = true;
  }
  LineEvidence Showing(bool answerRepeats) const {
    if (copySeen && !answerRepeats && !driveSpoke) return LineEvidence::CopyAlone;
    if (copySeen && driveSpoke) return LineEvidence::Copy;
    if (!driveSpoke) return LineEvidence::None;
    return driveFirst ? LineEvidence::DriveFirst : LineEvidence::Doubtful;
  }
};
}  // namespace

bool TooEarlyForAnswer(const LineView& line, LineMicros at) {
  const LineMicros half = line.fastest / 2;
  return half >= line.frameGap && at < half;
}

TryOutcome DecideTry(const LineView& line, const RequestView& request, const TryRecord& record) {
  TryOutcome out;
  Walk w;
  const bool quiet = line.echo == LineEcho::Quiet;
  auto looksForCopy = [&] { return !(request.answerRepeats && (w.copySeen || w.damagedCopy || quiet)); };
  auto take = [&](std::size_t i, Verdict verdict) {
    w.NoteDrive();
    out.verdict = verdict;
    out.taken = i;
    out.code = static_cast<std::uint8_t>(record.frames[i].data);
    out.evidence = w.Showing(request.answerRepeats);
    // The drive's frame with nothing ahead, or a read's answer behind its copy.
    if (out.evidence == LineEvidence::DriveFirst || (out.evidence == LineEvidence::Copy && !request.answerRepeats))
      out.turnaround = record.frames[i].at;
    return out;
  };
  // A word or coil write's refusal heard anywhere in the record is the refusal, also behind a
  // frame that would pass for its answer (a copy that came twice).
  auto refusalBehind = [&](std::size_t i) -> std::optional<std::size_t> {
    if (!request.answerRepeats) return std::nullopt;
    for (std::size_t j = i + 1; j < record.frames.size(); ++j)
      if (record.frames[j].match == Match::Refusal) return j;
    return std::nullopt;
  };
  for (std::size_t i = 0; i < record.frames.size(); ++i) {
    const HeardFrame& f = record.frames[i];
    if (f.match == Match::Noise) {
      // The station and function passed over: a damaged or cut copy, unless the "function" was
      // the first byte of a frame found right behind a lone byte.
      if (w.doubtNext) w.doubtAhead = true;
      w.doubtNext = f.ours;
      if (f.damagedRequest && looksForCopy()) {
        w.damaged = w.damagedCopy = true;
      } else if (f.damaged) {
        w.damaged = true;
        if (f.ours) w.NoteBehind();
      }
      continue;
    }
    w.doubtNext = false;
    switch (f.match) {
      case Match::Request:
        if (!request.answerRepeats || looksForCopy()) {
          w.copySeen = true;
          continue;
        }
        // Too early for the drive's answer: a copy again (a line that sends it twice).
        if (TooEarlyForAnswer(line, f.at)) {
          w.earlyCopy = true;
          if (!w.early) w.early = i;
          continue;
        }
        if (const auto refusal = refusalBehind(i)) {
          w.copySeen = true;
          return take(*refusal, Verdict::Refusal);
        }
        if (w.held && !w.stationBehind) {
          // The held frame and this one: copy and answer, or the answer twice.
          w.NoteDrive();
          out.verdict = Verdict::Answer;
          out.taken = i;
          out.evidence = LineEvidence::None;
          out.lookBehind = true;
          return out;
        }
        if (quiet && !w.held && !w.earlyCopy) {
          w.held = i;
          continue;
        }
        take(i, Verdict::Answer);
        out.lookBehind = true;
        return out;
      case Match::Answer:
        w.NoteBehind();
        return take(i, Verdict::Answer);
      case Match::Refusal:
        w.NoteBehind();
        return take(i, Verdict::Refusal);
      case Match::OtherValue:
        // A drive that stored something else, or the answer to an earlier write to the address.
        w.NoteBehind();
        w.NoteDrive();
        w.otherValue = true;
        continue;
      default:
        continue;
    }
  }
  const bool heldAlone = w.held && !w.stationBehind && !record.ourFrameComing;
  if (!record.ended) {
    if (heldAlone) out.endBy = record.frames[*w.held].at + line.turnaround + line.frameGap;
    const bool damagedLast = std::any_of(record.frames.begin(), record.frames.end(), [&](const HeardFrame& f) {
      return f.damaged && f.offset + f.length == record.received;
    });
    if (damagedLast || record.damagedComing)
      out.endBy = std::min(out.endBy.value_or(LineMicros::max()), record.lastByteAt + kFrameEnds);
    return out;
  }
  // A frame that came too early for the drive's answer and nothing of the drive behind it: the
  // copy of a write the drive ignored, or an answer that came sooner than the drive ever did
  // while Link learnt the line. The read behind it tells them apart by the value.
  // So does one with a frame of the station behind it that never came whole.
  if (!heldAlone && w.early && !w.held && !w.driveSpoke && !w.damaged) w.held = w.early;
  if (w.held && !w.stationBehind) {
    w.NoteDrive();
    out.verdict = Verdict::Held;
    out.taken = *w.held;
    out.valueOnly = record.ourFrameComing || TooEarlyForAnswer(line, record.frames[*w.held].at);
    out.evidence = w.Showing(request.answerRepeats);
    return out;
  }
  out.evidence = w.Showing(request.answerRepeats);
  // Nothing heard of the station, not even a damaged, cut-short or differing reply: its reply
  // may still come. Where copies come, a copy that did not come may still be on its way too.
  if (!request.identification && !w.damaged && !record.cutShort && !w.otherValue) {
    out.guard = true;
    out.drainAgain = !quiet && !w.copySeen && !w.damagedCopy;
  }
  if (w.otherValue) {
    out.verdict = Verdict::OtherValue;
  } else if (request.answerRepeats && w.copySeen && line.echo == LineEcho::Unknown && !w.damaged) {
    // A word or coil write's copy with nothing of the drive behind it, on a line known neither
    // way: the copy of a silent drive's request or the answer itself; another try could not tell.
    out.verdict = Verdict::Unsure;
  } else if (!request.identification && record.wrongLength) {
    out.verdict = Verdict::WrongLength;
  } else {
    out.verdict = Verdict::Nothing;
  }
  return out;
}

// The read asks for the register (function 3) or coil (function 1) written, so that any frame of
// the drive answers it. A refusal of the write in either record is the refusal; the write's frame
// again is the drive's answer; a reply that carries the written value makes the write done
// whatever came before it. Otherwise the read's reply or refusal with nothing ahead shows the
// line as learnt: the held frame was the drive's answer (a register that reads back another value
// than written, as a password or command word, is written all the same). Its copy ahead shows
// that the line echoes: the held frame was the write's copy, and the drive's answer may still
// come. Nothing heard, or bytes that may be a damaged copy ahead, leave it unclear, and so does
// another value where only the value counts: behind a held frame that came too early for the
// drive's answer or had a frame of the station cut short behind it.
ConfirmOutcome DecideConfirmed(const LineView& line, const RequestView& write, const TryRecord& writeTry,
                               const TryRecord& readTry) {
  ConfirmOutcome out;
  const TryOutcome held = DecideTry(line, write, writeTry);
  const bool valueOnly = held.valueOnly;
  bool writeAnswered = false;
  for (const HeardFrame& f : readTry.frames) {
    if (f.match == Match::WriteRefusal) {
      out.verdict = Verdict::Refusal;
      out.code = static_cast<std::uint8_t>(f.data);
      out.evidence = LineEvidence::Copy;
      return out;
    }
    if (f.match == Match::WriteAnswer) writeAnswered = true;
  }
  RequestView read;
  read.function = write.function == 5 ? 1 : 3;
  const TryOutcome r = DecideTry(line, read, readTry);
  // The read's copy behind the write's held frame: two frames equal to the requests, the line echoes.
  out.evidence = r.evidence == LineEvidence::CopyAlone ? LineEvidence::Copy : r.evidence;
  if (writeAnswered) {
    out.verdict = Verdict::Answer;
    return out;
  }
  if (r.verdict == Verdict::Answer) {
    const std::uint16_t value = readTry.frames[*r.taken].data;
    const bool carries = write.function == 5 ? (value & 1) == write.written : value == write.written;
    if (carries) {
      out.verdict = Verdict::Answer;
      return out;
    }
  }
  if (!valueOnly && r.evidence == LineEvidence::DriveFirst &&
      (r.verdict == Verdict::Answer || r.verdict == Verdict::Refusal)) {
    out.verdict = Verdict::Answer;
    return out;
  }
  out.verdict = Verdict::Nothing;
  out.guard = out.evidence == LineEvidence::Copy;
  return out;
}

}  // namespace core
