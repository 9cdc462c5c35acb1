// One full tick of the monitor window for the test model with the most monitor items (KV100),
// against the simulated drive on a pseudo-terminal. The tick must cost no more than the wire
// time of its frames at the link's baud rate, plus the pauses every transaction must make
// before its request, plus 1 ms per transaction. Counters (per tick): tick_ms measured;
// budget_ms = wire_ms + pause_ms + transactions * 1 ms; within_budget 1 or 0.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "bench/bench_util.h"
#include "core/common.h"
#include "core/config.h"
#include "core/modbus.h"
#include "core/serial_link.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/live.h"
#include "tools/simdrive/pty_server.h"
#include "ui/drive/monitor_form.h"

namespace {

constexpr int kBaud = 19200;
constexpr int kTicks = 50;

// The monotonic clock, adding up every pause a transaction asks for.
class CountingClock : public core::PauseClock {
 public:
  TimePoint Now() override { return last_ = std::chrono::steady_clock::now(); }
  void SleepUntil(TimePoint until) override {
    if (until > last_) paused_ += until - last_;
    std::this_thread::sleep_until(until);
  }
  double PausedMs() const { return std::chrono::duration<double, std::milli>(paused_).count(); }
  void Reset() { paused_ = {}; }

 private:
  TimePoint last_{};
  std::chrono::steady_clock::duration paused_{};
};

void MonitorTickOverPseudoTerminal(benchmark::State& state) {
  auto& s = core::State();
  if (!core::LoadConfigurationFile(s, std::string(KV_TEST_DATA) + "/Kestravel.cfg") || s.Models.empty()) {
    state.SkipWithError("no test configuration");
    return;
  }
  simdrive::Drive drive("Kestravel", "KV100", "1.00");
  drive.AddStation(1);
  simdrive::LiveDrive live(drive, {1});
  live.UseModel(s.Models[0]);
  live.Step(1.0);
  std::atomic<long> frameBytes{0}, frames{0};
  drive.SetLog([&](const std::string& line) {
    // "hh:mm:ss.mmm RX 01 03 ..." : three characters per byte after the direction.
    const auto first = line.find(' ', 13);
    frameBytes += static_cast<long>((line.size() - first) / 3);
    if (line.find(" RX") != std::string::npos) ++frames;
  });
  simdrive::PtyServer server(drive);
  const auto com = bench::ServeAsCom1(server, state);
  if (!com) return;
  if (!core::OpenPort(1, kBaud, 8, 'N', 1)) {
    state.SkipWithError("cannot open the port");
  } else {
    s.LinkedStation = 1;
    s.LinkedModel = 1;
    CountingClock clock;
    core::SetPauseClock(&clock);
    ui::TMonitorForm form;
    form.comboPar->setCurrentIndex(0);
    double tickMs = 0, budgetMs = 0, wireMs = 0, pauseMs = 0, transactions = 0;
    for (auto _ : state) {
      clock.Reset();
      frameBytes = 0;
      frames = 0;
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < kTicks; ++i) form.TimerTimer();
      tickMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / kTicks;
      // 10 bits a byte on the wire (start, 8 data, stop), requests and replies.
      wireMs = static_cast<double>(frameBytes) * 10.0 * 1000.0 / kBaud / kTicks;
      pauseMs = clock.PausedMs() / kTicks;
      transactions = static_cast<double>(frames) / kTicks;
      budgetMs = wireMs + pauseMs + transactions * 1.0;
    }
    form.Timer()->stop();
    core::SetPauseClock(nullptr);
    state.counters["tick_ms"] = tickMs;
    state.counters["budget_ms"] = budgetMs;
    state.counters["wire_ms"] = wireMs;
    state.counters["pause_ms"] = pauseMs;
    state.counters["transactions"] = transactions;
    state.counters["within_budget"] = tickMs <= budgetMs ? 1 : 0;
  }
  core::ClosePort();
  server.Stop();
}

BENCHMARK(MonitorTickOverPseudoTerminal)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
