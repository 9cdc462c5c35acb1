// Printing a 500-parameter document: filling the print table and laying the parameter list
// out, writing it as a PDF, and opening the preview window (which lays out and paints every
// page) as the yardstick the first two must stay well under. Runs on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "core/common.h"
#include "memtable/mem_table.h"
#include "platform/report/preview_window.h"
#include "ui/main/print_commands.h"

namespace {

void MakeDocument() {
  auto& s = core::State();
  s.Document.clear();
  for (int k = 1; k <= 500; ++k) {
    core::ParameterDefinition r;
    r.code = "P" + std::to_string(1000 + k);
    r.unit = "rpm";
    r.descriptions[0] = "Parameter description number " + std::to_string(k);
    r.decimals = 2;
    r.minimum = -100;
    r.maximum = 1000;
    r.defaultValue = 10;
    r.value = static_cast<float>(k) / 4;
    r.transferGroup = 1 + k % 9;
    s.Document.push_back(r);
  }
  s.ParHeader.recordCount = 500;
  s.ParHeader.model = 1;
}

void BM_FillAndLayout(benchmark::State& state) {
  MakeDocument();
  auto table = ui::MakePrintTable();
  for (auto _ : state) {
    auto report = ui::DocumentReport(*table);
    auto layout = report->Layout();
    benchmark::DoNotOptimize(layout.pages.size());
  }
}
BENCHMARK(BM_FillAndLayout)->Unit(benchmark::kMillisecond);

void BM_LayoutAndPdf(benchmark::State& state) {
  MakeDocument();
  auto table = ui::MakePrintTable();
  QTemporaryDir dir;
  for (auto _ : state) {
    auto report = ui::DocumentReport(*table);
    QString error;
    if (!report->SaveToPdf(dir.filePath("list.pdf"), error)) state.SkipWithError(error.toUtf8().constData());
  }
}
BENCHMARK(BM_LayoutAndPdf)->Unit(benchmark::kMillisecond);

void BM_OpenPreview(benchmark::State& state) {
  MakeDocument();
  auto table = ui::MakePrintTable();
  for (auto _ : state) {
    auto report = ui::DocumentReport(*table);
    platform::report::TPreviewWindow window(*report);
    window.show();
    QApplication::processEvents();
    benchmark::DoNotOptimize(window.Layout().pages.size());
  }
}
BENCHMARK(BM_OpenPreview)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
