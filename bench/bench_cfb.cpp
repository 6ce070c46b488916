// Compound file throughput: open a file of more than 20 MB written by the engine and read its
// workbook stream in record-sized pieces, as the record stream does.
//
// The file is written once to $XLSB_BENCH_CFB_FILE (default /tmp/xlsb-bench-cfb.xls) and left
// there, so that bench/run_cfb.sh can time `cat` on the same file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "cfb/compound_file.h"

namespace {

using xls::Bytes;
using xls::cfb::CompoundFile;
using xls::cfb::Storage;

constexpr size_t kWorkbookSize = 24 * 1024 * 1024;
constexpr size_t kRecordPiece = 8228;  // a full record: 4-byte header and 8224 body bytes

std::string BenchFile() {
  const char* env = std::getenv("XLSB_BENCH_CFB_FILE");
  return env && *env ? env : "/tmp/xlsb-bench-cfb.xls";
}

Bytes Pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& c : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<uint8_t>(x);
  }
  return b;
}

void Put(Storage& s, std::u16string_view name, const Bytes& data) {
  s.CreateStream(name).Write(data.data(), data.size());
}

// Writes the benchmark file once per process with the engine's writer.
const std::string& PrepareFile() {
  static const std::string path = [] {
    const std::string p = BenchFile();
    auto cf = CompoundFile::Create(p);
    Put(cf->Root(), u"Workbook", Pattern(kWorkbookSize, 1));
    Put(cf->Root(), u"\x05SummaryInformation", Pattern(400, 2));
    Put(cf->Root(),
        u"\x05"
        u"DocumentSummaryInformation",
        Pattern(300, 3));
    Storage& vba = cf->Root().CreateStorage(u"_VBA_PROJECT_CUR");
    Put(vba, u"PROJECT", Pattern(900, 4));
    Put(vba.CreateStorage(u"VBA"), u"dir", Pattern(6000, 5));
    cf->Commit();
    return p;
  }();
  return path;
}

size_t FileSize(const std::string& path) {
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  return static_cast<size_t>(f.tellg());
}

// Open from the path and read the workbook stream through.
void BM_OpenFileAndReadWorkbook(benchmark::State& state) {
  const std::string& path = PrepareFile();
  std::vector<uint8_t> piece(kRecordPiece);
  for (auto _ : state) {
    auto cf = CompoundFile::OpenRead(path);
    auto& wb = cf->Root().OpenStream(u"Workbook");
    size_t total = 0;
    for (size_t n; (n = wb.Read(piece.data(), piece.size())) > 0;) total += n;
    if (total != kWorkbookSize) state.SkipWithError("short workbook stream");
    benchmark::DoNotOptimize(piece.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(FileSize(path)));
  state.counters["file_MB"] = static_cast<double>(FileSize(path)) / 1e6;
  state.counters["MB_per_s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(FileSize(path)) / 1e6,
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OpenFileAndReadWorkbook)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same from bytes already in memory: the parsing and copying alone.
void BM_OpenBytesAndReadWorkbook(benchmark::State& state) {
  std::ifstream f(PrepareFile(), std::ios::binary);
  const Bytes bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<uint8_t> piece(kRecordPiece);
  for (auto _ : state) {
    auto cf = CompoundFile::OpenRead(bytes);
    auto& wb = cf->Root().OpenStream(u"Workbook");
    for (size_t n; (n = wb.Read(piece.data(), piece.size())) > 0;) benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_OpenBytesAndReadWorkbook)->Unit(benchmark::kMillisecond)->UseRealTime();

// Writing the same tree in memory.
void BM_WriteInMemory(benchmark::State& state) {
  auto src = CompoundFile::OpenRead(PrepareFile());
  size_t size = 0;
  for (auto _ : state) {
    auto cf = CompoundFile::CreateInMemory();
    src->Root().CopyTo(cf->Root());
    cf->Commit();
    size = cf->GetBytes().size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(BM_WriteInMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
