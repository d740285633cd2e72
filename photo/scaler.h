// Scales a picture to a fixed size by area averaging (a box filter with fractional edges):
// each output pixel is the exact area-weighted mean of the input pixels it covers, in integer
// arithmetic. Takes its input row by row, so a large picture is never held whole.
#pragma once

#include <cstdint>
#include <vector>

#include "photo/image.h"

namespace photo {

class AreaScaler : public RowSink {
 public:
  // Output sizes above this many pixels are refused.
  static constexpr int64_t kMaxOutputPixels = 16 * 1024 * 1024;

  explicit AreaScaler(Size target) : m_target(target) {}
  bool Begin(int width, int height) override;
  void Row(const uint8_t* bgr) override;
  // The scaled picture once every input row has come (empty before).
  Image Result() const;

 private:
  Size m_target;
  int m_srcWidth = 0;
  int m_srcHeight = 0;
  int m_row = 0;
  // For output column j: its input columns are m_columns[m_spans[j] .. m_spans[j + 1]).
  std::vector<int> m_spans;
  std::vector<int> m_columns;
  std::vector<uint32_t> m_weights;
  std::vector<uint32_t> m_line;  // one input row scaled across
  std::vector<uint64_t> m_sums;  // every output pixel's weighted sums
};

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The part `area` of a picture scaled to `target`; empty when the area lies outside.
Image ScaleArea(const Image& picture, Rect area, Size target);

}  // namespace photo
