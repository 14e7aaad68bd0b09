// The benchmark value sequences, operation for operation as the stdio baseline makes them,
// shared by the I/O benchmark and the conversion micro-benchmarks.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace bench {

constexpr std::array<float, 14> powers_of_ten = {1e-11f, 1e-10f, 1e-9f, 1e-8f, 1e-7f,
                                                 1e-6f,  1e-5f,  1e-4f, 1e-3f, 1e-2f,
                                                 1e-1f, 1e0f,   1e1f,  1e2f};

std::uint32_t hash(long i) { return static_cast<std::uint32_t>(i) * 2654435761u; }

std::int32_t int_value(long i) {
  return (static_cast<std::int32_t>(hash(i) % 2147483648u) - 1073741824) /
         static_cast<std::int32_t>(1u << (i % 31));
}

float real_value(long i) {
  const float x = static_cast<float>(static_cast<std::int32_t>(1 + hash(i) % 9999999u)) *
                  powers_of_ten[static_cast<std::size_t>(i % 14)];
  return i % 4 == 3 ? -x : x;
}

float fmt_value(long i) {
  return static_cast<float>(static_cast<std::int32_t>(hash(i) % 10999u) - 999) / 100.0f;
}

}  // namespace bench
