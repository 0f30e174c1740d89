// Files in the data directory: the first lookup in a file of 1 GiB (mapped, not read), then repeated
// lookups in it and in a file of 1 MiB, which should cost the same. And the terminal's validation
// service on ten million values: its first use, which builds the index, and each call after it.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dispatch/terminal.h"
#include "fields/fields.h"
#include "vekterm/vekterm.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kRecordBytes = 16;  // 15 digits and the NUL
constexpr std::size_t kLarge = std::size_t{1} << 30;
constexpr std::size_t kSmall = std::size_t{1} << 20;

std::string record(std::size_t i) {
  char text[kRecordBytes + 1];
  std::snprintf(text, sizeof text, "%015zu", i * 3);
  return std::string(text, kRecordBytes);  // the NUL from snprintf ends the record
}

// Writes `bytes / 16` sorted records of one length.
bool write_file(const fs::path &path, std::size_t bytes) {
  FILE *out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  std::string chunk;
  const std::size_t per_chunk = (std::size_t{1} << 20) / kRecordBytes;
  bool good = true;
  for (std::size_t i = 0; good && i < bytes / kRecordBytes; i += per_chunk) {
    chunk.clear();
    for (std::size_t j = i; j < i + per_chunk && j < bytes / kRecordBytes; ++j)
      chunk += record(j);
    good = std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
  }
  return std::fclose(out) == 0 && good;
}

// A temporary data directory with the two files, made once; empty when the disk lacks the space.
struct DataDirectory {
  fs::path path;
  std::string why_not;
  DataDirectory() {
    std::string pattern = (fs::temp_directory_path() / "vekbench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      why_not = "no temporary directory";
      return;
    }
    struct statvfs disk {};
    if (statvfs(pattern.c_str(), &disk) != 0 ||
        static_cast<std::size_t>(disk.f_bavail) * disk.f_frsize < kLarge + kLarge / 2) {
      why_not = "skipped: the temporary directory's disk has less than 1.5 GiB free";
      fs::remove_all(pattern);
      return;
    }
    path = pattern;
    if (!write_file(path / "B_LARGE.VAL", kLarge) || !write_file(path / "B_SMALL.VAL", kSmall)) {
      why_not = "could not write the files";
      fs::remove_all(path);
      path.clear();
    }
  }
  ~DataDirectory() {
    if (!path.empty()) fs::remove_all(path);
  }
};

DataDirectory &data_directory() {
  static DataDirectory directory;
  return directory;
}

// One lookup in the large file right after the data directory is opened: the file is mapped, and only
// the pages that the probes touch are read (from the page cache here: the file was just written).
void BM_LargeFile_FirstLookup(benchmark::State &state) {
  DataDirectory &d = data_directory();
  if (d.path.empty()) {
    state.SkipWithError(d.why_not.c_str());
    return;
  }
  std::size_t n = 0;
  long faults = 0;  // page faults taken inside the timed lookups
  for (auto _ : state) {
    vekterm::set_data_directory("");
    vekterm::set_data_directory(d.path.string());
    const std::string key = record(++n * 1000003 % (kLarge / kRecordBytes)).substr(0, kRecordBytes - 1);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    std::uint8_t status = 9;
    benchmark::DoNotOptimize(vek::lookup_value("B_LARGE.VAL", key, &status));
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    getrusage(RUSAGE_SELF, &after);
    faults += after.ru_minflt - before.ru_minflt + after.ru_majflt - before.ru_majflt;
    if (status != 0) state.SkipWithError("the record was not found");
  }
  state.counters["page_faults"] =
      benchmark::Counter(static_cast<double>(faults), benchmark::Counter::kAvgIterations);
  vekterm::set_data_directory("");
}

// The first _DataFile call alone on the same file: opening and mapping, before any page is read.
void BM_LargeFile_FirstDataFile(benchmark::State &state) {
  DataDirectory &d = data_directory();
  if (d.path.empty()) {
    state.SkipWithError(d.why_not.c_str());
    return;
  }
  for (auto _ : state) {
    vekterm::set_data_directory("");
    vekterm::set_data_directory(d.path.string());
    const char *address = nullptr;
    unsigned long length = 0;
    const auto start = Clock::now();
    benchmark::DoNotOptimize(_DataFile("B_LARGE.VAL", &address, &length));
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (length != kLarge) state.SkipWithError("the image has the wrong length");
  }
  vekterm::set_data_directory("");
}

// Repeated lookups in an unchanged file: the terminal checks that the file is the one it mapped and the
// search touches a few dozen records, whatever the file's size.
void BM_File_RepeatedLookup(benchmark::State &state) {
  DataDirectory &d = data_directory();
  if (d.path.empty()) {
    state.SkipWithError(d.why_not.c_str());
    return;
  }
  const bool large = state.range(0) != 0;
  const std::size_t records = (large ? kLarge : kSmall) / kRecordBytes;
  vekterm::set_data_directory(d.path.string());
  std::vector<std::string> keys;
  for (std::size_t n = 1; n <= 4096; ++n)
    keys.push_back(record(n * 7919 % records).substr(0, kRecordBytes - 1));
  std::size_t n = 0;
  std::uint8_t status = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(
        vek::lookup_value(large ? "B_LARGE.VAL" : "B_SMALL.VAL", keys[n++ & 4095], &status));
  if (status != 0) state.SkipWithError("the record was not found");
  state.SetLabel(large ? "1 GiB file" : "1 MiB file");
  vekterm::set_data_directory("");
}

// Repeated _DataFile calls alone, the same way.
void BM_File_RepeatedDataFile(benchmark::State &state) {
  DataDirectory &d = data_directory();
  if (d.path.empty()) {
    state.SkipWithError(d.why_not.c_str());
    return;
  }
  const bool large = state.range(0) != 0;
  vekterm::set_data_directory(d.path.string());
  const char *address = nullptr;
  unsigned long length = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(_DataFile(large ? "B_LARGE.VAL" : "B_SMALL.VAL", &address, &length));
  if (length != (large ? kLarge : kSmall)) state.SkipWithError("the image has the wrong length");
  state.SetLabel(large ? "1 GiB file" : "1 MiB file");
  vekterm::set_data_directory("");
}

// Ten million values of 10 digits, in a file of the terminal's memory.
constexpr std::size_t kValues = 10'000'000;
std::string value(std::size_t i) {
  char text[16];
  std::snprintf(text, sizeof text, "%010zu", i * 13 + 7);
  return text;
}
const std::string &values_image() {
  static const std::string image = [] {
    std::string out;
    out.reserve(kValues * 11);
    for (std::size_t i = 0; i < kValues; ++i)
      out += value(i) + '\0';
    return out;
  }();
  return image;
}

std::vector<std::string> value_keys() {
  std::vector<std::string> keys;
  for (std::size_t n = 1; n <= 0x10000; ++n)
    keys.push_back(value(n * 7919 % kValues));
  return keys;
}

void BM_Validation_FirstUse(benchmark::State &state) {
  for (auto _ : state) {
    state.PauseTiming();
    vekterm::add_file("LIST10M.VAL", values_image());  // a fresh file, without its index
    state.ResumeTiming();
    benchmark::DoNotOptimize(_Validation("LIST10M.VAL", '3', value(4242).c_str()));
  }
  vekterm::remove_file("LIST10M.VAL");
}

void BM_Validation_PerCall(benchmark::State &state) {
  vekterm::add_file("LIST10M.VAL", values_image());
  _Validation("LIST10M.VAL", '3', value(1).c_str());
  const std::vector<std::string> keys = value_keys();
  std::size_t n = 0;
  int failed = 0;
  for (auto _ : state)
    failed += _Validation("LIST10M.VAL", '3', keys[n++ & 0xFFFF].c_str());
  if (failed) state.SkipWithError("a present value failed");
  vekterm::remove_file("LIST10M.VAL");
}

// The module's own search of the same ten million values, sorted, for comparison.
void BM_Validation_ModuleSearch(benchmark::State &state) {
  vekterm::add_file("B_10M.VAL", values_image());
  const std::vector<std::string> keys = value_keys();
  std::size_t n = 0;
  std::uint8_t status = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(vek::lookup_value("B_10M.VAL", keys[n++ & 0xFFFF], &status));
  if (status != 0) state.SkipWithError("a present value was not found");
  vekterm::remove_file("B_10M.VAL");
}

}  // namespace

BENCHMARK(BM_LargeFile_FirstLookup)->UseManualTime()->Iterations(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LargeFile_FirstDataFile)->UseManualTime()->Iterations(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_File_RepeatedLookup)->Arg(0)->Arg(1);
BENCHMARK(BM_File_RepeatedDataFile)->Arg(0)->Arg(1);
BENCHMARK(BM_Validation_FirstUse)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Validation_PerCall);
BENCHMARK(BM_Validation_ModuleSearch);
