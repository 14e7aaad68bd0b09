// The primes below 46341, built at compile time, with what a divisibility test by
// multiplication needs for each odd one.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace primefac {

// 46341 * 46341 > 2^31 - 1: every composite 32-bit number has a prime factor below it.
inline constexpr std::uint32_t table_bound = 46341;
inline constexpr std::size_t table_prime_count = 4792;

// The odd primes are tested a block at a time: one branch per block instead of one per
// prime, and the bound checked once per block.
inline constexpr std::size_t block_size = 8;

// For an odd prime p, inverse * p == 1 (mod 2^32) and limit = (2^32 - 1) / p. Multiplying by
// the inverse maps the multiples of p one to one onto 0 .. limit, and every other number
// above it: x is divisible by p exactly when x * inverse <= limit, and x * inverse is then
// x / p.
struct odd_prime_table {
  static constexpr std::size_t count = table_prime_count - 1;
  static constexpr std::size_t padded_count = (count + block_size - 1) / block_size * block_size;
  // The tail of the last block is padding that never divides (inverse 1, limit 0).
  alignas(32) std::array<std::uint32_t, padded_count> prime{};
  alignas(32) std::array<std::uint32_t, padded_count> inverse{};
  alignas(32) std::array<std::uint32_t, padded_count> limit{};
  std::size_t sieved_count = 0;
};

// Newton's step x * (2 - p * x) doubles the correct low bits; p itself is right to 3 bits
// for odd p, so four steps give 48 >= 32.
constexpr std::uint32_t inverse_mod_2_32(std::uint32_t p) {
  std::uint32_t x = p;
  for (int step = 0; step < 4; ++step) x *= 2u - p * x;
  return x;
}

constexpr odd_prime_table make_odd_prime_table() {
  std::array<bool, table_bound> composite{};
  odd_prime_table table;
  for (std::uint32_t p = 3; p < table_bound; p += 2) {
    if (composite[p]) continue;
    for (std::uint32_t multiple = p * p; multiple < table_bound; multiple += 2 * p) {
      composite[multiple] = true;
    }
    const std::size_t i = table.sieved_count++;
    table.prime[i] = p;
    table.inverse[i] = inverse_mod_2_32(p);
    table.limit[i] = std::numeric_limits<std::uint32_t>::max() / p;
  }
  for (std::size_t i = odd_prime_table::count; i < odd_prime_table::padded_count; ++i) {
    table.prime[i] = table_bound;
    table.inverse[i] = 1;
    table.limit[i] = 0;
  }
  return table;
}

inline constexpr odd_prime_table odd_primes = make_odd_prime_table();
static_assert(odd_primes.sieved_count == odd_prime_table::count);
static_assert(odd_primes.prime[0] == 3 && odd_primes.prime[odd_prime_table::count - 1] == 46337);
static_assert(odd_primes.inverse[0] * 3u == 1u && odd_primes.inverse[4790] * 46337u == 1u);

}  // namespace primefac
