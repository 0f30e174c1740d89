// Scanned input while a field is edited: input tokens, routing by data identifier, the refusals, and
// records that are too long, too short or lie about their length.
#include <functional>

#include "panel_fixture.h"

namespace paneltest {
namespace {

using Scan = PanelTest;

void set_id(vek::Field &f, const char *id) {
  vek::copy_text(f.data_id.data(), f.data_id.size(), id, 4);
}

// Field 2 (index 1, row 3) is being edited; fields 5 and 7 (rows 6 and 8) share the identifier "E".
void panel() {
  set_id(PanelTest::define(4, vek::kInputAiAlpha, 6, 6), "E");
  set_id(PanelTest::define(6, vek::kInputAiAlpha, 6, 8), "E");
  set_id(PanelTest::define(1, vek::kInputAiAlpha, 8, 3), "B");
}
vek::Field &field(int number) {
  return vek::g_fields.fields[static_cast<std::size_t>(number - 1)];
}

struct Outcome {
  int result;
  int current;  // field number
  std::string text;
  std::string message;  // first line of the pop-up shown meanwhile, if any
};

// Scans once the edit has started, then ends the edit with Enter if the scan did not.
Outcome scan_during_edit(const std::string &record) {
  script::delay(10);
  script::raw_scan(record);
  script::delay(300);
  script::snapshot();
  script::delay(2000);
  script::key(key::Enter);
  Outcome out{vek::field_input("", 0), vek::g_fields.current_field + 1, vek::g_edit.buffer.data(), ""};
  const std::string shown = PanelTest::snapped(0, 2);
  if (shown.size() == 40 && shown[2] == '|')
    out.message = shown.substr(3, shown.find_last_not_of(' ', 24) - 2);
  return out;
}

std::string record(const std::string &data, char type = 1) {
  return std::string{type, 0, static_cast<char>(data.size())} + data;
}

TEST_F(Scan, RoutingByDataIdentifier) {
  struct Case {
    const char *what;
    std::function<void()> setup;
    std::string data;
    Outcome expected;
  };
  const Case cases[] = {
      {"own identifier", [] {}, "B1234", {1, 2, "1234", ""}},
      {"another field's identifier", [] {}, "E12345", {1, 5, "12345", ""}},
      {"the first field that fits", [] {}, "E1234567", {1, 2, "E1234567", ""}},
      {"keep identifier", [] { field(5).keep_di = 1; }, "E12345", {1, 5, "E12345", ""}},
      {"fixed length, identifier stripped",
       [] { field(2).mode = 'F', field(2).length = 6; },
       "B123456",
       {1, 2, "123456", ""}},
      {"fixed length one short",
       [] { field(2).mode = 'F', field(2).length = 6; },
       "B12345",
       {13, 2, "", "DOES NOT FIT"}},
      {"own identifier, too long for it only",
       [] { set_id(field(2), "E"), field(5).length = 10; },
       "E123456789",
       {13, 2, "", "DOES NOT FIT"}},
      {"lower-numbered field too long", [] { field(7).length = 8; }, "E1234567", {1, 7, "1234567", ""}},
      {"no identifier, whole scan", [] {}, "X1", {1, 2, "X1", ""}},
      {"whole scan too long", [] {}, "X12345678", {13, 2, "", "DOES NOT FIT"}},
      {"no length mode", [] { field(2).mode = 0; }, "X1", {13, 2, "", "DOES NOT FIT"}},
      {"keyboard-only ALPHA", [] { field(2).input = vek::kInputAlpha; }, "X1", {13, 2, "", "KEYS ONLY"}},
      {"keyboard-only NUM", [] { field(2).input = vek::kInputNum; }, "E12345", {1, 5, "12345", ""}},
      {"keyboard-only NUM", [] { field(2).input = vek::kInputNum; }, "X1", {13, 2, "", "KEYS ONLY"}},
      {"identifier required", [] { field(2).mandatory_di = 1; }, "X1", {13, 2, "", "ID NEEDED"}},
      {"identifier required but none",
       [] { set_id(field(2), ""), field(2).mandatory_di = 1; },
       "X1",
       {1, 2, "X1", ""}},
      {"AINUM takes any scan", [] { field(2).input = vek::kInputAiNum; }, "X1", {1, 2, "X1", ""}},
  };
  for (const Case &c : cases) {
    SetUp();
    panel();
    c.setup();
    const Outcome out = scan_during_edit(record(c.data));
    EXPECT_EQ(out.result, c.expected.result) << c.what;
    EXPECT_EQ(out.current, c.expected.current) << c.what;
    EXPECT_EQ(out.message, c.expected.message) << c.what;
    if (c.expected.result != 1) continue;
    EXPECT_EQ(out.text, c.expected.text) << c.what;
    const vek::Field &f = field(out.current);
    const auto length = static_cast<std::size_t>(f.length);
    EXPECT_EQ(row(f.row).substr(f.col, length),
              (c.expected.text + std::string(length, '_')).substr(0, length))
        << c.what;
    EXPECT_EQ(beeps(2), 1) << c.what;
    ASSERT_EQ(vekterm::leds().size(), 1u) << c.what;
    EXPECT_EQ(vekterm::leds()[0].duration, 60) << c.what;
  }
}

TEST_F(Scan, TokensActAsKeysInBothPhases) {
  struct Case {
    const char *data;
    int result;  // in both phases
  };
  const Case cases[] = {{"$OK$", key::Ok},
                        {"$OK$MORE", key::Ok},
                        {"$LT$", key::Previous},
                        {"$RT$", key::Next},
                        {"$CAN$", key::Cancel},
                        {"$CLR$", key::Clear},
                        {"$ENT$", key::Enter},
                        {"$ENT", 0},  // data: taken into the field before the first key, dropped after it
                        {"$ok$", 0}};
  for (const Case &c : cases) {
    for (bool typed_first : {false, true}) {
      SetUp();
      panel();
      if (typed_first) script::text("a");
      const Outcome out = scan_during_edit(record(c.data));
      const std::string what = std::string(c.data) + (typed_first ? " after a key" : " before any key");
      EXPECT_EQ(out.result, c.result != 0 ? c.result : (typed_first ? key::Enter : 1)) << what;
      EXPECT_EQ(beeps(2), typed_first || c.result == 0 ? 1 : 0) << what;
      EXPECT_EQ(out.text, typed_first ? "A" : (c.result == 0 ? c.data : "")) << what;
    }
  }
}

TEST_F(Scan, IgnoredRecordTypesAndMalformedRecords) {
  struct Case {
    const char *what;
    std::string record;
    int length;  // of the field
    Outcome expected;
  };
  const std::string long_data(96, '7');
  const Case cases[] = {
      {"type 21", record("X1", 21), 8, {13, 2, "", ""}},
      {"type 23", record("X1", 23), 8, {13, 2, "", ""}},
      {"96 bytes", record(long_data), 39, {13, 2, "", "DOES NOT FIT"}},
      {"96 bytes, huge field", record(long_data), 500, {1, 2, long_data.substr(0, 63), ""}},
      {"negative length", std::string{1, 0, '\xF0', 'A', 'B'}, 8, {1, 2, "", ""}},
      {"length beyond the record", std::string{1, 0, 120, 'A', 'B'}, 500, {1, 2, "AB", ""}},
      {"no length byte", std::string{1}, 8, {1, 2, "", ""}},
  };
  for (const Case &c : cases) {
    SetUp();
    panel();
    field(2).length = c.length;
    const Outcome out = scan_during_edit(c.record);
    EXPECT_EQ(out.result, c.expected.result) << c.what;
    EXPECT_EQ(out.text, c.expected.text) << c.what;
    EXPECT_EQ(out.message, c.expected.message) << c.what;
  }
}

}  // namespace
}  // namespace paneltest
