#include "tools/simdrive/drive.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace simdrive {

namespace {

std::array<std::uint16_t, 256> MakeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned v = i;
    for (int k = 0; k < 8; ++k) v = (v & 1) ? (v >> 1) ^ 0xA001u : v >> 1;
    table[i] = static_cast<std::uint16_t>(v);
  }
  return table;
}

void AppendCrc(std::vector<std::uint8_t>& frame) {
  std::uint16_t crc = Crc(frame.data(), frame.size());
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

std::uint16_t Word(const std::vector<std::uint8_t>& f, std::size_t at) {
  return static_cast<std::uint16_t>(f[at] << 8 | f[at + 1]);
}

void PutWord(std::vector<std::uint8_t>& f, std::uint16_t v) {
  f.push_back(static_cast<std::uint8_t>(v >> 8));
  f.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

std::vector<std::uint8_t> ExceptionFrame(std::uint8_t station, std::uint8_t function, int code) {
  std::vector<std::uint8_t> f{station, static_cast<std::uint8_t>(function | 0x80), static_cast<std::uint8_t>(code)};
  AppendCrc(f);
  return f;
}

std::string TimeStamp() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
  return buffer;
}

}  // namespace

std::uint16_t Crc(const std::uint8_t* data, std::size_t n) {
  static const std::array<std::uint16_t, 256> table = MakeCrcTable();
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < n; ++i) crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ data[i]) & 0xFF]);
  return crc;
}

Drive::Drive(std::string vendor, std::string product, std::string revision)
    : vendor_(std::move(vendor)), product_(std::move(product)), revision_(std::move(revision)) {}

void Drive::AddStation(int station) {
  std::lock_guard lock(mutex_);
  stations_[station];
}

bool Drive::Serves(int station) const {
  std::lock_guard lock(mutex_);
  return stations_.count(station) != 0;
}

void Drive::SetHolding(int station, std::uint16_t address, std::uint16_t value) {
  std::lock_guard lock(mutex_);
  stations_[station].holding[address] = value;
}

void Drive::SetInput(int station, std::uint16_t address, std::uint16_t value) {
  std::lock_guard lock(mutex_);
  stations_[station].input[address] = value;
}

void Drive::SetCoil(int station, std::uint16_t address, bool on) {
  std::lock_guard lock(mutex_);
  stations_[station].coils[address] = on;
}

std::uint16_t Drive::Holding(int station, std::uint16_t address) const {
  std::lock_guard lock(mutex_);
  auto s = stations_.find(station);
  if (s == stations_.end()) return 0;
  auto v = s->second.holding.find(address);
  return v == s->second.holding.end() ? 0 : v->second;
}

std::uint16_t Drive::Input(int station, std::uint16_t address) const {
  std::lock_guard lock(mutex_);
  auto s = stations_.find(station);
  if (s == stations_.end()) return 0;
  auto v = s->second.input.find(address);
  return v == s->second.input.end() ? 0 : v->second;
}

bool Drive::Coil(int station, std::uint16_t address) const {
  std::lock_guard lock(mutex_);
  auto s = stations_.find(station);
  if (s == stations_.end()) return false;
  auto v = s->second.coils.find(address);
  return v != s->second.coils.end() && v->second;
}

void Drive::SetProduct(const std::string& product) {
  std::lock_guard lock(mutex_);
  product_ = product;
}

void Drive::SetProfileMotion(bool on) {
  std::lock_guard lock(mutex_);
  profileMotion_ = on;
}

void Drive::ApplyProfile(Station& station) {
  auto& h = station.holding;
  const std::uint16_t mode = h[910], flags = h[911];
  h[1] = mode & 7;
  h[2] = (mode >> 3) & 7;
  h[3] = (mode >> 6) & 7;
  if (mode >> 9) h[257] = static_cast<std::uint16_t>(mode >> 9);
  const bool home = flags & 8;
  const std::uint16_t accel = h[912], decel = h[913], speed = h[914], w915 = h[915], w916 = h[916];
  switch (h[3]) {
    case 1:
    case 2:
      h[16] = accel;
      h[17] = decel;
      h[4] = speed;
      if (h[3] == 2) h[5] = w915;
      break;
    case 3: {
      const std::uint16_t first = home ? 262 : 30, speedAt = home ? 260 : 32, positionAt = home ? 258 : 34;
      h[first] = accel;
      h[static_cast<std::uint16_t>(first + 1)] = decel;
      h[speedAt] = speed;
      h[positionAt] = w915;
      h[static_cast<std::uint16_t>(positionAt + 1)] = w916;
      break;
    }
    default:
      break;
  }
  std::uint16_t status = h[900];
  const bool enabled = flags & 1, running = enabled && (flags & 2);
  status = static_cast<std::uint16_t>(status & ~0x0033u);
  if (enabled) status |= 0x0001;
  if (running) status |= 0x0002;
  if (enabled && !running) status |= 0x0010;
  if (running && home) status |= 0x0020;
  if (flags & 4) status &= static_cast<std::uint16_t>(~0x0380u);
  h[900] = status;
}

void Drive::SetMotorTable(std::uint16_t first, int count) {
  std::lock_guard lock(mutex_);
  motorFirst_ = first;
  motorCount_ = count;
}

std::vector<std::uint16_t> Drive::MotorRecord(int station, int i) const {
  std::lock_guard lock(mutex_);
  auto st = stations_.find(station);
  if (st != stations_.end()) {
    auto r = st->second.motorRecords.find(i);
    if (r != st->second.motorRecords.end()) return r->second;
  }
  return std::vector<std::uint16_t>(16, 0xFFFF);
}

int Drive::MotorWrites() const {
  std::lock_guard lock(mutex_);
  return motorWrites_;
}

void Drive::SetFault(const Fault& fault) {
  std::lock_guard lock(mutex_);
  fault_ = fault;
}

void Drive::SetLog(std::function<void(const std::string&)> log) {
  std::lock_guard lock(mutex_);
  log_ = std::move(log);
}

int Drive::RequestCount() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void Drive::ResetFraming() {
  std::lock_guard lock(mutex_);
  pending_.clear();
}

void Drive::Log(const char* direction, const std::vector<std::uint8_t>& bytes) {
  if (!log_) return;
  std::string line = TimeStamp() + " " + direction;
  char hex[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(hex, sizeof hex, " %02X", b);
    line += hex;
  }
  log_(line);
}

long Drive::FrameLength() const {
  if (pending_.size() < 2) return 0;
  switch (pending_[1]) {
    case 1: case 2: case 3: case 4: case 5: case 6:
      return 8;
    case 15: case 16:
      return pending_.size() < 7 ? 0 : 9 + static_cast<long>(pending_[6]);
    case 43:
      if (pending_.size() < 3) return 0;
      return pending_[2] == 0x0E ? 7 : -1;
    default:
      return -1;
  }
}

std::vector<Reply> Drive::Receive(const std::uint8_t* data, std::size_t n) {
  std::lock_guard lock(mutex_);
  pending_.insert(pending_.end(), data, data + n);
  std::vector<Reply> replies;
  for (;;) {
    long length = FrameLength();
    if (length < 0) {
      pending_.erase(pending_.begin());
      continue;
    }
    if (length == 0 || static_cast<std::size_t>(length) > pending_.size()) break;
    std::vector<std::uint8_t> frame(pending_.begin(), pending_.begin() + length);
    std::uint16_t crc = Crc(frame.data(), frame.size() - 2);
    if (frame[frame.size() - 2] != (crc & 0xFF) || frame[frame.size() - 1] != (crc >> 8)) {
      // Not a frame after all: resynchronise one byte further on.
      pending_.erase(pending_.begin());
      continue;
    }
    pending_.erase(pending_.begin(), pending_.begin() + length);
    Log("RX", frame);
    Reply reply;
    if (Answer(frame, reply)) {
      Log(reply.delayMs > 0 ? "TX (delayed)" : "TX", reply.bytes);
      replies.push_back(std::move(reply));
    }
  }
  return replies;
}

bool Drive::Answer(const std::vector<std::uint8_t>& request, Reply& reply) {
  if (stations_.count(request[0]) == 0) return false;  // another station's request, or broadcast
  ++requests_;
  Fault fault;
  if (fault_.kind != FaultKind::None && fault_.count != 0 && (fault_.function == 0 || fault_.function == request[1])) {
    fault = fault_;
    if (fault_.count > 0 && --fault_.count == 0) fault_ = Fault{};
  }
  if (fault.kind == FaultKind::Ignore) return false;
  // A refusal is the drive's whole answer: the request it refuses changes nothing.
  if (fault.kind == FaultKind::Exception) {
    reply.bytes = ExceptionFrame(request[0], request[1], fault.arg);
    return true;
  }
  reply.bytes = Execute(request);
  if (fault.kind == FaultKind::Silence) return false;
  ApplyFault(fault, request, reply);
  return true;
}

std::vector<std::uint8_t> Drive::Execute(const std::vector<std::uint8_t>& q) {
  const std::uint8_t st = q[0], fc = q[1];
  Station& station = stations_[st];
  std::vector<std::uint8_t> r{st, fc};
  if (fc == 43) {
    const std::uint8_t code = q[3], object = q[4];
    if (code < 1 || code > 4) return ExceptionFrame(st, fc, 3);
    const std::string* texts[3] = {&vendor_, &product_, &revision_};
    int first = 0, last = 2;
    if (code == 4) {
      if (object > 2) return ExceptionFrame(st, fc, 2);
      first = last = object;
    }
    r.insert(r.end(), {0x0E, code, 2, 0, 0, static_cast<std::uint8_t>(last - first + 1)});
    for (int id = first; id <= last; ++id) {
      std::size_t length = texts[id]->size() < 60 ? texts[id]->size() : 60;
      r.push_back(static_cast<std::uint8_t>(id));
      r.push_back(static_cast<std::uint8_t>(length));
      r.insert(r.end(), texts[id]->begin(), texts[id]->begin() + static_cast<long>(length));
    }
    AppendCrc(r);
    return r;
  }
  const std::uint16_t address = Word(q, 2);
  const std::uint16_t field = Word(q, 4);
  switch (fc) {
    case 1: {
      if (field < 1 || field > 2000) return ExceptionFrame(st, fc, 3);
      if (address + field > 0x10000) return ExceptionFrame(st, fc, 2);
      std::vector<std::uint8_t> bits((field + 7) / 8, 0);
      for (unsigned i = 0; i < field; ++i) {
        auto c = station.coils.find(static_cast<std::uint16_t>(address + i));
        if (c != station.coils.end() && c->second) bits[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
      }
      r.push_back(static_cast<std::uint8_t>(bits.size()));
      r.insert(r.end(), bits.begin(), bits.end());
      break;
    }
    case 3:
    case 4: {
      if (field < 1 || field > 125) return ExceptionFrame(st, fc, 3);
      if (address + field > 0x10000) return ExceptionFrame(st, fc, 2);
      auto& space = fc == 3 ? station.holding : station.input;
      r.push_back(static_cast<std::uint8_t>(2 * field));
      // A motor record reads back as it was written: 16 registers at its place in the table.
      if (fc == 3 && motorCount_ > 0 && field == 16 && address >= motorFirst_ && address < motorFirst_ + motorCount_) {
        auto record = station.motorRecords.find(address - motorFirst_);
        for (unsigned i = 0; i < 16; ++i) PutWord(r, record == station.motorRecords.end() ? 0xFFFF : record->second[i]);
        break;
      }
      for (unsigned i = 0; i < field; ++i) {
        auto v = space.find(static_cast<std::uint16_t>(address + i));
        PutWord(r, v == space.end() ? 0 : v->second);
      }
      break;
    }
    case 5:
      if (field != 0xFF00 && field != 0x0000) return ExceptionFrame(st, fc, 3);
      station.coils[address] = field == 0xFF00;
      r.assign(q.begin(), q.begin() + 6);
      break;
    case 6:
      station.holding[address] = field;
      r.assign(q.begin(), q.begin() + 6);
      break;
    case 16: {
      if (field < 1 || field > 123 || q[6] != 2 * field) return ExceptionFrame(st, fc, 3);
      if (address + field > 0x10000) return ExceptionFrame(st, fc, 2);
      if (motorCount_ > 0 && field == 16 && address >= motorFirst_ && address < motorFirst_ + motorCount_) {
        std::vector<std::uint16_t> words(16);
        for (unsigned i = 0; i < 16; ++i) words[i] = Word(q, 7 + 2 * i);
        station.motorRecords[address - motorFirst_] = std::move(words);
        ++motorWrites_;
        r.assign(q.begin(), q.begin() + 6);
        break;
      }
      for (unsigned i = 0; i < field; ++i) station.holding[static_cast<std::uint16_t>(address + i)] = Word(q, 7 + 2 * i);
      if (profileMotion_ && address == 910 && field == 7) ApplyProfile(station);
      r.assign(q.begin(), q.begin() + 6);
      break;
    }
    default:
      return ExceptionFrame(st, fc, 1);
  }
  AppendCrc(r);
  return r;
}

void Drive::ApplyFault(const Fault& fault, const std::vector<std::uint8_t>& request, Reply& reply) const {
  auto& b = reply.bytes;
  auto recrc = [&b] {
    b.resize(b.size() - 2);
    AppendCrc(b);
  };
  switch (fault.kind) {
    case FaultKind::BadCrc:
      b.back() ^= 0x5A;
      break;
    case FaultKind::Echo:
      b = request;
      break;
    case FaultKind::WrongValue:
    case FaultKind::WrongQuantity:
      // The byte before the CRC: the low byte of the echoed value (5, 6) or quantity (16), or
      // of the last register or coil byte read.
      if (b.size() >= 5) {
        b[b.size() - 3] ^= 0x01;
        recrc();
      }
      break;
    case FaultKind::Length:
      b.resize(b.size() - 2);
      if (fault.arg > 0) b.insert(b.end(), static_cast<std::size_t>(fault.arg), 0);
      else b.resize(b.size() > static_cast<std::size_t>(-fault.arg) ? b.size() - static_cast<std::size_t>(-fault.arg) : 0);
      AppendCrc(b);
      break;
    case FaultKind::Delay:
      reply.delayMs = fault.arg;
      break;
    default:
      break;
  }
}

}  // namespace simdrive
