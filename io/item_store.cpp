// Scanned values stored into items: narrowing, widening and real conversions by item type.
#include "item_store.h"

#include <array>
#include <cstring>

#include "errors.h"
#include "record_io.h"

namespace io {
namespace {

template <typename T>
void store(void* address, T value) {
  std::memcpy(address, &value, sizeof value);
}

template <typename T>
void store_pair(void* address, T real, T imaginary) {
  const std::array<T, 2> pair{real, imaginary};
  std::memcpy(address, pair.data(), sizeof pair);
}

}  // namespace

std::int32_t store_scanned_value(void* address, std::int32_t item_type, scanned_value value,
                                 scanned_value imaginary) {
  switch (item_type) {
    case TYPE_INTEGER4:
    case TYPE_LOGICAL4:
      store(address, value_to_int32(value));
      return 0;
    case TYPE_INTEGER2:
    case TYPE_LOGICAL2:
      store(address, static_cast<std::int16_t>(value_to_int32(value)));
      return 0;
    case TYPE_INTEGER1:
    case TYPE_LOGICAL1:
      store(address, static_cast<std::int8_t>(value_to_int32(value)));
      return 0;
    case TYPE_INTEGER8:
      store(address, value_to_int64(value));
      return 0;
    case TYPE_LOGICAL8:
      if (value.type == TYPE_INTEGER4 || value.type == TYPE_LOGICAL4) {
        store(address, static_cast<std::int64_t>(static_cast<std::uint32_t>(value.int32())));
      } else {
        store(address, value_to_int64(value));
      }
      return 0;
    case TYPE_REAL4:
      store(address, value_to_real32(value));
      return 0;
    case TYPE_REAL8:
    case TYPE_REAL16:
      store(address, value_to_real64(value));
      return 0;
    case TYPE_COMPLEX8:
      store_pair(address, value_to_real32(value), value_to_real32(imaginary));
      return 0;
    case TYPE_COMPLEX16:
    case TYPE_COMPLEX32:
      store_pair(address, value_to_real64(value), value_to_real64(imaginary));
      return 0;
    case TYPE_UNSUPPORTED_QUAD:
      return ERROR_QUAD_UNSUPPORTED;
    case TYPE_CHARACTER:
    case TYPE_WIDE_CHARACTER:
      return ERROR_DATA_CONVERSION;
    default:
      return 0;
  }
}

}  // namespace io
