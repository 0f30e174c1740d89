// The panel's field table: 20 entries and the panel-wide values, module-wide and zero at load (defined
// with the rest of the module's state in dispatch/state.cpp).
// SET_FIE fills one entry, CLEAR_P discards the panel, SET_HEL names the help file; the panel run,
// display, input and validation read the entries and edit their values.
#ifndef VEKPANEL_FIELDS_TABLE_H
#define VEKPANEL_FIELDS_TABLE_H

#include <array>
#include <cstdint>

namespace vek {

inline constexpr int kFieldCount = 20;
inline constexpr int kValueSize = 41;     // 40 characters and the NUL
inline constexpr int kTokenSize = 41;     // keyword values are copied here and split
inline constexpr int kHelpNameSize = 16;  // help file name, at most 15 characters

// Input classes (field_input).
enum InputClass : std::uint8_t {
  kInputAi = 0,
  kInputAiAlpha = 1,
  kInputAlpha = 2,
  kInputNum = 3,
  kInputAiNum = 4,
  kInputDateAmer = 5,
  kInputDateEuro = 6,
  kInputTimeStd = 7,
  kInputPassword = 8,
  kInputMatching = 255,  // while "INPUT=" is being matched; never left in a defined entry
};

struct Field {
  std::uint8_t defined;                    // 1 once a whole definition text was accepted
  std::uint8_t input;                      // InputClass
  char mode;                               // 'F' fixed length, 'V' variable length
  std::int32_t length;                     // characters on the screen, 1..39
  std::uint8_t is_signed;                  // 1: "LEN=" was negative (signed numeric field)
  std::int32_t precision;                  // digits after the decimal point; -1 none
  std::uint8_t row;                        // 0..19
  std::uint8_t col;                        // 0..38
  std::uint8_t prefilled;                  // 1: "PUV=" loaded the value from a user variable
  std::uint8_t edit;                       // 1: "EDIT=Y"
  std::array<char, 13> ver_file;           // verification file name; ".VAL" is appended when used
  char ver_type;                           // 'N' none, or I i E e F R S T B 0
  std::uint8_t ver_mandatory;              // 1 for types I and E
  char val_result;                         // validation state of the value; ' ' not validated yet
  std::array<char, 5> data_id;             // scan prefix routing input to this field; empty: none
  std::int32_t help_start, help_end;       // help records of the field; 0, 0: no help
  std::int32_t screen_first, screen_last;  // help records of the field's own screen (MULT=)
  std::int32_t ver_first, ver_second;      // help records of the F, R and S checks
  std::array<char, 3> ver_prefix;          // prefix of type T
  std::uint8_t required;                   // 1: must hold a value before the panel may end
  std::uint8_t keep_di;                    // 1: scanned input keeps its data identifier
  std::int32_t mandatory_di;               // 1: scanned input must carry the data identifier
  std::int32_t result_uv;                  // user variable 1..19 that receives the value
  std::array<char, kValueSize> value;      // current value, at most 40 characters
};

struct FieldTable {
  std::array<Field, kFieldCount> fields;
  std::int32_t current_field;                      // 0-based index being defined, shown, edited or validated
  std::array<char, 2> dp_style;                    // decimal-point text; empty or "."
  std::array<char, kHelpNameSize> help_file_name;  // empty means the built-in "HELP.VAL"
  std::uint8_t panel_concat;                       // CON=Y: fields sharing a validation file go together
  std::uint8_t panel_multi;                        // MULT=Y: each field gets a screen of its own
  std::int32_t panel_help_uv;                      // HVR=: user variable 10..19 of the help redirect; 0 none
  std::array<char, kTokenSize> token;              // token buffer of the keyword readers
};

extern FieldTable g_fields;

// Index of the current field, held within the table: an index outside it (which no command leaves
// there) counts as the first field, so that nothing reads past the table.
inline int current_index() {
  const std::int32_t index = g_fields.current_field;
  return index >= 0 && index < kFieldCount ? index : 0;
}

// The entry at current_field: the field being defined, shown, edited or validated.
inline Field &current() {
  return g_fields.fields[static_cast<std::size_t>(current_index())];
}

// The help file's name: "HELP.VAL" until SET_HEL names another. The table is zero at load, so an empty
// name stands for the built-in one.
inline const char *help_file_name() {
  return g_fields.help_file_name[0] != 0 ? g_fields.help_file_name.data() : "HELP.VAL";
}

}  // namespace vek

#endif
