// One lookup of a present record among a million: the module's search of the data image through
// _DataFile, against std::lower_bound over an index of the same records built beforehand, and against
// SQLite with an indexed table and a prepared SELECT. All three run in the same program, one after the
// other, on the same keys.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "data.h"
#include "dispatch/terminal.h"
#include "fields/fields.h"
#include "fields/search.h"
#include "vekterm/vekterm.h"

namespace {

using vekbench::RecordSet;

const RecordSet &records_for(std::int64_t which) {
  return which == 0 ? vekbench::equal_lengths() : vekbench::mixed_lengths();
}
const char *file_for(std::int64_t which) {
  return which == 0 ? "B_EQUAL.VAL" : "B_MIXED.VAL";
}

void label(benchmark::State &state, const RecordSet &set) {
  state.SetLabel(state.range(0) == 0 ? "equal lengths" : "mixed lengths");
  state.counters["records"] = static_cast<double>(set.index.size());
}

void BM_Lookup_Module(benchmark::State &state) {
  const RecordSet &set = records_for(state.range(0));
  const char *file = file_for(state.range(0));
  vekterm::add_file(file, set.image);
  std::size_t i = 0, found = 0;
  for (auto _ : state) {
    std::uint8_t status = 9;
    const auto record = vek::lookup_value(file, set.keys[i++ & 0xFFFF], &status);
    found += status == 0;
    benchmark::DoNotOptimize(record);
  }
  if (found != static_cast<std::size_t>(state.iterations()))
    state.SkipWithError("a present record was not found");
  label(state, set);
  vekterm::remove_file(file);
}

void BM_Lookup_LowerBound(benchmark::State &state) {
  const RecordSet &set = records_for(state.range(0));
  std::size_t i = 0, found = 0;
  for (auto _ : state) {
    const std::string_view key = set.keys[i++ & 0xFFFF];
    const auto at = std::lower_bound(set.index.begin(), set.index.end(), key);
    found += at != set.index.end() && *at == key;
    benchmark::DoNotOptimize(at);
  }
  if (found != static_cast<std::size_t>(state.iterations()))
    state.SkipWithError("a present record was not found");
  label(state, set);
}

struct Database {
  sqlite3 *db = nullptr;
  sqlite3_stmt *select = nullptr;
  ~Database() {
    sqlite3_finalize(select);
    sqlite3_close(db);
  }
};

// An in-memory database, so that SQLite reads no file either: one table, an index on the value.
std::unique_ptr<Database> open_database(const std::vector<std::string_view> &records) {
  auto d = std::make_unique<Database>();
  sqlite3_open(":memory:", &d->db);
  sqlite3_exec(d->db, "CREATE TABLE records(value TEXT NOT NULL)", nullptr, nullptr, nullptr);
  sqlite3_exec(d->db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt *insert = nullptr;
  sqlite3_prepare_v2(d->db, "INSERT INTO records VALUES(?)", -1, &insert, nullptr);
  for (std::string_view r : records) {
    sqlite3_bind_text(insert, 1, r.data(), static_cast<int>(r.size()), SQLITE_STATIC);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(d->db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_exec(d->db, "CREATE INDEX records_value ON records(value)", nullptr, nullptr, nullptr);
  sqlite3_prepare_v2(d->db, "SELECT 1 FROM records WHERE value = ?", -1, &d->select, nullptr);
  return d;
}

void BM_Lookup_SQLite(benchmark::State &state) {
  const RecordSet &set = records_for(state.range(0));
  const auto d = open_database(set.index);
  std::size_t i = 0, found = 0;
  for (auto _ : state) {
    const std::string_view key = set.keys[i++ & 0xFFFF];
    sqlite3_bind_text(d->select, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    found += sqlite3_step(d->select) == SQLITE_ROW;
    sqlite3_reset(d->select);
  }
  if (found != static_cast<std::size_t>(state.iterations()))
    state.SkipWithError("a present record was not found");
  label(state, set);
}

}  // namespace

BENCHMARK(BM_Lookup_Module)->Arg(0)->Arg(1);
BENCHMARK(BM_Lookup_LowerBound)->Arg(0)->Arg(1);
BENCHMARK(BM_Lookup_SQLite)->Arg(0)->Arg(1);

namespace {

// How the search spends its probes: records compared per lookup, and the share of lookups in which the
// classic probe sequence ended with none and the bisection searched again.
void BM_Lookup_Probes(benchmark::State &state) {
  const RecordSet &set = records_for(state.range(0));
  std::int64_t probes = 0, retried = 0, lookups = 0;
  for (auto _ : state) {
    for (std::string_view key : set.keys) {
      int n = 0;
      if (!vek::span_search(set.image, key, vek::Match::Whole)) ++retried;
      benchmark::DoNotOptimize(vek::search_image(set.image, key, vek::Match::Whole, &n));
      probes += n;
      ++lookups;
    }
  }
  state.counters["probes_per_lookup"] = static_cast<double>(probes) / static_cast<double>(lookups);
  state.counters["retried_share"] = static_cast<double>(retried) / static_cast<double>(lookups);
  label(state, set);
}

}  // namespace

BENCHMARK(BM_Lookup_Probes)->Arg(0)->Arg(1)->Iterations(1);

// Files of 1 MiB and 1 GiB in a data directory, mapped by the terminal: equal lengths (15 digits) and
// mixed lengths (6 to 24 characters). The files are written once into a temporary directory and removed
// at the end. Figures: a repeated lookup in each file beside std::lower_bound over an index of the
// mapped records (and SQLite on the 1 MiB files), and the first lookup in a 1 GiB file just opened,
// with its pages in the page cache ("warm") or dropped from it first ("cold").
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kSmallFile = std::size_t{1} << 20;
constexpr std::size_t kLargeFile = std::size_t{1} << 30;
constexpr std::size_t kFileKeys = 4096;

// A file's records. Equal: record i is 3 * i in 15 digits. Mixed: six base-36 characters counting up
// by `stride` (so the records are sorted and distinct), then 0 to 18 more drawn from i.
struct FileKind {
  bool mixed;
  std::size_t bytes;
  std::size_t count;   // records that fit in `bytes`
  std::size_t stride;  // mixed: the step of the first six characters
};

constexpr std::string_view kBase36 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

std::uint64_t mix(std::uint64_t x) {
  x ^= x >> 31;
  x *= 0x7fb5d329728ea185ull;
  x ^= x >> 27;
  x *= 0x81dadef4bc2dd44dull;
  return x ^ (x >> 33);
}

// Writes record i (without its NUL) to `out`; returns its length.
std::size_t file_record(const FileKind &kind, std::size_t i, char *out) {
  if (!kind.mixed) {
    std::size_t v = 3 * i;
    for (int k = 14; k >= 0; --k, v /= 10)
      out[k] = static_cast<char>('0' + v % 10);
    return 15;
  }
  std::size_t v = i * kind.stride;
  for (int k = 5; k >= 0; --k, v /= 36)
    out[k] = kBase36[v % 36];
  std::uint64_t h = mix(i);
  const std::size_t tail = h % 19;
  for (std::size_t k = 0; k < tail; ++k, h = mix(h))
    out[6 + k] = kBase36[h % 36];
  return 6 + tail;
}

FileKind file_kind(bool mixed, bool large) {
  const std::size_t bytes = large ? kLargeFile : kSmallFile;
  FileKind kind{mixed, bytes, 0, 1};
  if (!mixed) {
    kind.count = bytes / 16;
    return kind;
  }
  // Average record with its NUL: 6 + 9 + 1 bytes; the count is found by writing.
  kind.stride = 2176782336 / (bytes / 16 + bytes / 64);  // 36^6 over a generous count
  char text[32];
  std::size_t total = 0;
  for (std::size_t i = 0;; ++i) {
    const std::size_t n = file_record(kind, i, text) + 1;
    if (total + n > bytes) break;
    total += n;
    kind.count = i + 1;
  }
  return kind;
}

const char *file_name(bool mixed, bool large) {
  static const char *const names[2][2] = {{"B_EQ1M.VAL", "B_EQ1G.VAL"}, {"B_MX1M.VAL", "B_MX1G.VAL"}};
  return names[mixed][large];
}

bool write_records(const fs::path &path, const FileKind &kind) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  std::string chunk;
  bool good = true;
  char text[32];
  for (std::size_t i = 0; good && i < kind.count; ++i) {
    chunk.append(text, file_record(kind, i, text)).push_back('\0');
    if (chunk.size() >= (std::size_t{1} << 20) || i + 1 == kind.count) {
      good = write(fd, chunk.data(), chunk.size()) == static_cast<ssize_t>(chunk.size());
      chunk.clear();
    }
  }
  // Written back to disk, so that the pages are clean and can be dropped from the page cache.
  good = fsync(fd) == 0 && good;
  return close(fd) == 0 && good;
}

struct SearchFiles {
  fs::path path;
  std::string why_not;
  FileKind kinds[2][2];
  SearchFiles() {
    std::string pattern = (fs::temp_directory_path() / "vekbench-search-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      why_not = "no temporary directory";
      return;
    }
    struct statvfs disk {};
    if (statvfs(pattern.c_str(), &disk) != 0 ||
        static_cast<std::size_t>(disk.f_bavail) * disk.f_frsize < 3 * kLargeFile) {
      why_not = "skipped: the temporary directory's disk has less than 3 GiB free";
      fs::remove_all(pattern);
      return;
    }
    path = pattern;
    for (bool mixed : {false, true})
      for (bool large : {false, true}) {
        kinds[mixed][large] = file_kind(mixed, large);
        if (!write_records(path / file_name(mixed, large), kinds[mixed][large])) {
          why_not = "could not write the files";
          fs::remove_all(path);
          path.clear();
          return;
        }
      }
  }
  ~SearchFiles() {
    if (!path.empty()) fs::remove_all(path);
  }
};

SearchFiles &search_files() {
  static SearchFiles files;
  return files;
}

// Present keys in a random order, each a copy of its record.
std::vector<std::string> file_keys(const FileKind &kind) {
  std::vector<std::string> keys;
  char text[32];
  for (std::size_t n = 1; n <= kFileKeys; ++n)
    keys.emplace_back(text, file_record(kind, mix(n) % kind.count, text));
  return keys;
}

void file_label(benchmark::State &state, bool mixed, bool large) {
  state.SetLabel(std::string(mixed ? "mixed lengths, " : "equal lengths, ") + (large ? "1 GiB" : "1 MiB"));
}

void BM_SearchFile_Module(benchmark::State &state) {
  SearchFiles &f = search_files();
  if (f.path.empty()) return state.SkipWithError(f.why_not.c_str());
  const bool mixed = state.range(0) != 0, large = state.range(1) != 0;
  const std::vector<std::string> keys = file_keys(f.kinds[mixed][large]);
  vekterm::set_data_directory(f.path.string());
  std::size_t i = 0, found = 0;
  for (auto _ : state) {
    std::uint8_t status = 9;
    benchmark::DoNotOptimize(vek::lookup_value(file_name(mixed, large), keys[i++ % kFileKeys], &status));
    found += status == 0;
  }
  if (found != static_cast<std::size_t>(state.iterations()))
    state.SkipWithError("a present record was not found");
  file_label(state, mixed, large);
  vekterm::set_data_directory("");
}

// The records of a file as the terminal maps it, in order.
std::vector<std::string_view> mapped_index(const char *name) {
  const char *address = nullptr;
  unsigned long length = 0;
  std::vector<std::string_view> index;
  if (_DataFile(name, &address, &length) != 0) return index;
  for (const char *at = address, *end = address + length; at < end;) {
    const std::size_t n = std::strlen(at);
    index.emplace_back(at, n);
    at += n + 1;
  }
  return index;
}

void BM_SearchFile_LowerBound(benchmark::State &state) {
  SearchFiles &f = search_files();
  if (f.path.empty()) return state.SkipWithError(f.why_not.c_str());
  const bool mixed = state.range(0) != 0, large = state.range(1) != 0;
  const std::vector<std::string> keys = file_keys(f.kinds[mixed][large]);
  vekterm::set_data_directory(f.path.string());
  const std::vector<std::string_view> index = mapped_index(file_name(mixed, large));
  std::size_t i = 0, found = 0;
  for (auto _ : state) {
    const std::string_view key = keys[i++ % kFileKeys];
    const auto at = std::lower_bound(index.begin(), index.end(), key);
    found += at != index.end() && *at == key;
    benchmark::DoNotOptimize(at);
  }
  if (found != static_cast<std::size_t>(state.iterations()))
    state.SkipWithError("a present record was not found");
  file_label(state, mixed, large);
  vekterm::set_data_directory("");
}

void BM_SearchFile_SQLite(benchmark::State &state) {
  SearchFiles &f = search_files();
  if (f.path.empty()) return state.SkipWithError(f.why_not.c_str());
  const bool mixed = state.range(0) != 0;
  const std::vector<std::string> keys = file_keys(f.kinds[mixed][false]);
  vekterm::set_data_directory(f.path.string());
  const auto d = open_database(mapped_index(file_name(mixed, false)));
  std::size_t i = 0, found = 0;
  for (auto _ : state) {
    const std::string &key = keys[i++ % kFileKeys];
    sqlite3_bind_text(d->select, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    found += sqlite3_step(d->select) == SQLITE_ROW;
    sqlite3_reset(d->select);
  }
  if (found != static_cast<std::size_t>(state.iterations()))
    state.SkipWithError("a present record was not found");
  file_label(state, mixed, false);
  vekterm::set_data_directory("");
}

// Pages of the file in the page cache, by mincore over a mapping of it.
std::size_t resident_pages(const fs::path &path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return 0;
  struct stat st {};
  fstat(fd, &st);
  const auto size = static_cast<std::size_t>(st.st_size);
  void *map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (map == MAP_FAILED) return 0;
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> in((size + page - 1) / page);
  std::size_t resident = 0;
  if (mincore(map, size, in.data()) == 0)
    for (unsigned char c : in)
      resident += c & 1;
  munmap(map, size);
  return resident;
}

// Drops the file's pages from the page cache: a clean file's pages go without root.
bool drop_pages(const fs::path &path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  const bool done = posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
  close(fd);
  return done;
}

// One lookup in the 1 GiB file right after the data directory is opened: the terminal maps the file
// and the probes' first touches fault its pages in. Cold: the file's pages were dropped from the page
// cache first, so each fault reads the disk.
void BM_SearchFile_First(benchmark::State &state) {
  SearchFiles &f = search_files();
  if (f.path.empty()) return state.SkipWithError(f.why_not.c_str());
  const bool mixed = state.range(0) != 0, cold = state.range(1) != 0;
  const fs::path file = f.path / file_name(mixed, true);
  const std::vector<std::string> keys = file_keys(f.kinds[mixed][true]);
  std::size_t n = 0;
  double faults = 0, major = 0, resident = 0;
  for (auto _ : state) {
    vekterm::set_data_directory("");
    if (cold && !drop_pages(file)) return state.SkipWithError("posix_fadvise failed");
    resident += static_cast<double>(resident_pages(file));
    vekterm::set_data_directory(f.path.string());
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    std::uint8_t status = 9;
    benchmark::DoNotOptimize(vek::lookup_value(file_name(mixed, true), keys[n++ % kFileKeys], &status));
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    getrusage(RUSAGE_SELF, &after);
    faults += static_cast<double>(after.ru_minflt - before.ru_minflt + after.ru_majflt - before.ru_majflt);
    major += static_cast<double>(after.ru_majflt - before.ru_majflt);
    if (status != 0) return state.SkipWithError("the record was not found");
  }
  state.counters["page_faults"] = benchmark::Counter(faults, benchmark::Counter::kAvgIterations);
  state.counters["disk_reads"] = benchmark::Counter(major, benchmark::Counter::kAvgIterations);
  state.counters["cached_pages_before"] = benchmark::Counter(resident, benchmark::Counter::kAvgIterations);
  state.SetLabel(std::string(mixed ? "mixed lengths, " : "equal lengths, ") + (cold ? "cold" : "warm"));
  vekterm::set_data_directory("");
}

// The same cold first lookup, the file mapped here instead of by the terminal, with the kernel told
// either nothing (it reads ahead around each faulting page) or that the file is read at random (each
// fault reads its own page): the search alone, on a mapping of each kind.
void BM_SearchFile_FirstMapped(benchmark::State &state) {
  SearchFiles &f = search_files();
  if (f.path.empty()) return state.SkipWithError(f.why_not.c_str());
  const bool mixed = state.range(0) != 0, random = state.range(1) != 0;
  const fs::path file = f.path / file_name(mixed, true);
  const std::vector<std::string> keys = file_keys(f.kinds[mixed][true]);
  std::size_t n = 0;
  double major = 0;
  for (auto _ : state) {
    if (!drop_pages(file)) return state.SkipWithError("posix_fadvise failed");
    const int fd = open(file.c_str(), O_RDONLY);
    void *map = mmap(nullptr, kLargeFile, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED) return state.SkipWithError("mmap failed");
    if (random) madvise(map, kLargeFile, MADV_RANDOM);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    const auto found =
        vek::find_value(std::string_view(static_cast<const char *>(map), kLargeFile), keys[n++ % kFileKeys]);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    getrusage(RUSAGE_SELF, &after);
    major += static_cast<double>(after.ru_majflt - before.ru_majflt);
    munmap(map, kLargeFile);
    if (!found) return state.SkipWithError("the record was not found");
  }
  state.counters["disk_reads"] = benchmark::Counter(major, benchmark::Counter::kAvgIterations);
  state.SetLabel(std::string(mixed ? "mixed lengths, " : "equal lengths, ") +
                 (random ? "MADV_RANDOM" : "no advice"));
}

}  // namespace

BENCHMARK(BM_SearchFile_Module)->ArgsProduct({{0, 1}, {0, 1}});
BENCHMARK(BM_SearchFile_LowerBound)->ArgsProduct({{0, 1}, {0, 1}});
BENCHMARK(BM_SearchFile_SQLite)->Arg(0)->Arg(1);
BENCHMARK(BM_SearchFile_First)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SearchFile_FirstMapped)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMicrosecond);
