// The settings store's batch write of many entries (the station titles and favourite lists of
// a large installation): its cost grows with the number of entries, not with its square.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/bench_util.h"
#include "platform/settings_store.h"

namespace {

void BM_SettingsBatchWrite(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const std::string folder = bench::TempFile("_settings");
  const std::string path = folder + "/settings";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(folder);
    state.ResumeTiming();
    platform::SettingsStore store(path);
    {
      platform::SettingsStore::Batch batch(store);
      for (int i = 0; i < entries; ++i) store.writeString("Entry" + std::to_string(i), "value " + std::to_string(i));
      if (!batch.finish()) state.SkipWithError("batch write failed");
    }
    // Read back through a second store: the file is parsed once, each name found by its index.
    platform::SettingsStore again(path);
    for (int i = 0; i < entries; i += 97) benchmark::DoNotOptimize(again.readString("ENTRY" + std::to_string(i)));
  }
  std::filesystem::remove_all(folder);
  state.SetComplexityN(entries);
}
BENCHMARK(BM_SettingsBatchWrite)->Arg(1000)->Arg(10000)->Arg(30000)->Complexity()->Unit(benchmark::kMillisecond);

}  // namespace
