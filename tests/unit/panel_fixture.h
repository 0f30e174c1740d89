// Shared set-up of the panel unit tests: a fresh headless terminal, an empty field table and a help
// file whose message records name themselves, so a screen row shows which message was up.
#ifndef VEKPANEL_TESTS_UNIT_PANEL_FIXTURE_H
#define VEKPANEL_TESTS_UNIT_PANEL_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "dispatch/state.h"
#include "panel/panel.h"
#include "vekterm/vekterm.h"

namespace paneltest {

namespace key = vek::key;
namespace script = vekterm::headless;

inline std::string row40(std::string text) {
  return text.resize(40, ' '), text;
}
// A line of a pop-up window drawn over a blank screen.
inline std::string boxed(std::string text) {
  return text.resize(22, ' '), row40("  |" + text + "|");
}
inline std::string row(int r) {
  return vekterm::screen_row(r);
}
inline std::string text() {
  return vek::g_edit.buffer.data();
}
// Row r of snapshot i, taken while the call ran.
inline std::string snapped(std::size_t i, int r) {
  const auto &shots = script::snapshots();
  return i < shots.size() ? shots[i][static_cast<std::size_t>(r)] : "(no snapshot)";
}

class PanelTest : public ::testing::Test {
 public:
  // Table tests call it again between cases; the stalls of the case before are reported first.
  void SetUp() override {
    TearDown();
    script::reset();
    vek::reset_module_state();
    vekterm::add_file(
        "HELP.VAL",
        vekterm::make_image({"0009 NOT FULL", "0010 KEY REFUSED", "0011 TOO LATE", "0012 DOES NOT FIT",
                             "0013 KEYS ONLY", "0015 ID NEEDED", "0016 PRESS ENTER", "0020 HELP ONE"}));
  }
  void TearDown() override {
    for (const std::string &failure : script::take_failures())
      ADD_FAILURE() << failure;
  }

  // Defines field `index` at row 5, column 10 with the usual start values and makes it current.
  static vek::Field &define(int index, std::uint8_t input, int length, int row = 5) {
    vek::Field &f = vek::g_fields.fields[static_cast<std::size_t>(index)];
    f = {};
    f.defined = f.edit = 1;
    f.input = input;
    f.mode = 'V';
    f.length = length;
    f.precision = -1;
    f.row = static_cast<std::uint8_t>(row);
    f.col = 10;
    vek::g_fields.current_field = index;
    return f;
  }
};

}  // namespace paneltest

#endif
