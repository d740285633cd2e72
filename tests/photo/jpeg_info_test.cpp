// The photo metadata reader on crafted files: EXIF in both byte orders and every orientation,
// thumbnails found or refused (no IFD1, offsets outside, other compression, loops), and the
// segment walk's bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "photo/byte_source.h"
#include "photo/exif.h"
#include "photo/jpeg_info.h"
#include "tests/photo/photo_test_util.h"

namespace {

using namespace jpegtest;
using photo::InfoStatus;
using photo::JpegInfo;

const std::vector<uint8_t>& Photo() {
  static const std::vector<uint8_t> bytes = CornerJpeg(48, 32, phototest::kRed, phototest::kGreen);
  return bytes;
}
const std::vector<uint8_t>& Thumbnail() {
  static const std::vector<uint8_t> bytes = CornerJpeg(16, 8, phototest::kBlue, phototest::kWhite);
  return bytes;
}

InfoStatus Read(const std::vector<uint8_t>& bytes, JpegInfo* info) {
  photo::MemorySource source(bytes.data(), bytes.size());
  return photo::ReadJpegInfo(source, info);
}

TEST(JpegInfoTest, EachByteOrderAndOrientationWithItsThumbnail) {
  for (bool big : {false, true}) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
      SCOPED_TRACE(std::to_string(big) + " " + std::to_string(orientation));
      ExifLayout layout;
      layout.bigEndian = big;
      layout.orientation = orientation;
      JpegInfo info;
      ASSERT_EQ(InfoStatus::kOk, Read(WithSegments(Photo(), {ExifSegment(MakeExif(layout, Thumbnail()))}), &info));
      EXPECT_EQ(48, info.width);
      EXPECT_EQ(32, info.height);
      EXPECT_EQ(3, info.components);
      EXPECT_EQ(0xC0, info.frameMarker);
      EXPECT_EQ(orientation, info.orientation);
      ASSERT_TRUE(info.fields.hasThumbnail);
      EXPECT_EQ(68u, info.fields.thumbnailOffset);
      ASSERT_EQ(Thumbnail().size(), info.ThumbnailSize());
      EXPECT_EQ(Thumbnail(), std::vector<uint8_t>(info.ThumbnailData(), info.ThumbnailData() + info.ThumbnailSize()));
    }
  }
}

TEST(JpegInfoTest, ThumbnailsAndOrientationsThatAreNotThere) {
  struct Case {
    const char* what;
    ExifLayout layout;
    int orientation;
    bool thumbnail;
  };
  auto with = [](auto change) {
    ExifLayout layout;
    layout.orientation = 6;
    change(layout);
    return layout;
  };
  const Case cases[] = {
      {"no IFD1", with([](ExifLayout& l) { l.ifd1 = false; }), 6, false},
      {"IFD1 beyond the block", with([](ExifLayout& l) { l.ifd0Next = 5000; }), 6, false},
      {"IFD1 whose entries run past the end",
       with([](ExifLayout& l) { l.ifd0Next = static_cast<uint32_t>(68 + Thumbnail().size() - 2); }), 6, false},
      {"thumbnail beyond the block", with([](ExifLayout& l) { l.thumbnailOffset = 1 << 20; }), 6, false},
      {"thumbnail longer than the block", with([](ExifLayout& l) { l.thumbnailLength = 0xFFFFFFF0u; }), 6, false},
      {"thumbnail offset wrapping around", with([](ExifLayout& l) { l.thumbnailOffset = 0xFFFFFFFFu; }), 6, false},
      {"thumbnail not a JPEG", with([](ExifLayout& l) { l.thumbnailOffset = 8; }), 6, false},
      {"uncompressed thumbnail", with([](ExifLayout& l) { l.compression = 1; }), 6, false},
      {"IFD0 pointing to itself", with([](ExifLayout& l) { l.ifd0Next = 8; }), 6, false},
      {"IFD1 pointing back to IFD0", with([](ExifLayout& l) { l.ifd1Next = 8; }), 6, true},
      {"IFD1 pointing to itself", with([](ExifLayout& l) { l.ifd1Next = 26; }), 6, true},
      {"orientation 9", with([](ExifLayout& l) { l.orientation = 9; }), 1, true},
      {"no orientation tag", with([](ExifLayout& l) { l.orientation = 0; }), 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    JpegInfo info;
    ASSERT_EQ(InfoStatus::kOk, Read(WithSegments(Photo(), {ExifSegment(MakeExif(c.layout, Thumbnail()))}), &info));
    EXPECT_EQ(c.orientation, info.orientation);
    EXPECT_EQ(c.thumbnail, info.fields.hasThumbnail);
    EXPECT_EQ(48, info.width);
  }
}

TEST(JpegInfoTest, DamagedExifBlocksAreIgnoredAndTheFirstExifBlockCounts) {
  std::vector<uint8_t> badMark = MakeExif(ExifLayout(), Thumbnail());
  badMark[0] = 'X';
  std::vector<uint8_t> badMagic = MakeExif(ExifLayout(), Thumbnail());
  badMagic[2] = 43;
  std::vector<uint8_t> ifd0Outside = MakeExif(ExifLayout(), Thumbnail());
  ifd0Outside[4] = 0xF0;
  ExifLayout six;
  six.orientation = 6;
  ExifLayout three;
  three.orientation = 3;
  // An IFD whose entry count runs past the end keeps the entries that are inside.
  std::vector<uint8_t> countTooLarge = MakeExif(six);
  countTooLarge[8] = 0xFF;
  const std::vector<uint8_t> xmp = Segment(0xE1, {'h', 't', 't', 'p', ':', '/', '/', 'n', 's'});
  struct Case {
    const char* what;
    std::vector<std::vector<uint8_t>> segments;
    int orientation;
  };
  const Case cases[] = {
      {"byte order mark", {ExifSegment(badMark)}, 1},
      {"magic number", {ExifSegment(badMagic)}, 1},
      {"IFD0 outside", {ExifSegment(ifd0Outside)}, 1},
      {"too short", {ExifSegment({'I', 'I', 42})}, 1},
      {"entry count past the end", {ExifSegment(countTooLarge)}, 6},
      {"XMP before EXIF", {xmp, ExifSegment(MakeExif(six))}, 6},
      {"two EXIF blocks", {ExifSegment(MakeExif(three)), ExifSegment(MakeExif(six))}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    JpegInfo info;
    ASSERT_EQ(InfoStatus::kOk, Read(WithSegments(Photo(), c.segments), &info));
    EXPECT_EQ(c.orientation, info.orientation);
    EXPECT_FALSE(info.fields.hasThumbnail);
  }
}

TEST(JpegInfoTest, TheWalkSeeksOverTwoMegabytesOfSegmentsWithinItsBounds) {
  // 2 MB of application segments before the frame header, then the bounds: 1,000 segments and
  // 16 MiB of file.
  const std::vector<uint8_t> big = Segment(0xE2, std::vector<uint8_t>(65000, 0x5A));
  std::vector<std::vector<uint8_t>> twoMb(33, big);
  twoMb.push_back(ExifSegment(MakeExif(ExifLayout{false, 8}, Thumbnail())));
  JpegInfo info;
  const std::vector<uint8_t> file = WithSegments(Photo(), twoMb);
  ASSERT_GT(file.size(), 2000000u);
  ASSERT_EQ(InfoStatus::kOk, Read(file, &info));
  EXPECT_EQ(48, info.width);
  EXPECT_EQ(8, info.orientation);
  EXPECT_TRUE(info.fields.hasThumbnail);

  const std::vector<uint8_t> small = Segment(0xE3, {1, 2, 3});
  // SOI, 997 segments and the frame (after DQT) pass; one more segment does not.
  EXPECT_EQ(InfoStatus::kOk, Read(WithSegments(Photo(), std::vector<std::vector<uint8_t>>(997, small)), &info));
  EXPECT_EQ(InfoStatus::kLimits, Read(WithSegments(Photo(), std::vector<std::vector<uint8_t>>(999, small)), &info));
  EXPECT_EQ(InfoStatus::kLimits, Read(WithSegments(Photo(), std::vector<std::vector<uint8_t>>(260, big)), &info));
}

TEST(JpegInfoTest, FramesOfEveryKindAndFilesWithoutOne) {
  // The frame markers give the size; C4 (DHT), C8 and CC are no frames.
  for (uint8_t marker : {0xC1, 0xC2, 0xC3, 0xC5, 0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF}) {
    std::vector<uint8_t> file = {0xFF, 0xD8};
    for (uint8_t other : {0xC4, 0xC8, 0xCC}) {
      const std::vector<uint8_t> s = Segment(other, {0, 0, 0, 0, 0, 0, 0});
      file.insert(file.end(), s.begin(), s.end());
    }
    const std::vector<uint8_t> frame = Segment(marker, {8, 0x0B, 0xB8, 0x0F, 0xA0, 3, 1, 0x22, 0});
    file.insert(file.end(), frame.begin(), frame.end());
    JpegInfo info;
    ASSERT_EQ(InfoStatus::kOk, Read(file, &info)) << int(marker);
    EXPECT_EQ(4000, info.width);
    EXPECT_EQ(3000, info.height);
    EXPECT_EQ(marker, info.frameMarker);
  }
  const std::vector<uint8_t> noHeight = WithSegments({0xFF, 0xD8}, {Segment(0xC0, {8, 0, 0, 0x0F, 0xA0, 1})});
  const std::vector<uint8_t> shortFrame = WithSegments({0xFF, 0xD8}, {Segment(0xC0, {8, 0, 1})});
  const std::vector<uint8_t> zeroLength = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xC0};
  const std::vector<uint8_t> scanFirst = WithSegments({0xFF, 0xD8}, {Segment(0xDA, {0})});
  const std::vector<uint8_t> cut(Photo().begin(), Photo().begin() + 30);
  // Fill bytes and stray bytes between segments are passed over.
  const std::vector<uint8_t> fill = WithSegments(Photo(), {{0xFF, 0xFF, 0x00, 0x12}});
  JpegInfo info;
  EXPECT_EQ(InfoStatus::kDamaged, Read(noHeight, &info));
  EXPECT_EQ(InfoStatus::kDamaged, Read(shortFrame, &info));
  EXPECT_EQ(InfoStatus::kDamaged, Read(zeroLength, &info));
  EXPECT_EQ(InfoStatus::kNoFrame, Read(scanFirst, &info));
  EXPECT_EQ(InfoStatus::kNoFrame, Read({0xFF, 0xD8, 0xFF, 0xD9}, &info));
  EXPECT_EQ(InfoStatus::kNoFrame, Read(cut, &info));
  EXPECT_EQ(InfoStatus::kNotJpeg, Read({'B', 'M', 0, 0}, &info));
  EXPECT_EQ(InfoStatus::kNotJpeg, Read({}, &info));
  EXPECT_EQ(InfoStatus::kOk, Read(fill, &info));
}

}  // namespace
