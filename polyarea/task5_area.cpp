// Heron's formula in single precision, in the one evaluation order the printed digits rely on.
#include "task5_area.h"

#include <cmath>

namespace polyarea {

float task5_area(const float& x1, const float& y1, const float& x2, const float& y2,
                 const float& x3, const float& y3) {
  // The sides and the half-perimeter outlive the call, as they always have; nothing else
  // reads them, but it is why calls must not overlap.
  static float a = 0.0f;
  static float b = 0.0f;
  static float c = 0.0f;
  static float s = 0.0f;
  // A double 0.5 would carry s's product into double precision.
  constexpr float half = 0.5f;

  // Each difference is rounded before it is squared; std::sqrt(float) is the correctly
  // rounded single-precision root.
  a = std::sqrt((y1 - y2) * (y1 - y2) + (x1 - x2) * (x1 - x2));
  b = std::sqrt((y2 - y3) * (y2 - y3) + (x2 - x3) * (x2 - x3));
  c = std::sqrt((y3 - y1) * (y3 - y1) + (x3 - x1) * (x3 - x1));
  s = ((a + b) + c) * half;
  const float p1 = (s - a) * s;
  const float p2 = (s - b) * p1;
  const float p3 = (s - c) * p2;
  // No clamping: rounding can make p3 negative for nearly collinear vertices, and the
  // area is then NaN, as the program has always printed it.
  return std::sqrt(p3);
}

}  // namespace polyarea
