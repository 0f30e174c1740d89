// Scanned input: the input tokens that act as keys, the routing of scanned data to the field it
// belongs to, and the acknowledgement of scans made while a field is being typed in.
#include <array>

#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"
#include "fields/help_records.h"
#include "fields/table.h"
#include "panel/internal.h"
#include "panel/panel.h"

namespace vek {
namespace {

struct Token {
  std::string_view text;  // compared with the first characters of the data
  EditResult key;         // the key the token stands for
};

// Compared in this order.
constexpr Token kTokens[] = {
    {"$OK$", kEditOk},      {"$LT$", kEditPrevious}, {"$RT$", kEditNext},
    {"$CAN$", kEditCancel}, {"$CLR$", kEditClear},   {"$ENT$", kEditEnter},
};

std::string_view data_id(const Field &field) {
  std::size_t n = 0;
  while (n + 1 < field.data_id.size() && field.data_id[n] != 0)
    ++n;
  return {field.data_id.data(), n};
}

// The part of the data identifier that is removed from a scanned value: none when KEEPDI is set.
std::size_t strip_length(const Field &field) {
  return field.keep_di == 1 ? 0 : data_id(field).size();
}

bool claims(const Field &field, std::string_view data) {
  const std::string_view id = data_id(field);
  return !id.empty() && begins_with(data, id);
}

// A fixed-length field takes exactly its length, a variable-length one at most its length.
bool fits(const Field &field, std::size_t length) {
  const auto m = static_cast<std::int64_t>(length);
  if (field.mode == 'F') return field.length == m;
  if (field.mode == 'V') return field.length >= m;
  return false;
}

// Shows why a scan was refused. Returns kScanRefused.
EditResult refuse(std::int32_t record) {
  message_popup(record, record, 0);
  return kScanRefused;
}

// Puts the value into field k: drawn over a blank field, copied into the edit buffer, made current.
// Returns kScanAccepted.
EditResult accept(int k, std::string_view value) {
  const Field &field = g_fields.fields[static_cast<std::size_t>(k)];
  int scratch = 0;
  _VioWrtNChar(field.row, field.col, '_', field.length, &scratch, 0);
  _VioWrtCharStr(value.data(), static_cast<int>(value.size()), field.row, field.col, &scratch, 1);
  copy_text(g_edit.buffer.data(), g_edit.buffer.size(), value.data(), value.size());
  g_fields.current_field = k;
  return kScanAccepted;
}

constexpr char kIgnoredTypes[] = {21, 23};  // sensor records that carry no scan

}  // namespace

bool sensor_ignored() {
  for (char type : kIgnoredTypes)
    if (g_edit.sensor[0] == type) return true;
  return false;
}

std::string_view sensor_data() {
  const int length = static_cast<signed char>(g_edit.sensor[2]);
  const int room = kSensorSize - kSensorData;
  const int n = length < 0 ? 0 : (length > room ? room : length);
  return {g_edit.sensor.data() + kSensorData, static_cast<std::size_t>(n)};
}

EditResult input_token(std::string_view data) {
  for (const Token &token : kTokens)
    if (begins_with(data, token.text)) return token.key;
  return kEditGoesOn;
}

EditResult scan_routing() {
  const std::string_view data = sensor_data();
  if (const EditResult key = input_token(data); key != kEditGoesOn) return key;

  const int index = current_index();
  const Field &field = current();
  if (claims(field, data)) {
    const std::string_view value = text_part(data, strip_length(field));
    return fits(field, value.size()) ? accept(index, value) : refuse(kRecordNoFit);
  }

  // Another field whose identifier begins the data and whose length takes the rest; one that
  // matches but does not fit is passed over.
  for (int k = 0; k < kFieldCount; ++k) {
    const Field &other = g_fields.fields[static_cast<std::size_t>(k)];
    if (other.defined != 1 || !claims(other, data)) continue;
    const std::string_view value = text_part(data, strip_length(other));
    if (fits(other, value.size())) return accept(k, value);
  }

  if (field.input == kInputAlpha || field.input == kInputNum) return refuse(kRecordKeyboardOnly);
  if (!data_id(field).empty() && field.mandatory_di == 1) return refuse(kRecordIdentifierNeeded);
  return fits(field, data.size()) ? accept(index, data) : refuse(kRecordNoFit);
}

EditResult scan_feedback() {
  if (sensor_ignored()) return kEditGoesOn;
  _SpkBeep(0, 2, 3);
  _SenActLed(0, 60);
  return input_token(sensor_data());
}

}  // namespace vek
