// Storing a scanned value into the item a read names: the conversion to the item's type and
// width, the same for every reader so that one constant gives the same bits everywhere.
#pragma once
#include <cstdint>

#include "text_to_number.h"

namespace io {

// Item type codes the public header leaves out: neither program reads such items.
inline constexpr std::int32_t TYPE_WIDE_CHARACTER = 23;
inline constexpr std::int32_t TYPE_UNSUPPORTED_QUAD = 31;

// `value` (type 25, 19, 26 or 28) converted to the item's type and stored at `address`,
// which need not be aligned; a complex item takes `imaginary` as its second part. 8- and
// 16-bit items keep the low bits of the 32-bit conversion; a 64-bit logical zero-extends a
// 32-bit value, so true (-1) becomes 4294967295. Returns 0, 231 for a character item or 237
// for the unsupported quad type, and then stores nothing. A type without a reading stores
// nothing and returns 0.
std::int32_t store_scanned_value(void* address, std::int32_t item_type, scanned_value value,
                                 scanned_value imaginary = scanned_real64(0.0));

}  // namespace io
