// Data edits of formatted output: an item's field under A, L, I, F, E, EN, ES, D, G, Z, O, B.
#pragma once
#include <cstdint>
#include <string_view>

#include "item_types.h"

namespace io {

// An item's bytes: what they are and how many (a character item's length).
struct item_ref {
  const unsigned char* bytes;
  std::int32_t type;
  std::int64_t size;
  item_kind kind;
};

item_ref make_item(std::int32_t type, const char* address, std::int32_t length);

// The e of a real's edit when none is written (a bare E, G, or one without "Ee").
inline constexpr std::int32_t default_exponent_digits = 2;

// One data edit descriptor with its operands read.
struct edit_descriptor {
  std::int32_t code;  // the form with operands: FORMAT_A_W, FORMAT_I_W, ...
  bool bare;          // written without operands: the item's defaults apply
  std::int32_t width;   // 0 or more
  std::int32_t digits;  // m of I, Z, O, B; d of F, E, EN, ES, D, G
  std::int32_t exponent;
  bool exponent_given;
};

// What the statement lends a field: its edit settings and the room left in the record.
struct field_settings {
  std::int32_t scale;
  std::int32_t plus;
  std::int32_t decimal_comma;
  std::int64_t room;           // bytes the record can still take at the position; may be < 0
  std::int32_t overflow_code;  // the error for a field that needs more than the room
};

// A field: `blanks` blanks, then `text`, which is valid until the next conversion. A field of
// the full width: the blanks overwrite what a tab went back over. Nothing is put when `code`
// is not 0.
struct field {
  std::int32_t code;
  std::int64_t blanks;
  std::string_view text;
};

field edit_field(edit_descriptor d, const item_ref& item, const field_settings& settings);

}  // namespace io
