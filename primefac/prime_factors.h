// The prime factors of one number by trial division, without any input or output.
#pragma once
#include <cstdint>

namespace primefac {

// Calls visit(factor) for each prime factor of number, smallest first, once for every time
// it divides, and divides number down by each as it goes: a number of 2 or more ends as 1,
// as the full divisor loop leaves it. Numbers below 2 have no factor and stay as they are.
//
// The result is that of trying every divisor k from 2 up to the number itself, dividing
// each out completely before moving on. Trying stops once k * k exceeds what is left: what
// is left is then 1 or a prime, its last factor. So 2147483647 takes some 46,000 divisions
// instead of 2.1 x 10^9, and k never passes 46341, so no step can overflow.
template <class Visit>
void divide_out_prime_factors(std::int32_t& number, Visit&& visit) {
  if (number < 2) return;
  // k <= number / k is k * k <= number without the product.
  for (std::int32_t k = 2; k <= number / k; ++k) {
    while (number % k == 0) {
      visit(k);
      number /= k;
    }
  }
  if (number > 1) {
    visit(number);
    number = 1;
  }
}

}  // namespace primefac
