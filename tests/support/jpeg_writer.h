// Test photos made in the tests themselves: a small baseline JPEG encoder (any size, grey or
// YCbCr with chosen sampling, restart intervals, short or long Huffman codes) and an EXIF block
// builder whose every offset can be bent to make damaged files.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace jpegtest {

// A pixel colour as blue, green, red.
struct Bgr {
  uint8_t b, g, r;
};

struct JpegOptions {
  int components = 3;     // 1 (grey) or 3 (YCbCr)
  int lumaH = 2;          // sampling of the first component; the others are 1 x 1
  int lumaV = 2;
  int quant = 1;          // every quantisation step (1: nearly lossless)
  int restartInterval = 0;
  bool longCodes = false;  // Huffman codes up to 16 bits long (past any short lookup)
};

// Encodes the picture given pixel by pixel.
std::vector<uint8_t> EncodeJpeg(int width, int height, const std::function<Bgr(int x, int y)>& pixel,
                                const JpegOptions& options = JpegOptions());

// A picture of one colour whose top-left quarter has another.
std::vector<uint8_t> CornerJpeg(int width, int height, Bgr rest, Bgr corner, const JpegOptions& options = JpegOptions());

// A photo of upright w x h pixels in `rest` whose upright top-left quarter is `corner`, stored
// turned for EXIF `orientation` (1 to 8) and carrying that orientation in an EXIF block, with
// an IFD1 thumbnail when one is given.
std::vector<uint8_t> OrientedCornerJpeg(int w, int h, int orientation, Bgr rest, Bgr corner,
                                        const std::vector<uint8_t>& thumbnail = {},
                                        const JpegOptions& options = JpegOptions());

// The TIFF structure of an EXIF block: IFD0 (with the orientation tag unless it is 0) at 8,
// IFD1 at 26 with Compression, JPEGInterchangeFormat, JPEGInterchangeFormatLength, and the
// thumbnail bytes at 68. Fields that are set replace what the layout would write.
struct ExifLayout {
  bool bigEndian = false;
  int orientation = 1;
  bool ifd1 = true;
  uint32_t ifd0Next = 26;  // where IFD0 says IFD1 is
  uint32_t ifd1Next = 0;
  uint16_t compression = 6;
  int64_t thumbnailOffset = -1;  // -1: 68
  int64_t thumbnailLength = -1;  // -1: the thumbnail's size
};
std::vector<uint8_t> MakeExif(const ExifLayout& layout, const std::vector<uint8_t>& thumbnail = {});

// An APP1 segment holding "Exif\0\0" and the TIFF structure.
std::vector<uint8_t> ExifSegment(const std::vector<uint8_t>& tiff);
// A segment of any marker with the payload given.
std::vector<uint8_t> Segment(uint8_t marker, const std::vector<uint8_t>& payload);
// The JPEG with segments put right after its SOI marker.
std::vector<uint8_t> WithSegments(const std::vector<uint8_t>& jpeg, const std::vector<std::vector<uint8_t>>& segments);

}  // namespace jpegtest
