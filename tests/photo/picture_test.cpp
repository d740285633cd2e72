// From a photo file to a small upright picture: the box layout, the area scaler, the eight
// orientations, the embedded thumbnail's fast path and when it is passed over, the choice of
// scale and the memory bound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "photo/byte_source.h"
#include "photo/layout.h"
#include "photo/orientation.h"
#include "photo/picture_loader.h"
#include "photo/scaler.h"
#include "tests/photo/photo_test_util.h"

namespace {

using namespace jpegtest;
using namespace phototest;
using photo::PhotoStatus;
using photo::Rect;
using photo::Size;

testing::AssertionResult SameRect(Rect want, Rect got) {
  if (want.x == got.x && want.y == got.y && want.width == got.width && want.height == got.height) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure() << "got " << got.width << "x" << got.height << " at " << got.x << "," << got.y;
}

TEST(LayoutTest, PicturesFitTheirBoxAndThumbnailsAreCutToThePhotosShape) {
  struct Fit {
    Size picture, box;
    Rect place;
  };
  const Fit fits[] = {
      {{4000, 3000}, {80, 55}, {3, 0, 73, 55}},    {{3000, 2000}, {80, 55}, {0, 1, 80, 53}},
      {{100, 100}, {80, 55}, {12, 0, 55, 55}},     {{3000, 4000}, {80, 55}, {19, 0, 41, 55}},
      {{160, 110}, {80, 55}, {0, 0, 80, 55}},      {{100000, 10}, {80, 55}, {0, 27, 80, 1}},
      {{4000, 3000}, {175, 155}, {0, 12, 175, 131}}, {{3000, 4000}, {175, 155}, {29, 0, 116, 155}},
  };
  for (const Fit& f : fits) {
    EXPECT_TRUE(SameRect(f.place, photo::FitInBox(f.picture, f.box))) << f.picture.width << "x" << f.picture.height;
  }
  EXPECT_TRUE(photo::IsTinyPicture({1, 500}));
  EXPECT_FALSE(photo::IsTinyPicture({2, 2}));

  struct Area {
    Size thumbnail, photo;
    Rect area;
    bool cropped;
  };
  const Area areas[] = {
      {{160, 120}, {6000, 4000}, {0, 6, 160, 107}, true},  // bars above and below
      {{120, 160}, {4000, 6000}, {6, 0, 107, 160}, true},  // the same turned
      {{160, 120}, {3000, 4000}, {35, 0, 90, 120}, true},  // bars left and right
      {{160, 107}, {6000, 4000}, {0, 0, 160, 107}, false},
      {{160, 120}, {4000, 3000}, {0, 0, 160, 120}, false},
      {{160, 118}, {4000, 3000}, {0, 0, 160, 118}, false},  // within 2 %
  };
  for (const Area& a : areas) {
    bool cropped = false;
    EXPECT_TRUE(SameRect(a.area, photo::ThumbnailArea(a.thumbnail, a.photo, &cropped)));
    EXPECT_EQ(a.cropped, cropped);
  }
}

photo::Image Row(std::vector<uint8_t> values) {
  photo::Image image;
  image.width = static_cast<int>(values.size());
  image.height = 1;
  for (uint8_t v : values) image.bgr.insert(image.bgr.end(), {v, v, v});
  return image;
}

TEST(ScalerTest, EachOutputPixelIsTheAreaWeightedMean) {
  struct Case {
    std::vector<uint8_t> in;
    int out;
    std::vector<uint8_t> want;
  };
  const Case cases[] = {
      {{0, 90, 180}, 2, {30, 150}},           // 3 -> 2: thirds
      {{10, 20, 30, 40}, 2, {15, 35}},        // halves
      {{200}, 3, {200, 200, 200}},            // scaled up
      {{0, 255}, 3, {0, 128, 255}},           // up, the middle pixel straddles
      {{7, 7, 7, 7, 7, 7, 7}, 3, {7, 7, 7}},  // a flat picture stays exact
  };
  for (const Case& c : cases) {
    const photo::Image out = photo::ScaleArea(Row(c.in), Rect{0, 0, static_cast<int>(c.in.size()), 1}, Size{c.out, 1});
    ASSERT_EQ(c.out, out.width);
    for (int x = 0; x < c.out; ++x) EXPECT_EQ(c.want[static_cast<size_t>(x)], out.bgr[static_cast<size_t>(x) * 3]) << x;
  }
  // A part of a picture, and parts that lie outside.
  const photo::Image part = photo::ScaleArea(Row({1, 2, 100, 100, 5}), Rect{2, 0, 2, 1}, Size{1, 1});
  ASSERT_EQ(1, part.width);
  EXPECT_EQ(100, part.bgr[0]);
  EXPECT_TRUE(photo::ScaleArea(Row({1, 2}), Rect{1, 0, 2, 1}, Size{1, 1}).bgr.empty());
  EXPECT_TRUE(photo::ScaleArea(Row({1, 2}), Rect{0, 0, 2, 1}, Size{0, 1}).bgr.empty());
}

TEST(OrientationTest, EachOrientationShowsTheStoredCornerItNames) {
  // A 3 x 2 picture with pixels 0..5 row by row; where each stored pixel shows, upright.
  photo::Image stored;
  stored.width = 3;
  stored.height = 2;
  for (uint8_t v = 0; v < 6; ++v) stored.bgr.insert(stored.bgr.end(), {v, v, v});
  const std::vector<uint8_t> upright[9] = {
      {},
      {0, 1, 2, 3, 4, 5},  // 1
      {2, 1, 0, 5, 4, 3},  // 2 mirrored left-right
      {5, 4, 3, 2, 1, 0},  // 3 turned 180
      {3, 4, 5, 0, 1, 2},  // 4 mirrored top-bottom
      {0, 3, 1, 4, 2, 5},  // 5 along the main diagonal
      {3, 0, 4, 1, 5, 2},  // 6 turned 90 clockwise
      {5, 2, 4, 1, 3, 0},  // 7 along the other diagonal
      {2, 5, 1, 4, 0, 3},  // 8 turned 90 counter-clockwise
  };
  for (int o = 1; o <= 8; ++o) {
    const photo::Image out = photo::Orient(stored, o);
    EXPECT_EQ(o >= 5 ? 2 : 3, out.width) << o;
    std::vector<uint8_t> got;
    for (size_t i = 0; i < out.bgr.size(); i += 3) got.push_back(out.bgr[i]);
    EXPECT_EQ(upright[o], got) << o;
  }
  EXPECT_EQ(stored.bgr, photo::Orient(stored, 0).bgr);
}

// A red photo whose upright top-left quarter is green, stored turned for `orientation`.
std::vector<uint8_t> OrientedPhoto(int w, int h, int orientation, const std::vector<uint8_t>& thumbnail = {}) {
  return OrientedCornerJpeg(w, h, orientation, kRed, kGreen, thumbnail);
}

PhotoStatus Load(const std::vector<uint8_t>& bytes, Size box, photo::Picture* out) {
  photo::MemorySource source(bytes.data(), bytes.size());
  const photo::TargetRule fit = [box](Size upright) {
    const Rect r = photo::FitInBox(upright, box);
    return Size{r.width, r.height};
  };
  return photo::LoadJpeg(source, fit, nullptr, out);
}

TEST(PictureLoaderTest, EveryOrientationComesOutUpright) {
  for (int o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    photo::Picture picture;
    ASSERT_EQ(PhotoStatus::kOk, Load(OrientedPhoto(160, 96, o), Size{80, 55}, &picture));
    EXPECT_EQ(160, picture.upright.width);
    EXPECT_EQ(96, picture.upright.height);
    const photo::Image& im = picture.image;
    ASSERT_EQ(80, im.width);
    ASSERT_EQ(48, im.height);
    EXPECT_TRUE(Near(kGreen, PixelAt(im, 5, 5)));
    EXPECT_TRUE(Near(kRed, PixelAt(im, 74, 5)));
    EXPECT_TRUE(Near(kRed, PixelAt(im, 5, 42)));
    EXPECT_TRUE(Near(kRed, PixelAt(im, 74, 42)));
  }
}

// A 160 x 120 thumbnail (as stored, turned as its photo is): a picture of `inner` pixels
// centred on black bars.
std::vector<uint8_t> BarredThumbnail(int innerW, int innerH, Bgr colour) {
  return EncodeJpeg(160, 120, [&](int x, int y) {
    return x >= (160 - innerW) / 2 && x < (160 + innerW) / 2 && y >= (120 - innerH) / 2 && y < (120 + innerH) / 2
               ? colour
               : kBlack;
  });
}

TEST(PictureLoaderTest, AThumbnailOfTheRightShapeIsUsedAndItsBarsCutOff) {
  struct Case {
    const char* what;
    int w, h, orientation;
    std::vector<uint8_t> thumbnail;
    bool used;
  };
  std::vector<uint8_t> damaged = BarredThumbnail(160, 107, kBlue);
  damaged.resize(damaged.size() / 2);
  std::vector<uint8_t> notJpeg = BarredThumbnail(160, 107, kBlue);
  notJpeg[3] = 0;
  const Case cases[] = {
      {"3:2 in a 4:3 thumbnail with bars", 600, 400, 1, BarredThumbnail(160, 107, kBlue), true},
      {"the same turned", 400, 600, 6, BarredThumbnail(160, 107, kBlue), true},
      {"4:3 in a 4:3 thumbnail", 640, 480, 1, EncodeJpeg(160, 120, [](int, int) { return kBlue; }), true},
      {"content where bars should be", 600, 400, 1,
       EncodeJpeg(160, 120, [](int x, int y) { return (x / 8 + y / 8) % 2 ? kBlue : kWhite; }), false},
      {"thumbnail smaller than the tile", 600, 400, 1, EncodeJpeg(64, 43, [](int, int) { return kBlue; }), false},
      {"thumbnail cut short", 600, 400, 1, damaged, false},
      {"thumbnail damaged inside", 600, 400, 1, notJpeg, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    photo::Picture picture;
    ASSERT_EQ(PhotoStatus::kOk, Load(OrientedPhoto(c.w, c.h, c.orientation, c.thumbnail), Size{80, 55}, &picture));
    EXPECT_EQ(c.used, picture.fromThumbnail);
    // The placement comes from the photo's size; no black row or column of bars.
    const Rect place = photo::FitInBox(Size{c.w, c.h}, Size{80, 55});
    ASSERT_EQ(place.width, picture.image.width);
    ASSERT_EQ(place.height, picture.image.height);
    const photo::Image& im = picture.image;
    for (Size p : {Size{0, 0}, Size{im.width - 1, 0}, Size{0, im.height - 1}, Size{im.width - 1, im.height - 1},
                   Size{im.width / 2, 0}, Size{0, im.height / 2}}) {
      const Bgr got = PixelAt(im, p.width, p.height);
      EXPECT_GT(got.b + got.g + got.r, 120) << p.width << "," << p.height;
    }
    EXPECT_TRUE(Near(c.used ? kBlue : kRed, PixelAt(im, im.width - 2, im.height - 2), 40));
  }
}

TEST(PictureLoaderTest, ScaleAndBoundFollowTheDeclaredSize) {
  struct Case {
    Size stored, want;
    int denominator;
  };
  const Case cases[] = {
      {{4000, 3000}, {73, 55}, 8},  {{4000, 3000}, {175, 131}, 8}, {{1200, 900}, {175, 131}, 4},
      {{600, 450}, {175, 131}, 2}, {{300, 225}, {175, 131}, 1},   {{40, 30}, {73, 55}, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(c.denominator, photo::ChooseDenominator(c.stored, c.want));

  // The bound applies at the scale used: a picture wanted at full size that would take more
  // than 256 MiB is refused; the same picture wanted small is decoded at 1/8.
  const std::vector<uint8_t> photo = OrientedPhoto(64, 48, 1);
  std::vector<uint8_t> big = photo;
  for (size_t i = 2; i + 8 < big.size(); ++i) {
    if (big[i] == 0xFF && big[i + 1] == 0xC0) {
      big[i + 5] = 0x27, big[i + 6] = 0x10, big[i + 7] = 0x27, big[i + 8] = 0x10;  // 10000 x 10000
      break;
    }
  }
  photo::MemorySource source(big.data(), big.size());
  photo::Picture picture;
  EXPECT_EQ(PhotoStatus::kTooLarge, photo::LoadJpeg(source, [](Size s) { return s; }, nullptr, &picture));
  EXPECT_EQ(10000, picture.upright.width);
  // At 1/8 the blocks are counted against the data first: 2 KB cannot hold 10000 x 10000.
  EXPECT_EQ(PhotoStatus::kDamaged, photo::LoadJpeg(source, [](Size) { return Size{73, 55}; }, nullptr, &picture));
  // With a usable thumbnail the declared size does not matter.
  std::vector<uint8_t> withThumbnail = OrientedPhoto(64, 48, 1, EncodeJpeg(160, 120, [](int, int) { return kBlue; }));
  for (size_t i = withThumbnail.size() - 9; i > 2; --i) {  // the photo's frame, after the thumbnail's
    if (withThumbnail[i] == 0xFF && withThumbnail[i + 1] == 0xC0) {
      withThumbnail[i + 5] = 0x75, withThumbnail[i + 6] = 0x30, withThumbnail[i + 7] = 0x9C, withThumbnail[i + 8] = 0x40;
      break;
    }
  }
  ASSERT_EQ(PhotoStatus::kOk, Load(withThumbnail, Size{80, 55}, &picture));
  EXPECT_TRUE(picture.fromThumbnail);
  EXPECT_EQ(40000, picture.upright.width);
  EXPECT_EQ(30000, picture.upright.height);
  EXPECT_EQ(73, picture.image.width);

  // An empty target reads only the size; a raised stop flag stops the decode.
  photo::MemorySource plain(photo.data(), photo.size());
  ASSERT_EQ(PhotoStatus::kOk, photo::LoadJpeg(plain, [](Size) { return Size{}; }, nullptr, &picture));
  EXPECT_EQ(64, picture.upright.width);
  EXPECT_TRUE(picture.image.bgr.empty());
  photo::StopFlag stop{true};
  EXPECT_EQ(PhotoStatus::kStopped, photo::LoadJpeg(plain, [](Size) { return Size{8, 6}; }, &stop, &picture));
}

}  // namespace
