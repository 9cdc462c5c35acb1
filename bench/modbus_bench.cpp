// 500 ReadWord transactions against the simulated drive on a pseudo-terminal. The counter
// "overhead_ms" is the time per transaction beyond the 2 ms pause that must precede every
// ReadWord request: framing, CRC, port calls, the drive's turn-around on the pseudo-terminal.
// And 200 WriteWord transactions after Link learnt the line (no echo): "median_ms" is the
// median time of one good write, its 5 ms pause, the listening behind its answer and the read
// that confirms it included (under 10 ms wanted), and the same with a drive that answers 20 to
// 25 ms late.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "core/common.h"
#include "core/modbus.h"
#include "core/serial_link.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/pty_server.h"

namespace {

constexpr int kTransactions = 500;
constexpr double kPauseMs = 2.0;

void ReadWordOverPseudoTerminal(benchmark::State& state) {
  simdrive::Drive drive("Kestravel", "KV100", "1.00");
  drive.AddStation(1);
  drive.SetHolding(1, 1000, 0x1234);
  simdrive::PtyServer server(drive);
  const auto com = bench::ServeAsCom1(server, state);
  if (!com) return;
  if (!core::OpenPort(1, 19200, 8, 'N', 1)) {
    state.SkipWithError("cannot open the port");
  } else {
    double overheadMs = 0;
    for (auto _ : state) {
      auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < kTransactions; ++i) {
        std::uint32_t value = 0;
        if (core::ReadWord(1, 1000, 1, value) != 0 || value != 0x1234) {
          state.SkipWithError("a transaction failed");
          break;
        }
      }
      std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
      overheadMs = took.count() / kTransactions - kPauseMs;
    }
    state.counters["overhead_ms"] = overheadMs;
    state.counters["transactions"] = kTransactions;
  }
  core::ClosePort();
}

BENCHMARK(ReadWordOverPseudoTerminal)->Iterations(1)->Unit(benchmark::kMillisecond);

// Link, then 200 word writes. The drive answers every request from lateMs to lateMs + spreadMs
// late (write i: lateMs + i mod (spreadMs + 1)); lateMs 0: at once.
void WriteWordsAfterLink(benchmark::State& state, int lateMs, int spreadMs) {
  constexpr int kWrites = 200;
  simdrive::Drive drive("Kestravel", "KV100", "1.00");
  drive.AddStation(1);
  auto late = [&](int i) {
    if (lateMs > 0)
      drive.SetFault({simdrive::FaultKind::Delay, lateMs + (spreadMs > 0 ? i % (spreadMs + 1) : 0), -1, 0});
  };
  late(0);
  simdrive::PtyServer server(drive);
  const auto com = bench::ServeAsCom1(server, state);
  if (!com) return;
  if (!core::OpenPort(1, 19200, 8, 'N', 1) || core::ReadDeviceId(1) != 0 || core::SettleLineEcho(1) != 0 ||
      core::PortLineEcho() != core::LineEcho::Quiet) {
    state.SkipWithError("cannot link the drive");
  } else {
    std::vector<double> ms;
    for (auto _ : state) {
      for (int i = 0; i < kWrites; ++i) {
        late(i);
        const auto start = std::chrono::steady_clock::now();
        if (core::WriteWord(1, 200, static_cast<std::uint16_t>(i)) != 0 || drive.Holding(1, 200) != i) {
          state.SkipWithError("a write failed");
          break;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      }
    }
    if (!ms.empty()) {
      state.counters["median_ms"] = bench::Median(ms);
      state.counters["turnaround_ms"] = std::chrono::duration<double, std::milli>(core::PortTurnaround()).count();
    }
  }
  core::ClosePort();
}

void WriteWordAfterLinkOverPseudoTerminal(benchmark::State& state) { WriteWordsAfterLink(state, 0, 0); }

// A drive that answers 20 to 25 ms late.
void WriteWordToALateDriveOverPseudoTerminal(benchmark::State& state) { WriteWordsAfterLink(state, 20, 5); }

BENCHMARK(WriteWordAfterLinkOverPseudoTerminal)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteWordToALateDriveOverPseudoTerminal)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
