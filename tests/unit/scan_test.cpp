// Scanned input while a field is edited: input tokens, routing by data identifier, the refusals, and
// records that are too long or lie about their length.
#include <functional>

#include "panel_fixture.h"

namespace paneltest {
namespace {

using Scan = PanelTest;

vek::Field &field(int number) {
  return vek::g_fields.fields[static_cast<std::size_t>(number - 1)];
}
void set_id(vek::Field &f, const char *id) {
  vek::copy_text(f.data_id.data(), f.data_id.size(), id, 4);
}

// Field 2 (row 3) is being edited; fields 5 and 7 (rows 6 and 8) share the identifier "E".
void panel() {
  set_id(PanelTest::define(4, vek::kInputAiAlpha, 6, 6), "E");
  set_id(PanelTest::define(6, vek::kInputAiAlpha, 6, 8), "E");
  set_id(PanelTest::define(1, vek::kInputAiAlpha, 8, 3), "B");
}

struct Outcome {
  int result, current;        // current: field number
  std::string text, message;  // message: the pop-up's first line shown meanwhile, if any
  bool operator==(const Outcome &) const = default;
};
std::ostream &operator<<(std::ostream &out, const Outcome &o) {
  return out << o.result << " field " << o.current << " \"" << o.text << "\" \"" << o.message << '"';
}

// Scans once the edit has started, then ends the edit with Enter if the scan did not.
Outcome scan_during_edit(const std::string &record) {
  script::delay(10);
  script::raw_scan(record);
  script::delay(300);
  script::snapshot();
  script::delay(2000);
  script::key(key::Enter);
  const int result = vek::field_input("", 0);
  const std::string shown = snapped(0, 2);
  const std::size_t last = shown.find_last_not_of(' ', 24);
  return {result, vek::g_fields.current_field + 1, result == 1 ? text() : "",
          shown[2] == '|' ? shown.substr(3, last - 2) : ""};
}

std::string record(const std::string &data, char type = 1) {
  return std::string{type, 0, static_cast<char>(data.size())} + data;
}

TEST_F(Scan, RoutingByDataIdentifier) {
  struct Case {
    std::function<void()> setup;
    std::string data;
    Outcome expected;
  };
  const Case cases[] = {
      {[] {}, "B1234", {1, 2, "1234", ""}},
      {[] {}, "E12345", {1, 5, "12345", ""}},
      {[] {}, "E1234567", {1, 2, "E1234567", ""}},  // fits neither E field: taken whole here
      {[] { field(5).keep_di = 1; }, "E12345", {1, 5, "E12345", ""}},
      {[] { field(2).mode = 'F', field(2).length = 6; }, "B123456", {1, 2, "123456", ""}},
      {[] { field(2).mode = 'F', field(2).length = 6; }, "B12345", {13, 2, "", "DOES NOT FIT"}},
      {[] { set_id(field(2), "E"), field(5).length = 10; }, "E123456789", {13, 2, "", "DOES NOT FIT"}},
      {[] { field(7).length = 8; }, "E1234567", {1, 7, "1234567", ""}},
      {[] {}, "X12345678", {13, 2, "", "DOES NOT FIT"}},
      {[] { field(2).mode = 0; }, "X1", {13, 2, "", "DOES NOT FIT"}},
      {[] { field(2).input = vek::kInputAlpha; }, "X1", {13, 2, "", "KEYS ONLY"}},
      {[] { field(2).input = vek::kInputNum; }, "E12345", {1, 5, "12345", ""}},
      {[] { field(2).mandatory_di = 1; }, "X1", {13, 2, "", "ID NEEDED"}},
      {[] { field(2).input = vek::kInputAiNum; }, "X1", {1, 2, "X1", ""}},
  };
  for (const Case &c : cases) {
    SetUp();
    panel();
    c.setup();
    const Outcome out = scan_during_edit(record(c.data));
    EXPECT_EQ(out, c.expected) << c.data;
    if (out.result != 1) continue;
    const vek::Field &f = field(out.current);
    EXPECT_EQ(row(f.row).substr(f.col, 10), (out.text + std::string(10, '_')).substr(0, f.length) +
                                                std::string(10 - static_cast<std::size_t>(f.length), ' '))
        << c.data;
    ASSERT_EQ(vekterm::beeps().size(), 1u);
    EXPECT_TRUE(vekterm::beeps()[0].tone == 2 && vekterm::leds()[0].duration == 60) << c.data;
  }
}

TEST_F(Scan, TokensActAsKeysAndOtherDataIsDroppedOnceTyping) {
  const std::pair<const char *, int> cases[] = {
      {"$OK$", key::Ok},      {"$OK$MORE", key::Ok}, {"$LT$", key::Previous}, {"$RT$", key::Next},
      {"$CAN$", key::Cancel}, {"$CLR$", key::Clear}, {"$ENT$", key::Enter},   {"$ENT", 0}};
  for (const auto &[data, code] : cases) {
    for (bool typed_first : {false, true}) {
      SetUp();
      panel();
      if (typed_first) script::text("a");
      const Outcome out = scan_during_edit(record(data));
      const std::string what = std::string(data) + (typed_first ? " after a key" : " before any key");
      EXPECT_EQ(out.result, code != 0 ? code : (typed_first ? key::Enter : 1)) << what;
      EXPECT_EQ(vekterm::beeps().size(), typed_first || code == 0 ? 1u : 0u) << what;
      EXPECT_EQ(text(), typed_first ? "A" : (code == 0 ? data : "")) << what;
    }
  }
}

TEST_F(Scan, IgnoredAndMalformedRecords) {
  const std::string data96(96, '7');
  const std::tuple<std::string, int, Outcome> cases[] = {
      {record("X1", 21), 8, {13, 2, "", ""}},
      {record(data96), 39, {13, 2, "", "DOES NOT FIT"}},
      {record(data96), 500, {1, 2, data96.substr(0, 63), ""}},
      {std::string{1, 0, '\xF0', 'A', 'B'}, 8, {1, 2, "", ""}},  // negative length: no data
      {std::string{1, 0, 120, 'A', 'B'}, 500, {1, 2, "AB", ""}},
  };
  for (const auto &[raw, length, expected] : cases) {
    SetUp();
    panel();
    field(2).length = length;
    EXPECT_EQ(scan_during_edit(raw), expected) << raw.size() << " bytes, length byte " << int{raw[2]};
  }
}

}  // namespace
}  // namespace paneltest
