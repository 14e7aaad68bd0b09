// The area of one triangle of the polygon's fan: Heron's formula in single precision.
#pragma once

namespace polyarea {

// The vertices are (x1, y1), (x2, y2), (x3, y3). Every step is one rounded single-precision
// operation in a fixed order, so the last bit of the result is part of the contract.
// Not reentrant: the working values live in storage of the function (one thread only).
float task5_area(const float& x1, const float& y1, const float& x2, const float& y2,
                 const float& x3, const float& y3);

}  // namespace polyarea
