// Panel execution, private to panel/: the edit buffer shared by the panel run, the field editor and
// the scan routing, and the routines the panel run calls.
#ifndef VEKPANEL_PANEL_INTERNAL_H
#define VEKPANEL_PANEL_INTERNAL_H

#include <array>
#include <cstdint>
#include <string_view>

#include "dispatch/dispatch.h"

namespace vek {

inline constexpr int kEditSize = 64;
inline constexpr int kSensorSize = 100;  // a sensor record: byte 0 type, byte 2 data length, data from 3
inline constexpr int kSensorData = 3;    // first data byte of a sensor record

struct EditState {
  std::array<char, kEditSize> buffer;    // text of the field being edited, NUL-terminated
  std::int32_t cursor;                   // index into the buffer; the screen cursor follows it
  std::array<char, kSensorSize> sensor;  // the sensor record read last
};
extern EditState g_edit;

// Per-run settings, reset at the start of every run that found its option text.
struct RunSettings {
  int start_field;          // index where editing starts
  std::int32_t time_limit;  // seconds per field edit; 0 none
  char toe;                 // what a time-out does: 'T' acts as OK, others cancel
  char eret;                // result code set: 'N', 'S' or 'A'
  bool clear_new;           // CNP=Y: values not prefilled start empty
  std::uint16_t reason_uv;  // reason variable; 0 none
  bool clear_toggle;        // Clear key: the field is edited again from an empty text
};

// EXEC_PA's state: the settings of the run and where the cursor stood when it began.
struct ExecState {
  RunSettings run;
  std::uint8_t saved_row, saved_col;  // cursor position at the start of the edit loop
};
extern ExecState g_exec;

// What the field editor and the scan routing hand back: a key that ends the edit, typed or given by a
// scanned input token, or one of the outcomes of a scan or of the time limit.
enum [[nodiscard]] EditResult : int{
    kEditGoesOn = 0,    // no outcome yet (inside the editor; a scan without a token)
    kScanAccepted = 1,  // scanned data was put into a field, now current_field
    kTimedOut = 2,      // the time limit passed
    kScanRefused = 3,   // the scan was refused; the reason has been shown
    kEditEnter = key::Enter, kEditCancel = key::Cancel, kEditPrevious = key::Previous,
    kEditOk = key::Ok,       kEditClear = key::Clear,   kEditNext = key::Next,
};

// Field editor on current_field, starting from `start_text`, with a time limit in seconds (0 none).
// Returns a key (kEditEnter to kEditNext), kScanAccepted (current_field may have changed) or
// kTimedOut; the text is left in g_edit.buffer.
EditResult field_input(const char *start_text, std::int32_t time_limit);

// Rewrites a committed value with decimal places into its fixed-width layout and redraws the field.
void number_layout(int index);

// Scanned input in g_edit.sensor.
//
// The data of the sensor record, bounded by the record: a negative or too large length byte never
// reaches past it.
std::string_view sensor_data();
// True for the record types 21 and 23, which carry no scan and are passed over.
bool sensor_ignored();
// Key of the input token the data begins with ("$OK$", "$LT$", ...), or kEditGoesOn when it begins
// with none.
EditResult input_token(std::string_view data);
// Routes the scan to the field it belongs to. Returns a token's key, kScanAccepted when the data was
// put into a field (now current_field, its text in g_edit.buffer and on the screen) or kScanRefused
// (the reason has been shown).
EditResult scan_routing();
// Acknowledges a scan made while a field is being typed in. Returns a token's key, or kEditGoesOn when
// the record is ignored or carries no token (its data is dropped).
EditResult scan_feedback();

}  // namespace vek

#endif
