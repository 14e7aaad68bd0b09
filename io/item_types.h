// The item types that data edits take, for output and input alike: each type code's kind
// and size, and the field layouts an edit written without a width falls back to.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "record_io.h"

namespace io {

enum class item_kind : std::int32_t {
  KIND_INTEGER = 0,
  KIND_LOGICAL = 1,
  KIND_TYPELESS = 2,
  KIND_REAL = 3,
  KIND_CHARACTER = 4,
  KIND_UNKNOWN = 5  // a type the data edits do not take
};

struct item_shape {
  std::int32_t size;
  item_kind kind;
};

// The highest type code a data edit takes.
inline constexpr std::int32_t highest_item_type = TYPE_INTEGER1;

// The quad real is read through its first 8 bytes, as the size table has it; the 8-byte word
// and the complex types are no data-edit items (a complex item is edited part by part).
inline constexpr auto item_shapes_by_type = [] {
  std::array<item_shape, highest_item_type + 1> table{};
  for (auto& entry : table) entry = {0, item_kind::KIND_UNKNOWN};
  const auto set = [&table](std::int32_t type, std::int32_t size, item_kind kind) {
    table[static_cast<std::size_t>(type)] = {size, kind};
  };
  set(TYPE_INTEGER1, 1, item_kind::KIND_INTEGER);
  set(TYPE_INTEGER2, 2, item_kind::KIND_INTEGER);
  set(TYPE_INTEGER4, 4, item_kind::KIND_INTEGER);
  set(TYPE_INTEGER8, 8, item_kind::KIND_INTEGER);
  set(TYPE_LOGICAL1, 1, item_kind::KIND_LOGICAL);
  set(TYPE_LOGICAL2, 2, item_kind::KIND_LOGICAL);
  set(TYPE_LOGICAL4, 4, item_kind::KIND_LOGICAL);
  set(TYPE_LOGICAL8, 8, item_kind::KIND_LOGICAL);
  set(TYPE_WORD4, 4, item_kind::KIND_TYPELESS);
  set(TYPE_REAL4, 4, item_kind::KIND_REAL);
  set(TYPE_REAL8, 8, item_kind::KIND_REAL);
  set(TYPE_REAL16, 8, item_kind::KIND_REAL);
  return table;
}();
static_assert(item_shapes_by_type[TYPE_REAL4].size == 4 && item_shapes_by_type[TYPE_REAL16].size == 8);
static_assert(item_shapes_by_type[TYPE_WORD8].kind == item_kind::KIND_UNKNOWN);
static_assert(item_shapes_by_type[TYPE_COMPLEX8].kind == item_kind::KIND_UNKNOWN);

// A non-character item's shape; an unknown type has size 0.
constexpr item_shape shape_of_type(std::int32_t type) {
  if (type < 0 || type > highest_item_type) return {0, item_kind::KIND_UNKNOWN};
  return item_shapes_by_type[static_cast<std::size_t>(type)];
}

// I without a width, by the value's size.
constexpr std::int32_t default_integer_width(std::int64_t size) {
  if (size <= 2) return 7;
  return size == 4 ? 12 : 24;
}

// F, E, D and G without a width, by the real's type.
struct real_defaults {
  std::int32_t width, decimals;
};
constexpr real_defaults default_real_layout(std::int32_t type) {
  if (type == TYPE_REAL4) return {15, 7};
  if (type == TYPE_REAL8) return {25, 16};
  return {44, 34};
}

}  // namespace io
