// Formatted input of one field: the characters a data edit takes from a record, converted to
// the bytes stored into the item. Nothing here knows units, records or statements.
#pragma once
#include <cstdint>
#include <string_view>

namespace io {

// A data edit as the interpreter decodes it from a compiled format (the output side's
// `edit_descriptor` carries the same four fields).
struct input_edit {
  std::int32_t code;    // FORMAT_A_W, FORMAT_L_W, FORMAT_I_W, ... FORMAT_B_W, or a bare code
  bool bare;            // written without a width: the item type's defaults apply
  std::int32_t width;   // w; below 0 counts as 0
  std::int32_t digits;  // d of F, E, EN, ES, D, G; m of I, Z, O, B is read and unused
};

// The item that receives the value.
struct input_item {
  std::int32_t type;    // TYPE_*; complex items are read as two real parts by the caller
  std::int32_t length;  // read for TYPE_CHARACTER only
};

// The statement's modes that a field depends on.
struct input_modes {
  std::int32_t scale;   // kP, applied to a real field without an exponent
  bool decimal_comma;   // DC: the comma is the decimal symbol, and a full stop is refused
  bool blank_zero;      // BZ: a blank after the first non-blank character is a zero; else BN
  bool format_relaxed;  // the option that lets integers and reals lend each other their bits
};

struct input_width {
  std::int32_t code;   // 0, or the error the edit gives for this item (see read_input_field)
  std::int32_t width;  // characters the field takes from the record
};

// The width of the field `edit` takes for `item`: w, or for a descriptor written without a
// width the width output uses by default for the item's type.
input_width input_field_width(input_edit edit, input_item item, const input_modes& modes);

// How a field reads once its edit is decided against the item.
enum class input_form : std::int32_t {
  FORM_CHARACTER = 0,
  FORM_LOGICAL = 1,
  FORM_INTEGER = 2,
  FORM_REAL = 3,
  FORM_RADIX = 4
};

// An edit decided against its item, for a reader that needs the width before it has the
// field: resolved once, read with read_resolved_field. Only `code` and `width` are for the
// caller to look at.
struct resolved_input_edit {
  std::int32_t code;  // 0, or the error; nothing else is meaningful then
  input_form form;
  std::int32_t width;
  std::int32_t decimals;        // a real field's implied fraction digits
  std::int32_t store_type;      // the type the value is stored as, of the item's size
  std::int32_t size;            // the item's bytes
  std::int32_t bits_per_digit;  // Z, O, B
};
resolved_input_edit resolve_input_edit(input_edit edit, input_item item, const input_modes& modes);
// read_input_field with the edit already resolved (the modes' format_relaxed is not read again).
std::int32_t read_resolved_field(std::string_view field, const resolved_input_edit& edit,
                                 const input_modes& modes, void* address);

// Bytes read_input_field stores for the item; 0 for a type no data edit takes.
std::int32_t input_item_size(input_item item);

// Converts `field`, the whole field (padding blanks included, so its size is the width), and
// stores input_item_size(item) bytes at `address`, which need not be aligned. Returns 0, or
// 231 (ERROR_DATA_CONVERSION) for a field that is not a valid constant for the edit, 235
// (ERROR_EDIT_MISMATCH) for an edit that does not take the item's type, 234 for a code that
// is no data edit; after an error nothing is stored. Allocates nothing.
//   I, G on an integer: [sign] digits; the free-form reader's conversion and overflow rules.
//   F, E, EN, ES, D, G on a real: [sign] digits [symbol digits] [exponent], the exponent a
//     letter E, D or Q (either case) and [sign] digits, or a sign and digits. Without a
//     decimal symbol the last d digits are the fraction; kP divides by 10^k when there is no
//     exponent. Inf, Infinity ([sign], any case) and NaN, alone between blanks, are special.
//   L, G on a logical: blanks, [.], then T or F; the rest of the field is ignored.
//   A, G on a character item: Aw takes the rightmost len characters, or pads on the right.
//   Z, O, B: digits of base 16, 8, 2 into the item's bits, the lowest-addressed byte least
//     significant; a value wider than the item is 231.
// In I, F, ..., Z, O, B fields blanks follow the blank mode, and a field of blanks is zero.
std::int32_t read_input_field(std::string_view field, input_edit edit, input_item item,
                              const input_modes& modes, void* address);

}  // namespace io
