#include "scenario.h"

#include <dlfcn.h>

#include "dispatch/terminal.h"

namespace vektest {

std::string record(std::string_view rest) {
  const std::size_t n = rest.size() % 100;
  std::string out;
  out += static_cast<char>('0' + n / 10);
  out += static_cast<char>('0' + n % 10);
  out += rest;
  return out;
}

std::string row40(std::string_view text) {
  std::string out(text.substr(0, vekterm::kColumns));
  out.resize(vekterm::kColumns, ' ');
  return out;
}

void Scenario::SetUp() {
  script::reset();
  module_ = dlopen(VEKPANEL_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module_, nullptr) << dlerror();
  main_ = reinterpret_cast<int (*)(int, const char *)>(dlsym(module_, "main"));
  ASSERT_NE(main_, nullptr) << dlerror();
}

void Scenario::TearDown() {
  for (const std::string &failure : script::take_failures())
    ADD_FAILURE() << failure;
  if (module_) dlclose(module_);
  // The next test must start from a module loaded afresh, with its tables zero.
  EXPECT_EQ(dlopen(VEKPANEL_MODULE, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the module stayed loaded";
}

int Scenario::call(int reason, const std::string &text) {
  return main_(reason, text.c_str());
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

}  // namespace vektest
