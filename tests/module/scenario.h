// Scenario fixture: a fresh headless terminal and a freshly loaded module for every test, driven the
// way a host drives it, through the exported `main`. Every call of `main` is also watched for
// allocations made by the module's code: the test fails when there was one (see scenario.cpp).
#ifndef VEKPANEL_TESTS_SCENARIO_H
#define VEKPANEL_TESTS_SCENARIO_H

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "vekterm/vekterm.h"

namespace vektest {

namespace key = vek::key;
namespace script = vekterm::headless;

// A record with its two length digits put in front: record("DICOUNT ...") gives "NNDICOUNT ...".
std::string record(std::string_view rest);

// Pads or cuts a text to the 40 columns of a screen row.
inline std::string row40(std::string_view text) {
  std::string out(text.substr(0, vekterm::kColumns));
  out.resize(vekterm::kColumns, ' ');
  return out;
}

class Scenario : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  int call(int reason, const std::string &text = {});
  int command(std::string_view rest) { return call(3, record(rest)); }  // reason 3, length added

  static std::string row(int r) { return vekterm::screen_row(r); }
  static std::string attributes(int r) { return vekterm::attribute_row(r); }
  // Writes text on the screen directly, as the host's own output would.
  static void paint(int r, int column, std::string_view text);
  // Fills the whole screen with a pattern that differs on every row, to see what a window covers.
  static void paint_pattern();
  // Runs EXEC_PA on the defined fields over a blank screen, cancelled at once; returns the screen.
  std::vector<std::string> cancelled_panel();
  // The screen's 20 rows.
  static std::vector<std::string> screen();
  // Scripts an operator's keys written as text: '\n' Enter, '\b' Backspace, '<' Left, '>' Right, '^'
  // Previous, '|' Next, '!' OK, '#' Cancel, '@' Clear, '?' Help, '[data]' a scan 10 ms on, '*' a host
  // stop request 50 ms on, '~' a second passing, '$' a snapshot 100 ms on and then 2 s passing (for a
  // message to show and end); any other character is its own key.
  static void play(std::string_view keys);

  // Takes the stalls the terminal recorded; a test that expects one checks it and it is forgotten.
  static std::vector<std::string> stalls() { return script::take_failures(); }

 private:
  void *module_ = nullptr;
  const void *module_base_ = nullptr;  // load address of the module, to tell its calls from others'
  int (*main_)(int, const char *) = nullptr;
};

}  // namespace vektest

#endif
