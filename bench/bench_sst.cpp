// Shared string table: AddString of 650,000 strings of which 10 % are distinct, then WriteSST of
// the table and ReadSST of what was written.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "biff/biff_recs.h"
#include "biff/sst2.h"
#include "biff/xls_stream.h"
#include "platform/codec.h"
#include "workbook/xls_fonts.h"

namespace {

using namespace xls;

constexpr int kAdds = 650000;
constexpr int kDistinct = kAdds / 10;

const std::vector<std::u16string>& Texts() {
  static const std::vector<std::u16string> texts = [] {
    std::vector<std::u16string> distinct;
    std::mt19937 rng(1);
    for (int i = 0; i < kDistinct; ++i) {
      // Customer-list-like texts; every fifth one with CJK characters (16-bit entry).
      std::string s = "Client " + std::to_string(i) + " Street " + std::to_string(rng() % 1000);
      std::u16string t = Utf8ToUtf16(s);
      if (i % 5 == 0) t += u"\u5317\u4EAC";
      distinct.push_back(std::move(t));
    }
    std::vector<std::u16string> all;
    all.reserve(kAdds);
    for (int k = 0; k < kAdds / kDistinct; ++k)
      all.insert(all.end(), distinct.begin(), distinct.end());
    std::shuffle(all.begin(), all.end(), rng);
    return all;
  }();
  return texts;
}

void BM_AddString(benchmark::State& state) {
  const auto& texts = Texts();
  TXFonts fonts;
  fonts.AddDefaultFonts();
  for (auto _ : state) {
    TSST2 sst(&fonts);
    for (const auto& t : texts) benchmark::DoNotOptimize(sst.AddString(t));
    if (sst.Count() != kDistinct) state.SkipWithError("wrong entry count");
    state.PauseTiming();
    sst.Clear();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kAdds);
}
BENCHMARK(BM_AddString)->Unit(benchmark::kMillisecond);

Bytes WriteTable(TSST2& sst) {
  TMemoryStream mem;
  TXLSStream s;
  s.SetTargetStream(&mem);
  s.OpenWrite(u"", xvExcel40);  // plain records: the cost is the table's own
  s.WriteHeader(BIFFRECID_BOF_40, 6);
  const uint8_t bof[6] = {0, 0, 0x10, 0, 0, 0};
  s.WriteRaw(bof, 6);
  sst.WriteSST(s);
  s.Close();
  return mem.Data();
}

void BM_WriteSST(benchmark::State& state) {
  TXFonts fonts;
  fonts.AddDefaultFonts();
  TSST2 sst(&fonts);
  for (const auto& t : Texts()) sst.AddString(t);
  size_t bytes = 0;
  for (auto _ : state) bytes = WriteTable(sst).size();
  state.SetItemsProcessed(state.iterations() * sst.Count());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_WriteSST)->Unit(benchmark::kMillisecond);

void BM_ReadSST(benchmark::State& state) {
  TXFonts fonts;
  fonts.AddDefaultFonts();
  Bytes data;
  {
    TSST2 sst(&fonts);
    for (const auto& t : Texts()) sst.AddString(t);
    data = WriteTable(sst);
  }
  for (auto _ : state) {
    TMemoryStream mem(data);
    TXLSStream s;
    s.SetSourceStream(&mem);
    s.OpenRead(u"");
    TBIFFHeader h;
    s.ReadHeader(h);
    uint8_t bof[6];
    s.Read(bof, h.Length);
    s.ReadHeader(h);
    TSST2 sst(&fonts);
    sst.BeginLoad();
    sst.ReadSST(s, h.Length);
    sst.EndLoad();
    if (sst.Count() != kDistinct) state.SkipWithError("wrong entry count");
  }
  state.SetItemsProcessed(state.iterations() * kDistinct);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_ReadSST)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
