// The early-stopping trial division against the full divisor loop it replaces.
#include "prime_factors.h"
#include "prime_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <vector>

namespace {

struct factoring {
  std::vector<std::int32_t> factors;
  std::int32_t left;  // what the number holds afterwards
};

factoring divide_out(std::int32_t number) {
  factoring f;
  primefac::divide_out_prime_factors(number, [&](std::int32_t factor) { f.factors.push_back(factor); });
  f.left = number;
  return f;
}

std::vector<std::int32_t> factors_of(std::int32_t number) { return divide_out(number).factors; }

// The divisor loop step by step as first written: k runs its whole trip count from 2 to the
// number, even after the number is down to 1. Only for numbers whose k + 1 fits.
factoring literal_loop(std::int32_t number) {
  std::vector<std::int32_t> factors;
  while (number >= 2) {
    std::int32_t remaining = number - 1;
    std::int32_t k = 2;  // remaining is at least 1 here
    for (;;) {
      if (number % k == 0) {
        factors.push_back(k);
        number /= k;
        continue;
      }
      ++k;
      --remaining;
      if (remaining <= 0) break;
    }
  }
  return {factors, number};
}

// The factors and what the number holds afterwards: the program prints it again after a
// read that stores nothing.
TEST(divide_out_prime_factors, matches_the_full_divisor_loop_up_to_100000) {
  for (std::int32_t number = -50; number <= 100000; ++number) {
    const factoring fast = divide_out(number);
    const factoring literal = literal_loop(number);
    ASSERT_EQ(fast.factors, literal.factors) << "N = " << number;
    ASSERT_EQ(fast.left, literal.left) << "N = " << number;
  }
}

bool is_prime(std::int64_t value) {
  if (value < 2) return false;
  for (std::int64_t d = 2; d * d <= value; ++d) {
    if (value % d == 0) return false;
  }
  return true;
}

// Prime, ascending and multiplying back to the number: the only factorisation there is.
// And the number divided down to 1, as the full divisor loop leaves it.
void expect_factorisation(std::int32_t number) {
  SCOPED_TRACE(number);
  const auto [factors, left] = divide_out(number);
  if (number < 2) {
    EXPECT_TRUE(factors.empty());
    EXPECT_EQ(left, number);
    return;
  }
  EXPECT_EQ(left, 1);
  std::int64_t product = 1;
  for (std::size_t i = 0; i < factors.size(); ++i) {
    EXPECT_TRUE(is_prime(factors[i])) << factors[i];
    if (i > 0) {
      EXPECT_LE(factors[i - 1], factors[i]);
    }
    product *= factors[i];
  }
  EXPECT_EQ(product, number);
}

struct factor_case {
  std::int32_t number;
  std::vector<std::int32_t> factors;
  const char* why;
};

TEST(divide_out_prime_factors, handles_the_edges_of_the_32_bit_range) {
  const factor_case cases[] = {
      {INT_MAX, {INT_MAX}, "the largest value is prime: the full loop's k would pass INT_MAX"},
      {INT_MAX - 1, {2, 3, 3, 7, 11, 31, 151, 331}, "its even neighbour"},
      {INT_MAX - 2, {5, 19, 22605091}, "a last factor far above the square root"},
      {INT_MAX - 3, {2, 2, 233, 1103, 2089}, "three odd primes after a square"},
      {INT_MAX - 4, {3, 715827881}, "one small factor, one large"},
      {46337 * 46337, {46337, 46337}, "the square of the largest prime below 46341"},
      {46337 * 46327, {46327, 46337}, "two primes just below the square root"},
      {46327 * 46327, {46327, 46327}, "the square of a prime in the table's last block"},
      {46309 * 46309, {46309, 46309}, "the square of a prime in the block before it"},
      {46327 * 46349, {46327, 46349}, "primes just below and above 46341: the second is past the table"},
      {46279 * 46381, {46279, 46381}, "the same, further apart"},
      {46349, {46349}, "the first prime past the table, alone"},
      {2 * 46349, {2, 46349}, "and after a factor of 2"},
      {46337, {46337}, "the table's last prime, alone"},
      {2 * 1073741789, {2, 1073741789}, "a last factor far past the table after a 2"},
      {46337 * 46337 + 1, {2, 5, 13, 16516289}, "beside the largest square"},
      {3 * 5 * 7 * 11 * 13 * 17 * 19 * 23, {3, 5, 7, 11, 13, 17, 19, 23},
       "every prime of the first block of eight divides"},
      {3 * 3 * 3 * 23 * 23 * 29, {3, 3, 3, 23, 23, 29},
       "repeated factors at both ends of a block, then the next block"},
      {1 << 30, std::vector<std::int32_t>(30, 2), "the largest power of two"},
      {2, {2}, "the smallest prime"},
      {4, {2, 2}, "the smallest square: k * k equals the number"},
      {1, {}, "1 has no prime factor"},
      {0, {}, "0 never reaches the loop in the program, but must not hang"},
      {-12, {}, "negative numbers have no factor records"},
      {INT_MIN + 1, {}, "the most negative that negates"},
      {INT_MIN, {}, "read from -2147483648: no negation, no factors"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(factors_of(c.number), c.factors);
    expect_factorisation(c.number);
  }
}

TEST(divide_out_prime_factors, factors_random_large_numbers_completely) {
  std::mt19937 generator(20240611);
  std::uniform_int_distribution<std::int32_t> large(INT_MAX / 2, INT_MAX);
  std::uniform_int_distribution<std::int32_t> any(INT_MIN, INT_MAX);
  for (int i = 0; i < 1000; ++i) expect_factorisation(large(generator));
  for (int i = 0; i < 1000; ++i) expect_factorisation(any(generator));
}

// A table prime times a number at least as large: the largest factor found by the bound's
// test, the smaller one by the table, in any block.
TEST(divide_out_prime_factors, factors_products_with_a_table_prime) {
  const auto& table = primefac::odd_primes;
  std::mt19937 generator(46341);
  std::uniform_int_distribution<std::size_t> anywhere(0, table.count - 1);
  std::uniform_int_distribution<std::size_t> near_the_end(table.count - 40, table.count - 1);
  for (int i = 0; i < 2000; ++i) {
    const std::int64_t p = table.prime[i % 2 == 0 ? anywhere(generator) : near_the_end(generator)];
    std::uniform_int_distribution<std::int64_t> cofactor(p, INT_MAX / p);
    expect_factorisation(static_cast<std::int32_t>(p * cofactor(generator)));
  }
}

}  // namespace
