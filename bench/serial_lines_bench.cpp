// What a service engineer waits for on the three kinds of line the README names, over a
// pseudo-terminal with the simulated drive started as `scripts/run --simulated` starts it (the
// demonstration configuration's KV100 at station 1): Link (the identification and the learning
// of the line) and a Write of the whole document of the model's defaults, as Operation > Write
// does it (a write that may have been done is read back; one the drive holds counts as done).
// Lines: plain; echoing (--echo-line); lossy (an echoing line that loses a third of the copies
// and damages one in ten: --echo-line --copy-loss 33 --copy-damage 10). Counters: link_ms and
// write_s (medians of the rounds), params, failed (writes reported failed, summed over the
// rounds), wrong (writes reported done that the drive does not hold: must be 0), read_backs.
// Line 3 is the plain line with Link to a station nobody answers (link_ms until it gives up).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "core/common.h"
#include "core/config.h"
#include "core/modbus.h"
#include "core/param_access.h"
#include "core/serial_link.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/options.h"
#include "tools/simdrive/pty_server.h"

namespace {

constexpr int kRounds = 5;

void LinkAndWriteTheDocument(benchmark::State& state) {
  static const char* const kLines[4][5] = {
      {"--quiet", "", "", "", ""},
      {"--echo-line", "", "", "", ""},
      {"--echo-line", "--copy-loss", "33", "--copy-damage", "10"},
      {"--quiet", "", "", "", ""}};  // Link to station 9, which nobody answers
  const bool absent = state.range(0) == 3;
  std::vector<std::string> args{"simdrive", "--config", KV_DEMO_CONFIG};
  for (const char* a : kLines[state.range(0)])
    if (*a) args.emplace_back(a);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  simdrive::Options options;
  std::string error;
  if (!simdrive::ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  auto& s = core::State();
  if (!core::LoadConfigurationFile(s, KV_DEMO_CONFIG)) {
    state.SkipWithError("cannot read the demonstration configuration");
    return;
  }
  s.Document.clear();
  for (const auto& d : s.ParamDefs)
    if (d.model == 1 && d.editable != 0) s.Document.push_back(d);
  for (auto& d : s.Document) d.value = d.defaultValue;

  std::vector<double> linkMs, writeS;
  int failed = 0, wrong = 0, readBacks = 0;
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      simdrive::Drive drive(options.vendor, options.product, options.revision);
      if (!simdrive::Configure(drive, options, error)) {
        state.SkipWithError(error.c_str());
        return;
      }
      // Another value than the document's in every register, so that each write changes it.
      for (const auto& d : s.Document) drive.SetHolding(1, static_cast<std::uint16_t>(d.reg), 0x5A5A);
      simdrive::PtyServer server(drive);
      options.line.seed = static_cast<unsigned>(round + 1);
      server.SetLineFaults(options.line);
      const auto com = bench::ServeAsCom1(server, state);
      if (!com) return;
      if (!core::OpenPort(1, 19200, 8, 'N', 1)) {
        state.SkipWithError("cannot open the port");
        return;
      }
      auto start = std::chrono::steady_clock::now();
      if (absent) {
        if (core::ReadDeviceId(9) == 0) state.SkipWithError("station 9 answered");
        linkMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        core::ClosePort();
        continue;
      }
      if (core::ReadDeviceId(1) != 0 || core::SettleLineEcho(1) != 0) {
        state.SkipWithError("Link failed");
        core::ClosePort();
        return;
      }
      linkMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      start = std::chrono::steady_clock::now();
      std::vector<int> done;
      for (int i = 0; i < static_cast<int>(s.Document.size()); ++i) {
        const float value = s.Document[static_cast<std::size_t>(i)].value;
        core::TransactionResult r = core::WriteParam(1, i, value);
        if (core::WriteMayHaveBeenDone(r)) {
          ++readBacks;
          if (core::ReadParamBack(1, i, value).holdsWritten) r = 0;
        }
        if (r == 0)
          done.push_back(i);
        else
          ++failed;
      }
      writeS.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      core::ClosePort();
      server.Stop();
      // Every write reported done must be in the drive: read over a plain line of its own.
      simdrive::PtyServer plain(drive);
      const auto check = bench::ServeAsCom1(plain, state);
      if (!check || !core::OpenPort(1, 19200, 8, 'N', 1) || core::ReadDeviceId(1) != 0 || core::SettleLineEcho(1) != 0) {
        state.SkipWithError("cannot check the drive");
        core::ClosePort();
        return;
      }
      for (int i : done)
        if (!core::ReadParamBack(1, i, s.Document[static_cast<std::size_t>(i)].value).holdsWritten) ++wrong;
      core::ClosePort();
    }
  }
  state.counters["link_ms"] = bench::Median(linkMs);
  state.counters["write_s"] = bench::Median(writeS);
  state.counters["write_s_max"] = writeS.empty() ? 0 : *std::max_element(writeS.begin(), writeS.end());
  state.counters["params"] = static_cast<double>(s.Document.size());
  state.counters["failed"] = failed;
  state.counters["wrong"] = wrong;
  state.counters["read_backs"] = readBacks;
}

BENCHMARK(LinkAndWriteTheDocument)->ArgName("line")->DenseRange(0, 3)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
