// Whole panels on the headless terminal, through the built module's `main` as a host calls it: ten
// fields defined, typed or scanned, validated (range, mask, list, date, check of a scanned code) and
// the values handed back. Real time per panel; the terminal's clock is virtual.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <string>

#include "vekterm/vekterm.h"

namespace {

namespace script = vekterm::headless;
namespace key = vek::key;

using Entry = int (*)(int, const char *);

std::string record(const std::string &rest) {
  const std::size_t n = rest.size() % 100;
  return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10) + rest;
}

constexpr const char *kDefinitions[] = {
    "FI=1,DI=01,INPUT=AIALPHA,LEN=8,ROW=2,COL=12,VERT=B,RUV=1",
    "FI=2,INPUT=NUM,LEN=7.2,ROW=3,COL=12,VERT=R,30,31,RUV=2",
    "FI=3,INPUT=ALPHA,LEN=7,ROW=4,COL=12,VERT=F,40,RUV=3",
    "FI=4,INPUT=DATE_EURO,LEN=10,ROW=5,COL=12,RUV=4",
    "FI=5,INPUT=ALPHA,LEN=2,ROW=6,COL=12,VERF=B_LOC,RUV=5",
    "FI=6,INPUT=ALPHA,LEN=6,ROW=7,COL=12,RUV=6",
    "FI=7,INPUT=NUM,LEN=4,ROW=8,COL=12,RUV=7",
    "FI=8,INPUT=ALPHA,LEN=10,ROW=9,COL=12,RUV=8",
    "FI=9,INPUT=NUM,LEN=5,ROW=10,COL=12,VERT=R,30,31,RUV=9",
    "FI=10,INPUT=ALPHA,LEN=3,ROW=11,COL=12,REQ=N,RUV=10",
};

void BM_WholePanel(benchmark::State &state) {
  void *module = dlopen(VEKPANEL_MODULE, RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    state.SkipWithError("the module did not load");
    return;
  }
  const auto entry = reinterpret_cast<Entry>(dlsym(module, "main"));
  script::reset();
  vekterm::add_file(
      "HELP.VAL",
      vekterm::make_image({"0001 CHECKING",     "0002 TOO MUCH",     "0003 NOT IN LIST", "0004 OUT OF RANGE",
                           "0005 WRONG CODE",   "0006 CHECK DIGIT",  "0007 NO LIST",     "0008 FILL IN",
                           "0009 NOT COMPLETE", "0010 KEY NOT HERE", "0011 TIME UP",     "0012 TOO LONG",
                           "0013 DO NOT SCAN",  "0015 WRONG LABEL",  "0016 PRESS ENTER", "0017 BAD DATE",
                           "0018 BAD LOT",      "0030 0.01",         "0031 9999.99",     "0040 aa-nnnn"}));
  vekterm::add_file("B_LOC.VAL", vekterm::make_image({"A1", "A2", "B1", "B2", "C1"}));
  for (int i = 0; i < 10; ++i)
    vekterm::set_variable(20 + i, kDefinitions[i]);
  vekterm::set_variable(30, "REASON=19,ERET=S");
  std::string commands[12];
  commands[0] = record("CLEAR_P");
  for (int i = 0; i < 10; ++i)
    commands[i + 1] = record("SET_FIE VAR=" + std::to_string(20 + i));
  commands[11] = record("EXEC_PA VAR=30");

  std::int64_t accepted = 0;
  for (auto _ : state) {
    for (int i = 0; i < 11; ++i)
      entry(3, commands[i].c_str());
    script::delay(10);  // a scan waiting when the edit starts is dropped: it comes while the edit runs
    script::scan("0104012357");
    script::text("12.5");
    script::key(key::Enter);
    script::text("ab-1234");
    script::key(key::Enter);
    script::text("14032019");
    script::key(key::Enter);
    script::text("B1");
    script::key(key::Enter);
    script::text("PALLET");
    script::key(key::Enter);
    script::text("42");
    script::key(key::Enter);
    script::text("NOTE");
    script::key(key::Enter);
    script::text("300");
    script::key(key::Ok);
    entry(3, commands[11].c_str());
    accepted += vekterm::variable(19) == "OK";
    vekterm::set_variable(19, "");
  }
  if (accepted != static_cast<std::int64_t>(state.iterations()) || !script::failures().empty())
    state.SkipWithError(("a panel was not accepted: " + vekterm::screen_text()).c_str());
  state.counters["panels_per_second"] =
      benchmark::Counter(static_cast<double>(accepted), benchmark::Counter::kIsRate);
  dlclose(module);
}

}  // namespace

BENCHMARK(BM_WholePanel)->Unit(benchmark::kMicrosecond);
