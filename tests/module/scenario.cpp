#include "scenario.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "dispatch/terminal.h"

// Allocation watch. This program replaces malloc, calloc, realloc and operator new with counting
// wrappers around the C library's allocator (operator delete frees through free). While `main` runs
// they count every call made from the module's own code (the terminal services and the test allocate
// as they like); the fixture expects the count to stay 0. The sanitizers replace malloc themselves, so
// under them the wrappers are left out and the watch is off (VEKTEST_ALLOCATION_WATCH is 0; each test
// records that as a property).
namespace {

std::atomic<const void *> g_watched_base{nullptr};  // the module's load address while `main` runs
std::atomic<int> g_module_allocations{0};
thread_local bool t_noting = false;  // dladdr may allocate: such calls are not looked at

[[maybe_unused]] void note(const void *caller) {
  const void *base = g_watched_base.load(std::memory_order_relaxed);
  if (!base || t_noting) return;
  t_noting = true;
  Dl_info info{};
  if (dladdr(caller, &info) != 0 && info.dli_fbase == base) ++g_module_allocations;
  t_noting = false;
}

}  // namespace

#if VEKTEST_ALLOCATION_WATCH
extern "C" void *__libc_malloc(std::size_t);
extern "C" void *__libc_calloc(std::size_t, std::size_t);
extern "C" void *__libc_realloc(void *, std::size_t);
extern "C" void __libc_free(void *);

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
#endif

namespace vektest {

std::string record(std::string_view rest) {
  const std::size_t n = rest.size() % 100;
  return std::string{static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)}.append(rest);
}

void Scenario::SetUp() {
  script::reset();
  module_ = dlopen(VEKPANEL_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module_, nullptr) << dlerror();
  main_ = reinterpret_cast<int (*)(int, const char *)>(dlsym(module_, "main"));
  ASSERT_NE(main_, nullptr) << dlerror();
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void *>(main_), &info), 0);
  module_base_ = info.dli_fbase;
  g_module_allocations = 0;
  RecordProperty("allocation_watch", VEKTEST_ALLOCATION_WATCH ? "on" : "off: the sanitizers replace malloc");
}

void Scenario::TearDown() {
  for (const std::string &failure : script::take_failures())
    ADD_FAILURE() << failure;
  EXPECT_EQ(g_module_allocations.load(), 0) << "the module allocated memory while main ran";
  if (module_) dlclose(module_);
  // The next test must start from a module loaded afresh, with its tables zero.
  EXPECT_EQ(dlopen(VEKPANEL_MODULE, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the module stayed loaded";
}

int Scenario::call(int reason, const std::string &text) {
  g_watched_base = module_base_;
  const int result = main_(reason, text.c_str());
  g_watched_base = nullptr;
  return result;
}

void Scenario::paint(int r, int column, std::string_view text) {
  int scratch = 0;
  _VioWrtCharStr(text.data(), static_cast<int>(text.size()), r, column, &scratch, 0);
}

void Scenario::paint_pattern() {
  for (int r = 0; r < vekterm::kRows; ++r) {
    std::string line;
    for (int c = 0; c < vekterm::kColumns; ++c)
      line += static_cast<char>('a' + (r + c) % 26);
    paint(r, 0, line);
  }
}

std::vector<std::string> Scenario::cancelled_panel() {
  for (int r = 0; r < vekterm::kRows; ++r)
    paint(r, 0, std::string(vekterm::kColumns, ' '));
  script::key(key::Cancel);
  vekterm::set_variable(40, "REASON=9");
  command("EXEC_PA VAR=40");
  return screen();
}

std::vector<std::string> Scenario::screen() {
  std::vector<std::string> rows;
  for (int r = 0; r < vekterm::kRows; ++r)
    rows.push_back(row(r));
  return rows;
}

void Scenario::play(std::string_view keys) {
  constexpr std::string_view kNamed = "\n\b<>^|!#@?";
  constexpr std::uint16_t kCodes[] = {key::Enter, key::Backspace, key::Left,   key::Right, key::Previous,
                                      key::Next,  key::Ok,        key::Cancel, key::Clear, key::Help};
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const char ch = keys[i];
    if (const std::size_t at = kNamed.find(ch); at != std::string_view::npos) {
      script::key(kCodes[at]);
    } else if (ch == '[') {
      const std::size_t end = keys.find(']', i);
      script::delay(10);  // once the edit has started: scans waiting before are dropped
      script::scan(keys.substr(i + 1, end - i - 1));
      i = end;
    } else if (ch == '*') {
      script::delay(50);  // once the edit has started
      script::host_stop();
    } else if (ch == '~') {
      script::delay(1000);
    } else if (ch == '$') {
      script::delay(100);
      script::snapshot();
      script::delay(2000);
    } else {
      script::key(static_cast<unsigned char>(ch));
    }
  }
}

}  // namespace vektest
