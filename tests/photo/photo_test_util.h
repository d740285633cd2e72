// Shared by the photo tests: decoding crafted bytes, reading pixels of results, colours.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "photo/image.h"
#include "tests/support/jpeg_writer.h"

namespace phototest {

using jpegtest::Bgr;

constexpr Bgr kRed{30, 30, 220};
constexpr Bgr kGreen{40, 190, 30};
constexpr Bgr kBlue{210, 40, 30};
constexpr Bgr kWhite{255, 255, 255};
constexpr Bgr kBlack{0, 0, 0};

inline Bgr PixelAt(const photo::Image& image, int x, int y) {
  const uint8_t* p = image.Row(y) + static_cast<size_t>(x) * 3;
  return Bgr{p[0], p[1], p[2]};
}

inline testing::AssertionResult Near(Bgr expected, Bgr actual, int tolerance = 24) {
  if (std::abs(expected.b - actual.b) <= tolerance && std::abs(expected.g - actual.g) <= tolerance &&
      std::abs(expected.r - actual.r) <= tolerance) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure() << "expected bgr(" << int(expected.b) << "," << int(expected.g) << ","
                                     << int(expected.r) << "), got (" << int(actual.b) << "," << int(actual.g) << ","
                                     << int(actual.r) << ")";
}

}  // namespace phototest
