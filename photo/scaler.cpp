#include "photo/scaler.h"

#include <algorithm>

namespace photo {

bool AreaScaler::Begin(int width, int height) {
  if (width <= 0 || height <= 0 || m_target.Empty() ||
      int64_t(m_target.width) * m_target.height > kMaxOutputPixels) {
    return false;
  }
  m_srcWidth = width;
  m_srcHeight = height;
  m_row = 0;
  // Input column i spans [i * W, (i + 1) * W) and output column j spans [j * w, (j + 1) * w)
  // in units of 1 / (w * W) of the picture's width (W output, w input columns).
  const int64_t out = m_target.width, in = width;
  m_spans.assign(static_cast<size_t>(out) + 1, 0);
  m_columns.clear();
  m_weights.clear();
  for (int64_t j = 0; j < out; ++j) {
    m_spans[static_cast<size_t>(j)] = static_cast<int>(m_columns.size());
    const int64_t begin = j * in, end = (j + 1) * in;
    for (int64_t i = begin / out; i * out < end; ++i) {
      const int64_t overlap = std::min(end, (i + 1) * out) - std::max(begin, i * out);
      if (overlap <= 0) continue;
      m_columns.push_back(static_cast<int>(i));
      m_weights.push_back(static_cast<uint32_t>(overlap));
    }
  }
  m_spans[static_cast<size_t>(out)] = static_cast<int>(m_columns.size());
  m_line.assign(static_cast<size_t>(out) * 3, 0);
  m_sums.assign(static_cast<size_t>(out) * static_cast<size_t>(m_target.height) * 3, 0);
  return true;
}

void AreaScaler::Row(const uint8_t* bgr) {
  if (m_row >= m_srcHeight) return;
  const int out = m_target.width;
  for (int j = 0; j < out; ++j) {
    uint32_t b = 0, g = 0, r = 0;
    for (int k = m_spans[static_cast<size_t>(j)]; k < m_spans[static_cast<size_t>(j) + 1]; ++k) {
      const uint8_t* p = bgr + static_cast<size_t>(m_columns[static_cast<size_t>(k)]) * 3;
      const uint32_t w = m_weights[static_cast<size_t>(k)];
      b += p[0] * w;
      g += p[1] * w;
      r += p[2] * w;
    }
    m_line[static_cast<size_t>(j) * 3] = b;
    m_line[static_cast<size_t>(j) * 3 + 1] = g;
    m_line[static_cast<size_t>(j) * 3 + 2] = r;
  }
  // The same across rows: input row y spans [y * H, (y + 1) * H), output row i [i * h, (i + 1) * h).
  const int64_t outRows = m_target.height, inRows = m_srcHeight;
  const int64_t begin = int64_t(m_row) * outRows, end = begin + outRows;
  for (int64_t i = begin / inRows; i < outRows && i * inRows < end; ++i) {
    const int64_t overlap = std::min(end, (i + 1) * inRows) - std::max(begin, i * inRows);
    if (overlap <= 0) continue;
    uint64_t* sums = m_sums.data() + static_cast<size_t>(i) * static_cast<size_t>(out) * 3;
    for (size_t k = 0; k < m_line.size(); ++k) sums[k] += uint64_t(m_line[k]) * uint64_t(overlap);
  }
  ++m_row;
}

Image AreaScaler::Result() const {
  Image image;
  if (m_row != m_srcHeight || m_srcHeight == 0) return image;
  image.width = m_target.width;
  image.height = m_target.height;
  image.bgr.resize(m_sums.size());
  const uint64_t total = uint64_t(m_srcWidth) * uint64_t(m_srcHeight);
  for (size_t k = 0; k < m_sums.size(); ++k) image.bgr[k] = static_cast<uint8_t>((m_sums[k] + total / 2) / total);
  return image;
}

Image ScaleArea(const Image& picture, Rect area, Size target) {
  if (area.x < 0 || area.y < 0 || area.width <= 0 || area.height <= 0 || area.x > picture.width - area.width ||
      area.y > picture.height - area.height) {
    return Image();
  }
  AreaScaler scaler(target);
  if (!scaler.Begin(area.width, area.height)) return Image();
  for (int y = 0; y < area.height; ++y) scaler.Row(picture.Row(area.y + y) + static_cast<size_t>(area.x) * 3);
  return scaler.Result();
}

}  // namespace photo
