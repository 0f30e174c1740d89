// Shared set-up of the panel unit tests: a fresh headless terminal, an empty field table and a help
// file whose message records name themselves, so a screen row shows which message was up.
#ifndef VEKPANEL_TESTS_UNIT_PANEL_FIXTURE_H
#define VEKPANEL_TESTS_UNIT_PANEL_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dispatch/dispatch.h"
#include "fields/table.h"
#include "panel/internal.h"
#include "panel/panel.h"
#include "vekterm/keys.h"
#include "vekterm/vekterm.h"

namespace paneltest {

namespace key = vekterm::key;
namespace script = vekterm::headless;

inline std::string row40(std::string text) {
  text.resize(40, ' ');
  return text;
}

// The interior line of a pop-up window, as the row shows it over a blank screen.
inline std::string boxed(const std::string &text) {
  std::string inner = text;
  inner.resize(22, ' ');
  return row40("  |" + inner + "|");
}

class PanelTest : public ::testing::Test {
 public:
  // Also called again by table tests between cases: the stalls of the case before are reported first.
  void SetUp() override {
    for (const std::string &failure : script::take_failures())
      ADD_FAILURE() << failure;
    script::reset();
    vek::g_fields = {};
    vek::g_edit = {};
    vek::g_dispatch.trace_flag = 0;
    vekterm::add_file("HELP.VAL",
                      vekterm::make_image({"0009 NOT FULL", "0010 KEY REFUSED", "0011 TOO LATE",
                                           "0012 DOES NOT FIT", "0013 KEYS ONLY", "0015 ID NEEDED",
                                           "0016 PRESS ENTER", "0020 HELP ONE", "0021 HELP TWO"}));
  }
  void TearDown() override {
    for (const std::string &failure : script::take_failures())
      ADD_FAILURE() << failure;
  }

  // Defines field `index` with the usual start values and makes it current.
  static vek::Field &define(int index, std::uint8_t input, int length, int row = 5, int col = 10) {
    vek::Field &f = vek::g_fields.fields[static_cast<std::size_t>(index)];
    f = {};
    f.defined = 1;
    f.input = input;
    f.mode = 'V';
    f.length = length;
    f.precision = -1;
    f.row = static_cast<std::uint8_t>(row);
    f.col = static_cast<std::uint8_t>(col);
    f.edit = 1;
    f.ver_type = 'N';
    f.required = 1;
    f.result_uv = 1;
    vek::g_fields.current_field = index;
    return f;
  }

  static std::string text() { return vek::g_edit.buffer.data(); }
  static std::string row(int r) { return vekterm::screen_row(r); }
  static std::string attribute_row(int r) { return vekterm::attribute_row(r); }
  // Rows shown by the snapshots taken while the call ran.
  static std::string snapped(std::size_t which, int r) {
    const auto &shots = script::snapshots();
    return which < shots.size() ? shots[which][static_cast<std::size_t>(r)] : std::string("(no snapshot)");
  }
  // Number of alert beeps of the message pop-up, and of beeps that acknowledge a scan.
  static int beeps(int tone) {
    int n = 0;
    for (const auto &b : vekterm::beeps())
      n += b.tone == tone;
    return n;
  }
};

}  // namespace paneltest

#endif
