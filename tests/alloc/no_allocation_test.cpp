// The module allocates nothing: malloc, calloc, realloc and operator new are replaced in this program,
// and every call whose caller lies inside the loaded module is counted while a whole scripted session
// runs through `main`.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "vekterm/vekterm.h"

extern "C" void *__libc_malloc(std::size_t);
extern "C" void *__libc_calloc(std::size_t, std::size_t);
extern "C" void *__libc_realloc(void *, std::size_t);
extern "C" void __libc_free(void *);

namespace {

std::atomic<const void *> g_module_base{nullptr};
std::atomic<int> g_from_module{0};
thread_local bool t_inside = false;

void note(const void *caller) {
  const void *base = g_module_base.load();
  if (!base || t_inside) return;
  t_inside = true;
  Dl_info info{};
  if (dladdr(caller, &info) != 0 && info.dli_fbase == base) ++g_from_module;
  t_inside = false;
}

}  // namespace

extern "C" void *malloc(std::size_t size) {
  note(__builtin_return_address(0));
  return __libc_malloc(size);
}
extern "C" void *calloc(std::size_t n, std::size_t size) {
  note(__builtin_return_address(0));
  return __libc_calloc(n, size);
}
extern "C" void *realloc(void *p, std::size_t size) {
  note(__builtin_return_address(0));
  return __libc_realloc(p, size);
}
extern "C" void free(void *p) {
  __libc_free(p);
}

void *operator new(std::size_t size) {
  note(__builtin_return_address(0));
  if (void *p = __libc_malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void *operator new[](std::size_t size) {
  note(__builtin_return_address(0));
  if (void *p = __libc_malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void *p) noexcept {
  __libc_free(p);
}
void operator delete[](void *p) noexcept {
  __libc_free(p);
}
void operator delete(void *p, std::size_t) noexcept {
  __libc_free(p);
}
void operator delete[](void *p, std::size_t) noexcept {
  __libc_free(p);
}

namespace {

namespace key = vek::key;
namespace script = vekterm::headless;

std::string record(const std::string &rest) {
  const std::size_t n = rest.size() % 100;
  return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10) + rest;
}

TEST(NoAllocation, AWholeSessionAllocatesNothingInsideTheModule) {
  script::reset();
  void *module = dlopen(VEKPANEL_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  auto entry = reinterpret_cast<int (*)(int, const char *)>(dlsym(module, "main"));
  ASSERT_NE(entry, nullptr);
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void *>(entry), &info), 0);

  vekterm::add_file(
      "HELP.VAL", vekterm::make_image({"0001 CHECKING", "0003 REFUSED", "0008 FILL IN", "0009 FILL IT UP",
                                       "0010 NOT HERE", "0011 TIME UP", "0012 TOO LONG", "0013 NOT SCANNED",
                                       "0016 PRESS ENTER", "0020 HELP FOR THE ITEM", "0030 ????-nn",
                                       "0040 0010", "0041 0500", "0050 FI=3,INPUT=NUM,LEN=6.2,ROW=8,COL=2"}));
  vekterm::add_file("B_LOC.VAL", vekterm::make_image({"A1", "B2"}));
  vekterm::set_variable(20, "FI=1,INPUT=AI,LEN=8,ROW=4,COL=2,DI=IT,VERT=T,RUV=11,HELP=20,20");
  vekterm::set_variable(21, "FI=2,INPUT=ALPHA,LEN=7,ROW=6,COL=2,VERT=F 30,RUV=12");
  vekterm::set_variable(22, "FI=4,INPUT=ALPHA,LEN=2,ROW=10,COL=2,VERF=B_LOC,RUV=13");
  vekterm::set_variable(23, "FI=5,INPUT=DATE_EURO,LEN=10,ROW=12,COL=2,RUV=14");
  vekterm::set_variable(24, "T=30,REASON=15,CON=Y");
  vekterm::set_variable(30, "12");
  vekterm::set_variable(31, "30");

  g_module_base = info.dli_fbase;
  const char *const setup[] = {"CLEAR_P",         "SET_HEL FILE=HELP.VAL", "SET_FIE VAR=20", "SET_FIE VAR=21",
                               "SET_FIE HELP=50", "SET_FIE VAR=22",        "SET_FIE VAR=23"};
  for (const char *command : setup)
    entry(3, record(command).c_str());
  script::key(key::Help);
  script::key(key::Enter);
  script::scan("IT40012344");
  script::text("abcd-12");
  script::key(key::Enter);
  script::text("12.5");
  script::key(key::Enter);
  script::text("c3");
  script::key(key::Ok);
  script::key(key::Enter);
  script::key(key::Clear);
  script::text("a1");
  script::key(key::Ok);
  script::delay(60000);
  script::key(key::Cancel);
  entry(3, record("EXEC_PA VAR=24").c_str());
  entry(4, "");
  for (const char *command : {"DICOUNT   1  I30", "CHKUNIQ 1 R", "INTMATH   30 + 31 32", "CMP_INT   30 > 31",
                              "COMPARE   30 = 31", "TM_DATE   AMER 33 34", "TRANMSG   0 hello",
                              "V_DELAY   0003", "POPUPWN C     03       ", "POPUPWN R", "WAIT_UV   31 2"})
    entry(3, record(command).c_str());
  script::key(key::Enter);
  entry(5, "");
  entry(0, "");
  // A second panel after a reset: a value refused by the terminal's validation file, help asked for
  // while the help file is missing, a time-out, and the trace display.
  vekterm::add_file("LST.VAL", vekterm::make_image({"X1", "X3"}));
  vekterm::set_variable(25, "FI=1,INPUT=ALPHA,LEN=2,ROW=2,COL=1,VERF=LST,RUV=16,HELP=20,20");
  vekterm::set_variable(26, "T=5,TOE=T,REASON=15,ERET=A");
  for (const char *command : {"CLEAR_P", "SET_FIE VAR=25", "SET_HEL FILE=NONE.VAL"})
    entry(3, record(command).c_str());
  entry(4, "");
  script::key(key::Enter);
  script::key(key::Help);
  script::key(key::Enter);
  script::text("X2");
  script::key(key::Ok);
  script::delay(3000);
  script::key(key::Enter);
  script::key(key::Clear);
  script::text("X3");
  script::delay(6000);
  entry(3, record("EXEC_PA VAR=26").c_str());
  entry(2, "");
  g_module_base = nullptr;
  script::take_failures();

  EXPECT_EQ(g_from_module.load(), 0) << "allocations made from inside the module";
  dlclose(module);
}

}  // namespace
