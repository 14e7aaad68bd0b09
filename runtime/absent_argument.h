// How an omitted reference argument is told: null, or an address inside the placeholder.
#pragma once
#include <cstdint>

#include "runtime.h"

namespace runtime {

inline bool is_absent(const void* argument) {
  const auto address = reinterpret_cast<std::uintptr_t>(argument);
  const auto first = reinterpret_cast<std::uintptr_t>(absent_argument_placeholder);
  // One unsigned comparison: an address below the placeholder wraps to a large offset.
  return argument == nullptr || address - first < sizeof absent_argument_placeholder;
}

}  // namespace runtime
