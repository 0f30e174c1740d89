// The module's size as `size` reports it (text includes the constant tables; data and bss are the
// static state), beside the services library's for scale.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

struct Sizes {
  double text = 0, data = 0, bss = 0;
};

Sizes sizes_of(const char *library) {
  Sizes s;
  const std::string command = std::string("size ") + library;
  FILE *out = popen(command.c_str(), "r");
  if (!out) return s;
  char line[512];
  if (std::fgets(line, sizeof line, out) && std::fgets(line, sizeof line, out)) {
    unsigned long text = 0, data = 0, bss = 0;
    if (std::sscanf(line, "%lu %lu %lu", &text, &data, &bss) == 3)
      s = {double(text), double(data), double(bss)};
  }
  pclose(out);
  return s;
}

void report(benchmark::State &state, const char *library) {
  for (auto _ : state)
    benchmark::DoNotOptimize(state.iterations());
  const Sizes s = sizes_of(library);
  if (s.text == 0) state.SkipWithError("`size` did not run");
  state.counters["text_bytes"] = s.text;
  state.counters["data_bytes"] = s.data;
  state.counters["bss_bytes"] = s.bss;
}

void BM_Size_Module(benchmark::State &state) {
  report(state, VEKPANEL_MODULE);
}
void BM_Size_ServicesLibrary(benchmark::State &state) {
  report(state, VEKTERM_LIBRARY);
}

}  // namespace

BENCHMARK(BM_Size_Module)->Iterations(1);
BENCHMARK(BM_Size_ServicesLibrary)->Iterations(1);
