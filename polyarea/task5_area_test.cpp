// The triangle area to the last bit: every row is an exact single-precision result.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>

#include "task5_area.h"

namespace {

struct area_case {
  float x1, y1, x2, y2, x3, y3;
  std::uint32_t area_bits;
  const char* why;
};

constexpr std::uint32_t nan_bits = 0xFFC00000u;  // the platform's default quiet NaN

constexpr area_case area_cases[] = {
    {0, 0, 3, 0, 0, 4, 0x40C00000u, "3-4-5 right triangle: exact 6"},
    {0, 0, 10, 0, 10, 10, 0x42480000u, "half of the side-10 square: exact 50"},
    // Exact arithmetic, or any step kept in double, gives 0.5 here.
    {0, 0, 1, 0, 1, 1, 0x3F000002u, "first half of the unit square: 0.500000119"},
    {0, 0, 1, 1, 0, 1, 0x3F000001u, "second half of the unit square: 0.50000006"},
    {1, 1, 0, 0, 1, 0, 0x3F000001u, "the first half's vertices rotated: the last bit moves"},
    {0, 0, 0, 1, 1, 1, 0x3F000002u, "clockwise: no sign, same magnitude"},
    {0, 0, 1, 1, 2, 2, 0x00000000u, "collinear with sides that add up exactly: 0"},
    {1, 1, 1, 1, 1, 1, 0x00000000u, "three equal vertices: 0"},
    // The polygon (0,0) (4,0) (4,4) (2,1) (0,4), split from vertex 1.
    {0, 0, 4, 0, 4, 4, 0x41000002u, "non-star polygon, first triangle: 8.000002"},
    {0, 0, 4, 4, 2, 1, 0x3FFFFFF9u, "non-star polygon, second triangle: 1.999999"},
    {0, 0, 2, 1, 0, 4, 0x40800001u, "non-star polygon, third triangle: 4.0000005"},
    // Rounding makes p3 about -5.46e-8: the root of a negative, not a clamped 0.
    {0, 0, 0.3f, 0.3f, 0.9f, 0.9f, nan_bits, "nearly collinear: NaN"},
    {0, 0, std::numeric_limits<float>::quiet_NaN(), 0, 1, 1, 0x7FC00000u,
     "a NaN coordinate propagates"},
    {0, 0, 3e38f, 0, 0, 3e38f, nan_bits, "sides overflow to infinity: inf - inf is NaN"},
};

TEST(task5_area, rounds_every_step_to_single_precision) {
  for (const auto& c : area_cases) {
    SCOPED_TRACE(c.why);
    const float area = polyarea::task5_area(c.x1, c.y1, c.x2, c.y2, c.x3, c.y3);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(area), c.area_bits);
  }
}

}  // namespace
