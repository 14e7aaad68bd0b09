// The prime factors of one number by trial division over the table of primes, without any
// input or output.
#pragma once
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "prime_table.h"

namespace primefac {

// The integer square root, rounded down. Exact: below 2^32, the square root of k * k - 1
// lies further below k than a 64-bit real's rounding can move it.
inline std::uint32_t square_root(std::uint32_t value) {
  return static_cast<std::uint32_t>(std::sqrt(static_cast<double>(value)));
}

// Whether one of the eight odd primes of the block at first divides rest. No early exit:
// eight independent multiplications overlap, and a block without a divisor costs one branch.
inline bool block_divides(std::uint32_t rest, std::size_t first) {
  std::uint32_t divides = 0;
  for (std::size_t i = first; i < first + block_size; ++i) {
    divides |= static_cast<std::uint32_t>(rest * odd_primes.inverse[i] <= odd_primes.limit[i]);
  }
  return divides != 0;
}

// Calls visit(factor) for each prime factor of number, smallest first, once for every time
// it divides, and divides number down by each as it goes: a number of 2 or more ends as 1,
// as the full divisor loop leaves it. Numbers below 2 have no factor and stay as they are.
//
// The factors are those of trying every divisor k from 2 up to the number itself, dividing
// each out completely before moving on. Only primes can divide once the smaller primes are
// out, so only the table's are tried; and trying stops at the first block whose first prime
// p has p * p above what is left, which is then 1 or a prime, its last factor. A prime
// tried past that bound divides only when it is all that is left, with the same result.
template <class Visit>
void divide_out_prime_factors(std::int32_t& number, Visit&& visit) {
  if (number < 2) return;
  auto rest = static_cast<std::uint32_t>(number);
  for (int twos = std::countr_zero(rest); twos > 0; --twos) {
    visit(std::int32_t{2});
    rest >>= 1;
    number = static_cast<std::int32_t>(rest);
  }
  std::uint32_t root = square_root(rest);
  for (std::size_t first = 0; first < odd_prime_table::padded_count; first += block_size) {
    if (odd_primes.prime[first] > root) break;
    if (!block_divides(rest, first)) continue;
    for (std::size_t i = first; i < first + block_size; ++i) {
      while (rest * odd_primes.inverse[i] <= odd_primes.limit[i]) {
        visit(static_cast<std::int32_t>(odd_primes.prime[i]));
        rest *= odd_primes.inverse[i];
        number = static_cast<std::int32_t>(rest);
      }
    }
    root = square_root(rest);
  }
  if (rest > 1) {
    visit(static_cast<std::int32_t>(rest));
    number = 1;
  }
}

}  // namespace primefac
