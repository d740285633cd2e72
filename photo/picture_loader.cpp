#include "photo/picture_loader.h"

#include <new>

#include "photo/file_source.h"
#include "photo/jpeg_decoder.h"
#include "photo/jpeg_info.h"
#include "photo/layout.h"
#include "photo/orientation.h"
#include "photo/platform_decoder.h"
#include "photo/scaler.h"

namespace photo {

namespace {

// An embedded thumbnail is at most 64 KiB of data; its pixels are bounded far below this.
constexpr size_t kMaxThumbnailPixels = 4 * 1024 * 1024;

bool Fits(Size pixels) { return uint64_t(pixels.width) * uint64_t(pixels.height) * 4 <= kMaxDecodeBytes; }

PhotoStatus FromInfo(InfoStatus status) {
  switch (status) {
    case InfoStatus::kOk:
      return PhotoStatus::kOk;
    case InfoStatus::kNotJpeg:
      return PhotoStatus::kUnsupported;
    case InfoStatus::kLimits:
      return PhotoStatus::kTooLarge;
    default:
      return PhotoStatus::kDamaged;
  }
}

// The embedded thumbnail scaled to `want`, when it shows the photo's shape (after cutting off
// flat bars) with at least as many pixels as wanted. kOk when it was used.
PhotoStatus FromThumbnail(const JpegInfo& info, Size upright, Size want, const StopFlag* stop, Image* out) {
  MemorySource source(info.ThumbnailData(), info.ThumbnailSize());
  JpegInfo thumb;
  if (ReadJpegInfo(source, &thumb) != InfoStatus::kOk) return PhotoStatus::kDamaged;
  // The thumbnail is stored turned as the photo is.
  const Size thumbUpright = OrientedSize(Size{thumb.width, thumb.height}, info.orientation);
  bool cropped = false;
  Rect area = ThumbnailArea(thumbUpright, upright, &cropped);
  if (cropped) {
    // The line where picture and bar meet is a blend of both: leave it with the bars.
    if (area.y > 0) area = Rect{area.x, area.y + 1, area.width, area.height - 2};
    if (area.x > 0) area = Rect{area.x + 1, area.y, area.width - 2, area.height};
  }
  if (area.width < want.width || area.height < want.height) return PhotoStatus::kUnsupported;
  // Twice the wanted pixels at least: a thumbnail is small, and its edges should stay sharp.
  int denominator = 1;
  for (int d : {8, 4, 2}) {
    if (area.width / d >= 2 * want.width && area.height / d >= 2 * want.height) {
      denominator = d;
      break;
    }
  }
  ImageSink sink(kMaxThumbnailPixels);
  const PhotoStatus status = DecodeJpeg(source, denominator, sink, stop);
  if (status != PhotoStatus::kOk) return status;
  const Image decoded = Orient(sink.Result(), info.orientation);
  const Rect scaled{area.x / denominator, area.y / denominator, area.width / denominator, area.height / denominator};
  if (cropped && !OutsideIsFlat(decoded, scaled)) return PhotoStatus::kUnsupported;
  *out = ScaleArea(decoded, scaled, want);
  return out->bgr.empty() ? PhotoStatus::kDamaged : PhotoStatus::kOk;
}

PhotoStatus LoadJpegFrom(ByteSource& source, const std::u16string* path, const TargetRule& target,
                         const StopFlag* stop, Picture* out) {
  JpegInfo info;
  const PhotoStatus read = FromInfo(ReadJpegInfo(source, &info));
  if (read != PhotoStatus::kOk) return read;
  const int orientation = info.orientation;
  const Size stored{info.width, info.height};
  out->upright = OrientedSize(stored, orientation);
  const Size want = target(out->upright);
  if (want.Empty()) return PhotoStatus::kOk;

  if (info.fields.hasThumbnail) {
    const PhotoStatus thumb = FromThumbnail(info, out->upright, want, stop, &out->image);
    if (thumb == PhotoStatus::kOk) {
      out->fromThumbnail = true;
      return thumb;
    }
    if (thumb == PhotoStatus::kStopped) return thumb;
    out->image = Image();  // a damaged or unfit thumbnail is passed over
  }

  const Size storedWant = OrientedSize(want, orientation);
  const int denominator = ChooseDenominator(stored, storedWant);
  if (!Fits(Size{ScaledSide(stored.width, denominator), ScaledSide(stored.height, denominator)})) {
    return PhotoStatus::kTooLarge;
  }
  AreaScaler scaler(storedWant);
  PhotoStatus status = DecodeJpeg(source, denominator, scaler, stop);
  Image image;
  if (status == PhotoStatus::kOk) {
    image = scaler.Result();
    out->denominator = denominator;
  } else if (status == PhotoStatus::kUnsupported && path != nullptr) {
    // The platform's decoder decodes the whole picture (and under Wine does so before it
    // tells the size): the bound is checked here, on the size of the frame header.
    if (!Fits(stored)) return PhotoStatus::kTooLarge;
    Size declared;
    status = DecodeWithPlatform(*path, true, [&](Size) { return storedWant; }, stop, &image, &declared);
  }
  if (status != PhotoStatus::kOk) return status;
  if (image.bgr.empty()) return PhotoStatus::kDamaged;
  out->image = Orient(image, orientation);
  return PhotoStatus::kOk;
}

}  // namespace

int ChooseDenominator(Size stored, Size want) {
  for (int d : {8, 4, 2}) {
    if (ScaledSide(stored.width, d) >= want.width && ScaledSide(stored.height, d) >= want.height) return d;
  }
  return 1;
}

PhotoStatus LoadJpeg(ByteSource& source, const TargetRule& target, const StopFlag* stop, Picture* out) {
  *out = Picture();
  try {
    return LoadJpegFrom(source, nullptr, target, stop, out);
  } catch (const std::bad_alloc&) {
    *out = Picture();
    return PhotoStatus::kTooLarge;
  }
}

PhotoStatus LoadIntoBox(const std::u16string& path, Size box, Bgr background, bool tinyIsBlank, const StopFlag* stop,
                        Image* out) {
  *out = Image();
  Rect place;
  bool blank = false;
  const auto target = [&](Size upright) {
    if (tinyIsBlank && IsTinyPicture(upright)) {
      blank = true;
      return Size{};
    }
    place = FitInBox(upright, box);
    return Size{place.width, place.height};
  };
  Picture picture;
  const PhotoStatus status = LoadPicture(path, target, stop, &picture);
  if (status != PhotoStatus::kOk) return status;
  if (!blank && picture.image.bgr.empty()) return PhotoStatus::kDamaged;
  try {
    *out = Filled(box, background.blue, background.green, background.red);
  } catch (const std::bad_alloc&) {
    return PhotoStatus::kTooLarge;
  }
  Paste(out, picture.image, place.x, place.y);
  return PhotoStatus::kOk;
}

PhotoStatus LoadPicture(const std::u16string& path, const TargetRule& target, const StopFlag* stop, Picture* out) {
  *out = Picture();
  try {
    FileSource file;
    if (!file.Open(path)) return PhotoStatus::kUnsupported;
    uint8_t head[2] = {0, 0};
    if (file.Read(head, 2) == 2 && head[0] == 0xFF && head[1] == 0xD8) {
      return LoadJpegFrom(file, &path, target, stop, out);
    }
    Size stored;
    return DecodeWithPlatform(
        path, false,
        [&](Size size) {
          out->upright = size;
          return target(size);
        },
        stop, &out->image, &stored);
  } catch (const std::bad_alloc&) {
    *out = Picture();
    return PhotoStatus::kTooLarge;
  }
}

}  // namespace photo
