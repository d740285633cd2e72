// The scaled JPEG decoder on files of the test encoder: every scale with every sampling,
// restart intervals and long codes, accuracy at full size, and what it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "photo/byte_source.h"
#include "photo/jpeg_decoder.h"
#include "tests/photo/photo_test_util.h"

namespace {

using namespace jpegtest;
using namespace phototest;
using photo::PhotoStatus;

// Remembers whether rows were asked for at all.
class CountingSink : public photo::ImageSink {
 public:
  CountingSink() : ImageSink(1u << 26) {}
  bool Begin(int width, int height) override {
    ++begins;
    return ImageSink::Begin(width, height);
  }
  int begins = 0;
};

PhotoStatus Decode(const std::vector<uint8_t>& bytes, int denominator, CountingSink* sink,
                   const photo::StopFlag* stop = nullptr) {
  photo::MemorySource source(bytes.data(), bytes.size());
  return photo::DecodeJpeg(source, denominator, *sink, stop);
}

// Four flat quadrants: red, green / blue, white.
Bgr Quadrant(int x, int y, int w, int h) {
  return y < h / 2 ? (x < w / 2 ? kRed : kGreen) : (x < w / 2 ? kBlue : kWhite);
}

TEST(JpegDecoderTest, EveryScaleAndSamplingGivesTheQuadrants) {
  struct Kind {
    const char* what;
    JpegOptions options;
  };
  auto with = [](int components, int h, int v, int restart, bool longCodes) {
    JpegOptions o;
    o.components = components;
    o.lumaH = h;
    o.lumaV = v;
    o.restartInterval = restart;
    o.longCodes = longCodes;
    o.quant = 2;
    return o;
  };
  const Kind kinds[] = {
      {"4:2:0", with(3, 2, 2, 0, false)},       {"4:4:4", with(3, 1, 1, 0, false)},
      {"4:2:2", with(3, 2, 1, 0, false)},       {"4:4:0", with(3, 1, 2, 0, false)},
      {"grey", with(1, 1, 1, 0, false)},        {"restart every 3", with(3, 2, 2, 3, false)},
      {"restart every MCU", with(3, 1, 1, 1, true)}, {"long codes", with(3, 2, 2, 0, true)},
  };
  // Sizes that are no multiple of a block, and one of a single pixel across.
  const photo::Size sizes[] = {{131, 77}, {64, 48}, {1, 40}};
  for (const Kind& kind : kinds) {
    for (photo::Size size : sizes) {
      const std::vector<uint8_t> file = EncodeJpeg(
          size.width, size.height, [&](int x, int y) { return Quadrant(x, y, size.width, size.height); }, kind.options);
      for (int d : {1, 2, 4, 8}) {
        SCOPED_TRACE(std::string(kind.what) + " " + std::to_string(size.width) + " 1/" + std::to_string(d));
        CountingSink sink;
        ASSERT_EQ(PhotoStatus::kOk, Decode(file, d, &sink));
        const photo::Image& image = sink.Result();
        ASSERT_EQ(photo::ScaledSide(size.width, d), image.width);
        ASSERT_EQ(photo::ScaledSide(size.height, d), image.height);
        // The middle of each quadrant, away from the edges that blocks and sampling blur.
        if (image.width < 8 || image.height < 8) continue;
        for (int qy : {0, 1}) {
          for (int qx : {0, 1}) {
            const int x = (size.width * (1 + 2 * qx) / 4) / d, y = (size.height * (1 + 2 * qy) / 4) / d;
            const Bgr colour = Quadrant(x * d, y * d, size.width, size.height);
            const uint8_t grey = static_cast<uint8_t>(0.299 * colour.r + 0.587 * colour.g + 0.114 * colour.b + 0.5);
            const Bgr want = kind.options.components == 1 ? Bgr{grey, grey, grey} : colour;
            EXPECT_TRUE(Near(want, PixelAt(image, x, y), 12)) << x << "," << y;
          }
        }
      }
    }
  }
}

TEST(JpegDecoderTest, AFullSizeDecodeIsCloseToThePicture) {
  JpegOptions options;
  options.lumaH = options.lumaV = 1;
  const auto pixel = [](int x, int y) {
    return Bgr{static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 5), static_cast<uint8_t>(255 - x * 2)};
  };
  const std::vector<uint8_t> file = EncodeJpeg(60, 50, pixel, options);
  CountingSink sink;
  ASSERT_EQ(PhotoStatus::kOk, Decode(file, 1, &sink));
  int worst = 0;
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 60; ++x) {
      const Bgr a = pixel(x, y), b = PixelAt(sink.Result(), x, y);
      worst = std::max({worst, std::abs(a.b - b.b), std::abs(a.g - b.g), std::abs(a.r - b.r)});
    }
  }
  EXPECT_LE(worst, 4);
}

TEST(JpegDecoderTest, KindsItDoesNotReadAndDamagedFiles) {
  const std::vector<uint8_t> good = CornerJpeg(64, 48, kRed, kGreen);
  auto replaced = [&](uint8_t from, uint8_t to) {
    std::vector<uint8_t> out = good;
    for (size_t i = 2; i + 1 < out.size(); ++i) {
      if (out[i] == 0xFF && out[i + 1] == from) {
        out[i + 1] = to;
        break;
      }
    }
    return out;
  };
  auto frameBytes = [&](size_t offset, std::vector<uint8_t> values) {  // bytes of the SOF0 payload
    std::vector<uint8_t> out = good;
    for (size_t i = 2; i + 1 < out.size(); ++i) {
      if (out[i] == 0xFF && out[i + 1] == 0xC0) {
        std::copy(values.begin(), values.end(), out.begin() + static_cast<long>(i + 4 + offset));
        break;
      }
    }
    return out;
  };
  // A busy picture, cut in the middle of its blocks.
  std::vector<uint8_t> cut = EncodeJpeg(64, 48, [](int x, int y) {
    return Bgr{static_cast<uint8_t>(x * 37 + y * 11), static_cast<uint8_t>(x * y), static_cast<uint8_t>(y * 53)};
  });
  cut.resize(cut.size() * 2 / 3);
  JpegOptions restart;
  restart.restartInterval = 2;
  std::vector<uint8_t> lostRestart = CornerJpeg(64, 48, kRed, kGreen, restart);
  for (size_t i = 2; i + 1 < lostRestart.size(); ++i) {
    if (lostRestart[i] == 0xFF && lostRestart[i + 1] == 0xD1) lostRestart[i + 1] = 0xC7;
  }
  // Every refusal but damage among the blocks comes before any row is asked for.
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    PhotoStatus status;
    bool rowsAsked;
  };
  const Case cases[] = {
      {"progressive", replaced(0xC0, 0xC2), PhotoStatus::kUnsupported, false},
      {"arithmetic", replaced(0xC0, 0xC9), PhotoStatus::kUnsupported, false},
      {"lossless", replaced(0xC0, 0xC3), PhotoStatus::kUnsupported, false},
      {"12-bit", frameBytes(0, {12}), PhotoStatus::kUnsupported, false},
      {"no height (DNL)", frameBytes(1, {0, 0}), PhotoStatus::kUnsupported, false},
      {"not a JPEG", {'G', 'I', 'F', '8'}, PhotoStatus::kUnsupported, false},
      {"declares 30000 x 30000", frameBytes(1, {0x75, 0x30, 0x75, 0x30}), PhotoStatus::kDamaged, false},
      {"Huffman table missing", replaced(0xC4, 0xE4), PhotoStatus::kDamaged, false},
      {"quantisation table missing", replaced(0xDB, 0xE5), PhotoStatus::kDamaged, false},
      {"sampling factor 0", frameBytes(7, {0x02}), PhotoStatus::kDamaged, false},
      {"cut short", cut, PhotoStatus::kDamaged, true},
      {"restart marker lost", lostRestart, PhotoStatus::kDamaged, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CountingSink sink;
    EXPECT_EQ(c.status, Decode(c.file, 8, &sink));
    EXPECT_EQ(c.rowsAsked ? 1 : 0, sink.begins);
  }
  CountingSink sink;
  EXPECT_EQ(PhotoStatus::kUnsupported, Decode(good, 3, &sink));
  photo::StopFlag stop{true};
  EXPECT_EQ(PhotoStatus::kStopped, Decode(good, 8, &sink, &stop));
}

TEST(JpegDecoderTest, BrokenHuffmanTablesAndCodesAreDamage) {
  const std::vector<uint8_t> good = CornerJpeg(32, 32, kRed, kGreen);
  size_t dht = 0;
  for (size_t i = 2; i + 1 < good.size(); ++i) {
    if (good[i] == 0xFF && good[i + 1] == 0xC4) {
      dht = i;
      break;
    }
  }
  ASSERT_NE(0u, dht);
  // The DC table's counts: 12 codes of 4 bits. Twenty do not fit in 4 bits; a count above 256
  // cannot be; a table of class 2 or id 4 does not exist.
  std::vector<uint8_t> overfull = good, counted = good, kind = good;
  overfull[dht + 5 + 3] = 20;
  counted[dht + 5 + 15] = 250;
  kind[dht + 4] = 0x24;
  // Entropy data that is all ones: no DC code starts with four 1 bits in the table.
  std::vector<uint8_t> noCode = good;
  const size_t eoi = noCode.size() - 2;
  for (size_t i = eoi - 20; i < eoi; ++i) noCode[i] = 0xFE;
  for (const auto& file : {overfull, counted, kind}) {
    CountingSink sink;
    EXPECT_EQ(PhotoStatus::kDamaged, Decode(file, 1, &sink));
  }
  CountingSink sink;
  EXPECT_NE(PhotoStatus::kOk, Decode(noCode, 1, &sink));
}

}  // namespace
