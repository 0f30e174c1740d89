// One lookup of a present record among a million: the module's search of the data image through
// _DataFile, against std::lower_bound over an index of the same records built beforehand, and against
// SQLite with an indexed table and a prepared SELECT. All three run in the same program, one after the
// other, on the same keys.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "data.h"
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
std::unique_ptr<Database> open_database(const RecordSet &set) {
  auto d = std::make_unique<Database>();
  sqlite3_open(":memory:", &d->db);
  sqlite3_exec(d->db, "CREATE TABLE records(value TEXT NOT NULL)", nullptr, nullptr, nullptr);
  sqlite3_exec(d->db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt *insert = nullptr;
  sqlite3_prepare_v2(d->db, "INSERT INTO records VALUES(?)", -1, &insert, nullptr);
  for (std::string_view r : set.index) {
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
  const auto d = open_database(set);
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
