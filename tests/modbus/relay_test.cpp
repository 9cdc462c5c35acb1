// The transactions over a real pseudo-terminal whose far end is a relay to the simulated drive
// that plays a script of line faults, one per request: replies late within the guard, replies
// of another station ahead of the answer or in its place, damaged CRCs, dropped bytes, lost
// requests; on a line that echoes every request, or not. The test decides on what happened: a
// value read must be the drive's, a write reported done must be held by the drive, and an
// operation whose own reply reached the line sound and in time must succeed.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "core/common.h"
#include "core/modbus.h"
#include "core/serial_link.h"
#include "tools/simdrive/drive.h"

namespace kvtest {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

enum class Fate { Sound, Late, BadCrc, DropByte, Lost, ForeignAhead, ForeignOnly };

struct Step {
  Fate fate;
  int lateMs = 0;
};

// What the relay did with one request.
struct Record {
  Fate fate = Fate::Sound;
  Clock::time_point replied{};  // when the drive's reply went on the line (Sound, ForeignAhead)
};

void PutCrc(Bytes& b) {
  std::uint16_t crc = simdrive::Crc(b.data(), b.size());
  b.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  b.push_back(static_cast<std::uint8_t>(crc >> 8));
}

class Relay {
 public:
  // echo: every byte the master writes comes back at once.
  Relay(simdrive::Drive& drive, std::vector<Step> script, bool echo)
      : drive_(drive), script_(std::move(script)), echo_(echo) {}
  ~Relay() { Stop(); }

  bool Start() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0)
      return false;
    path_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) return false;
    termios t;
    if (tcgetattr(slave_, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(slave_, TCSANOW, &t);
    }
    thread_ = std::thread([this] { Run(); });
    return true;
  }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int* fd : {&master_, &slave_}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  }
  const std::string& Path() const { return path_; }
  std::vector<Record> Records() {
    std::lock_guard lock(mutex_);
    return records_;
  }

 private:
  // Sleeps ms unless the relay stops meanwhile.
  void Sleep(int ms) {
    auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!stop_ && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  void Put(const Bytes& b) { (void)!::write(master_, b.data(), b.size()); }

  // The request at the front of the buffer: its length once known (0 while unknown).
  static std::size_t RequestLength(const Bytes& in) {
    if (in.size() < 2) return 0;
    if (in[1] == 16) return in.size() < 7 ? 0 : 9u + in[6];
    return in[1] == 0x2B ? 7 : 8;
  }

  void Serve(const Bytes& request) {
    const Step step = script_[next_++ % script_.size()];
    Record record;
    record.fate = step.fate;
    if (step.fate != Fate::Lost) {
      auto replies = drive_.Receive(request.data(), request.size());
      Bytes reply = replies.empty() ? Bytes{} : replies[0].bytes;
      Bytes foreign = reply;
      if (foreign.size() > 4) {
        foreign.resize(foreign.size() - 2);
        foreign[0] = 7;
        foreign.back() ^= 0x5A;
        PutCrc(foreign);
      }
      switch (step.fate) {
        case Fate::Late: Sleep(step.lateMs); break;
        case Fate::BadCrc: reply.back() ^= 0x5A; break;
        case Fate::DropByte: reply.erase(reply.begin() + 3); break;
        case Fate::ForeignAhead:
        case Fate::ForeignOnly: Put(foreign); break;
        default: break;
      }
      if (step.fate != Fate::ForeignOnly) Put(reply);
      record.replied = Clock::now();
    }
    std::lock_guard lock(mutex_);
    records_.push_back(record);
  }

  void Run() {
    Bytes in;
    std::uint8_t buffer[256];
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) continue;
      if (echo_) Put(Bytes(buffer, buffer + n));
      in.insert(in.end(), buffer, buffer + n);
      for (std::size_t length = RequestLength(in); length > 0 && in.size() >= length; length = RequestLength(in)) {
        Serve(Bytes(in.begin(), in.begin() + static_cast<long>(length)));
        in.erase(in.begin(), in.begin() + static_cast<long>(length));
      }
    }
  }

  simdrive::Drive& drive_;
  std::vector<Step> script_;
  bool echo_ = false;
  std::size_t next_ = 0;
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Record> records_;
};

// The master's side of the line: a termios port that notes when each request has left.
class TimedLink : public platform::ByteLink {
 public:
  explicit TimedLink(std::unique_ptr<platform::SerialPort> port) : port_(std::move(port)) {}
  std::size_t Write(const std::uint8_t* data, std::size_t n) override { return port_->Write(data, n); }
  void Drain() override {
    port_->Drain();
    sent_.push_back(Clock::now());
  }
  std::size_t ReadWithin(std::uint8_t* buffer, std::size_t n, int timeoutMs) override {
    return port_->ReadWithin(buffer, n, timeoutMs);
  }
  void Purge() override { port_->Purge(); }
  const std::vector<Clock::time_point>& Sent() const { return sent_; }

 private:
  std::unique_ptr<platform::SerialPort> port_;
  std::vector<Clock::time_point> sent_;
};

// Reads of other registers and writes in pairs to one register: long writes on a line without
// echo (function 16 echoes no value, so a late echo of the write before would pass for the
// answer), word writes on a line that echoes (the copy of the request is no answer).
void PlayScript(bool echo) {
  core::ResetState();
  simdrive::Drive drive("Kestravel", "KV100", "1.00");
  drive.AddStation(1);
  for (std::uint16_t r = 0; r < 8; ++r) drive.SetHolding(1, static_cast<std::uint16_t>(100 + r), 0x1000 + r);
  // Late replies come 100 to 250 ms after the request: past the read time-outs used here (71
  // and 74 ms), within the guard that follows them.
  // On the echoing line every fault once, and both tries of a write lost.
  const std::vector<Step> script = echo ? std::vector<Step>{
      {Fate::Sound}, {Fate::Late, 150}, {Fate::Sound}, {Fate::Lost}, {Fate::Lost}, {Fate::Sound}, {Fate::ForeignAhead},
      {Fate::DropByte}, {Fate::Sound}, {Fate::Late, 120}, {Fate::Sound}, {Fate::BadCrc}, {Fate::Sound}, {Fate::Sound},
      {Fate::ForeignOnly}, {Fate::Sound}, {Fate::ForeignOnly}, {Fate::Sound}, {Fate::Sound}} : std::vector<Step>{
      {Fate::Sound},       {Fate::Late, 150}, {Fate::Sound},        {Fate::BadCrc},     {Fate::Sound},
      {Fate::Lost},        {Fate::Lost},      {Fate::Sound},        {Fate::ForeignAhead}, {Fate::DropByte},
      {Fate::Sound},       {Fate::ForeignOnly}, {Fate::Sound},      {Fate::Late, 250},  {Fate::Late, 100},
      {Fate::Sound},       {Fate::Sound},     {Fate::Lost},         {Fate::BadCrc},     {Fate::Sound},
      {Fate::DropByte},    {Fate::DropByte},  {Fate::Sound},        {Fate::Late, 200},  {Fate::Sound},
      {Fate::ForeignOnly}, {Fate::Sound},     {Fate::Sound},        {Fate::Late, 120},  {Fate::Lost},
      {Fate::Sound},
  };
  Relay relay(drive, script, echo);
  ASSERT_TRUE(relay.Start());
  auto serial = std::make_unique<platform::SerialPort>();
  ASSERT_TRUE(serial->Open(relay.Path(), {}));
  auto timed = std::make_unique<TimedLink>(std::move(serial));
  TimedLink* link = timed.get();
  core::OpenPortOn(std::move(timed));

  struct Operation {
    std::size_t firstRequest, endRequest;
    core::TransactionResult result;
  };
  std::vector<Operation> operations;
  // Operations of one shape come in pairs, so that a late reply to the first would fit the
  // second.
  for (std::uint32_t i = 0; i < (echo ? 12u : 40u); ++i) {
    const std::size_t first = link->Sent().size();
    core::TransactionResult result = 0;
    if (i / 2 % 2 == 0) {
      const std::uint16_t r = static_cast<std::uint16_t>(100 + i % 7);
      std::uint32_t v = 0;
      result = core::ReadWord(1, r, 1, v);
      if (result == 0) {
        EXPECT_EQ(v, drive.Holding(1, r)) << "operation " << i;
      }
    } else {
      result = echo ? core::WriteWord(1, 200, static_cast<std::uint16_t>(i)) : core::WriteLong(1, 200, 0x10001 * i);
      if (result == 0) {
        EXPECT_EQ(drive.Holding(1, 200), i) << "operation " << i;
        EXPECT_EQ(drive.Holding(1, 201), echo ? 0u : i) << "operation " << i;
      }
    }
    operations.push_back({first, link->Sent().size(), result});
  }
  const std::vector<Clock::time_point> sent = link->Sent();
  core::ClosePort();  // frees the link
  relay.Stop();

  // Every request reached the relay, in order; an operation failed only when none of its
  // requests had its sound reply on the line before the read time-out.
  const std::vector<Record> records = relay.Records();
  ASSERT_EQ(records.size(), sent.size());
  EXPECT_GE(records.size(), script.size());  // the whole script was played
  for (std::size_t i = 0; i < operations.size(); ++i) {
    const Operation& op = operations[i];
    if (op.result == 0) continue;
    for (std::size_t k = op.firstRequest; k < op.endRequest; ++k) {
      const Record& rec = records[k];
      if (rec.fate != Fate::Sound && rec.fate != Fate::ForeignAhead) continue;
      const auto inTime = std::chrono::milliseconds(platform::ReadTimeoutMs(7) - 10);
      EXPECT_GE(rec.replied - sent[k], inTime)
          << "operation " << i << " failed with " << op.result << " though request " << k << " was answered soundly";
    }
  }
  core::ResetState();
}

TEST(RelayTest, ScriptedLineFaultsGiveNoWrongValueNoFalseWriteAndNoNeedlessFailure) { PlayScript(false); }

TEST(RelayTest, OnAnEchoingLineTooAndNoWriteIsTakenFromItsCopy) { PlayScript(true); }

}  // namespace
}  // namespace kvtest
