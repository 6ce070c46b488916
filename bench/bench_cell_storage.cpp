// Cell storage: store, find and walk every cell of a dense 65,536 x 20 sheet of float cells, and
// the memory that costs (peak resident set / cells, everything included).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include "workbook/cell_storage.h"

namespace {

using namespace xls;

constexpr int kRows = 65536;
constexpr int kCols = 20;
constexpr int64_t kCells = int64_t{kRows} * kCols;

long PeakRssKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

struct Workbook {
  Workbook() : formats(fonts) {
    fonts.AddDefaultFonts();
    formats.ResetFormats();
  }
  TXFonts fonts;
  TCellFormats formats;
};

void Fill(TCellStorage& cells, TCellFormats& formats) {
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kCols; ++c) {
      const uint32_t key = MakeCellKey(c, r);
      cells.SetCell(key, cells.NewCell<TFloatCell>(formats, key, r + c * 0.5, 15));
    }
}

// Runs first, so that the process peak is one full storage plus the process itself.
void BM_StoreFloatCells(benchmark::State& state) {
  Workbook wb;
  const long before = PeakRssKiB();
  for (auto _ : state) {
    auto cells = std::make_unique<TCellStorage>();
    Fill(*cells, wb.formats);
    benchmark::DoNotOptimize(cells.get());
    state.PauseTiming();
    cells.reset();
    state.ResumeTiming();
  }
  const long peak = PeakRssKiB();
  state.SetItemsProcessed(state.iterations() * kCells);
  state.counters["peak_rss_MiB"] = peak / 1024.0;
  state.counters["bytes_per_cell_all_in"] = peak * 1024.0 / kCells;
  state.counters["bytes_per_cell_storage"] = (peak - before) * 1024.0 / kCells;
}
BENCHMARK(BM_StoreFloatCells)->Unit(benchmark::kMillisecond)->Iterations(3);

Workbook& SharedWorkbook() {
  static Workbook wb;
  return wb;
}

// Built on first use (after the memory figure above), kept for the rest of the run.
TCellStorage& Shared(TCellFormats& formats) {
  static TCellStorage cells;
  static const bool filled = (Fill(cells, formats), true);
  (void)filled;
  return cells;
}

void BM_FindCellRowMajor(benchmark::State& state) {
  TCellStorage& cells = Shared(SharedWorkbook().formats);
  double sum = 0;
  for (auto _ : state) {
    for (int r = 0; r < kRows; ++r)
      for (int c = 0; c < kCols; ++c)
        sum += static_cast<TFloatCell*>(cells.FindCell(MakeCellKey(c, r)))->Value;
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kCells);
}
BENCHMARK(BM_FindCellRowMajor)->Unit(benchmark::kMillisecond);

void BM_FindCellRandom(benchmark::State& state) {
  TCellStorage& cells = Shared(SharedWorkbook().formats);
  std::vector<uint32_t> keys(kCells);
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kCols; ++c) keys[r * kCols + c] = MakeCellKey(c, r);
  std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
  double sum = 0;
  for (auto _ : state)
    for (uint32_t k : keys) sum += static_cast<TFloatCell*>(cells.FindCell(k))->Value;
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kCells);
}
BENCHMARK(BM_FindCellRandom)->Unit(benchmark::kMillisecond);

void BM_NextCell(benchmark::State& state) {
  TCellStorage& cells = Shared(SharedWorkbook().formats);
  int64_t n = 0;
  for (auto _ : state) {
    cells.BeginIterate();
    while (TCell* c = cells.NextCell()) {
      benchmark::DoNotOptimize(c);
      ++n;
    }
  }
  if (n != state.iterations() * kCells) state.SkipWithError("wrong cell count");
  state.SetItemsProcessed(n);
}
BENCHMARK(BM_NextCell)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
