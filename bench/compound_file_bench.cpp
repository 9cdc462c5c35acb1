// Writing a 20 MB compound file, against the time to copy 20 MB of memory.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/compound_file.h"

namespace {

constexpr std::size_t kBytes = 20u << 20;

void BM_Copy20MB(benchmark::State& state) {
  std::vector<std::uint8_t> from(kBytes, 0x5A), to(kBytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kBytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_Copy20MB)->Unit(benchmark::kMillisecond);

void BM_WriteCompoundFile20MB(benchmark::State& state) {
  platform::CompoundFileWriter w;
  w.StreamData(w.AddStream(0, u"Workbook")) = std::vector<std::uint8_t>(kBytes, 0x5A);
  w.StreamData(w.AddStream(0, u"\x05SummaryInformation")) = std::vector<std::uint8_t>(200, 1);
  for (auto _ : state) {
    platform::MemoryStream out;
    out.Bytes().reserve(kBytes + (1u << 20));
    if (!w.Save(out)) state.SkipWithError("save failed");
    benchmark::DoNotOptimize(out.Bytes().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_WriteCompoundFile20MB)->Unit(benchmark::kMillisecond);

void BM_ReadCompoundFile20MB(benchmark::State& state) {
  platform::CompoundFileWriter w;
  int id = w.AddStream(0, u"Workbook");
  w.StreamData(id) = std::vector<std::uint8_t>(kBytes, 0x5A);
  platform::MemoryStream file;
  w.Save(file);
  for (auto _ : state) {
    platform::CompoundFileReader r;
    std::vector<std::uint8_t> bytes;
    if (!r.Open(file.Bytes()) || !r.ReadStream(r.Find(0, u"Workbook"), bytes)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_ReadCompoundFile20MB)->Unit(benchmark::kMillisecond);

}  // namespace
