// Pixels as the photo code passes them around: rows of 3 bytes per pixel in blue, green, red
// order (the order of a 24-bit device-independent bitmap), top row first, no padding.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace photo {

// Raised by another thread to stop a decode at its next row of blocks.
using StopFlag = std::atomic<bool>;

enum class PhotoStatus {
  kOk,
  kUnsupported,  // not a picture, or a kind this code does not decode
  kDamaged,      // the bytes contradict themselves or end too early
  kTooLarge,     // decoding would take more memory than allowed
  kStopped,      // the stop flag was raised
};

struct Size {
  int width = 0;
  int height = 0;
  bool Empty() const { return width <= 0 || height <= 0; }
};

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgr;

  Size Dimensions() const { return Size{width, height}; }
  uint8_t* Row(int y) { return bgr.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3; }
  const uint8_t* Row(int y) const { return bgr.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3; }
};

struct Bgr {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
};

// A picture of one colour.
Image Filled(Size size, uint8_t blue, uint8_t green, uint8_t red);
// Copies `picture` into `canvas` with its top-left corner at (x, y); what falls outside is cut.
void Paste(Image* canvas, const Image& picture, int x, int y);

// Takes decoded rows one by one, in order.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // The size of the rows to come; false refuses them.
  virtual bool Begin(int width, int height) = 0;
  virtual void Row(const uint8_t* bgr) = 0;
};

// Keeps every row: for pictures known to be small (embedded thumbnails, scaled results).
class ImageSink : public RowSink {
 public:
  // Refuses pictures of more than `maxPixels`.
  explicit ImageSink(size_t maxPixels) : m_maxPixels(maxPixels) {}
  bool Begin(int width, int height) override;
  void Row(const uint8_t* bgr) override;
  Image& Result() { return m_image; }

 private:
  size_t m_maxPixels;
  Image m_image;
  int m_rows = 0;
};

}  // namespace photo
