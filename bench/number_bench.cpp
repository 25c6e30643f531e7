// Micro-benchmarks of the number texts: FormatSingle per coordinate, ParseSingle and ParseInt16
// per field, and measuring a whole grid without writing it.
#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "grid/format_single.h"
#include "grid/generate_grid.h"
#include "grid/plan.h"
#include "grid/text_to_number.h"

namespace {

// Coordinates as they occur: UTM eastings and northings, State Plane feet, fractions.
std::vector<float> Coordinates() {
  std::vector<float> values;
  for (int i = 0; i < 4096; ++i) {
    values.push_back(500000.0f + static_cast<float>(i) * 25.0f);
    values.push_back(4000000.0f + static_cast<float>(i) * 0.5f);
    values.push_back(12500000.0f + static_cast<float>(i) * 3.0f);
    values.push_back(static_cast<float>(i) * 0.001f);
  }
  return values;
}

void BM_FormatSingle(benchmark::State& state) {
  const std::vector<float> values = Coordinates();
  std::array<char, grid::kMaxSingleText> text{};
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (const float value : values) {
      char* end = grid::FormatSingle(value, text.data());
      bytes += static_cast<std::size_t>(end - text.data());
      benchmark::DoNotOptimize(text);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_FormatSingle);

void BM_ParseSingle(benchmark::State& state) {
  const std::vector<std::string> texts = {"500000", "4000000.25", " -1.5e3 ", "12345678.9",
                                          "0.000123"};
  for (auto _ : state) {
    for (const std::string& text : texts) {
      benchmark::DoNotOptimize(grid::ParseSingle(text, '.'));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}
BENCHMARK(BM_ParseSingle);

void BM_ParseInt16(benchmark::State& state) {
  const std::vector<std::string> texts = {"200", "2.5", "32767.4", "-25", "1e2"};
  for (auto _ : state) {
    for (const std::string& text : texts) {
      benchmark::DoNotOptimize(grid::ParseInt16(text, '.'));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}
BENCHMARK(BM_ParseInt16);

// The count behind Run's tooltip and --dry-run, for the largest grid there is (32767 rows and
// columns): whole coordinates, as most grids have, and fractional ones.
void BM_MeasureGrid(benchmark::State& state, grid::FieldTexts texts) {
  const grid::GridInputs inputs = grid::ConvertInputs(texts, '.');
  const grid::GridCounts counts = grid::CountGrid(inputs);
  for (auto _ : state) {
    benchmark::DoNotOptimize(grid::MeasureGrid(inputs, counts));
  }
}
BENCHMARK_CAPTURE(BM_MeasureGrid, largest_whole, {"500000", "532766", "4000000", "4032766", "1"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MeasureGrid, largest_fractional, {"0.25", "32766.25", "-0.5", "32765.5", "1"})
    ->Unit(benchmark::kMicrosecond);

// The plan behind Run's tooltip, its question and --dry-run, most of it the account of what the
// file loses: it checks every column and row of the largest grid, whole, fractional, away from
// where the fields put them (seven digits of State Plane feet), and typed with more digits than
// 128 bits hold at their scale.
void BM_PlanGrid(benchmark::State& state, grid::FieldTexts texts) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(grid::PlanGrid(texts, '.'));
  }
}
BENCHMARK_CAPTURE(BM_PlanGrid, largest_whole, {"500000", "532766", "4000000", "4032766", "1"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlanGrid, largest_fractional, {"0.25", "32766.25", "-0.5", "32765.5", "1"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlanGrid, largest_away, {"13100000", "13132766", "13100000", "13132766", "1"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlanGrid, largest_long_digits,
                  {"0.1234567890123456789012345678901234567", "32766", "1e-30", "32766", "1"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
