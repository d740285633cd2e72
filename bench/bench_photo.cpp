// Where the time of a thumbnail goes, per photo, without windows: the metadata walk, the own
// decoder at each scale (into the area scaler), and the whole path for a list tile and for the
// preview.
//   bench_photo FILE...               times per file (the best of 3 runs)
//   bench_photo --ppm D FILE OUT.ppm  the picture decoded at 1/D, to compare with another decoder
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "photo/file_source.h"
#include "photo/image.h"
#include "photo/jpeg_decoder.h"
#include "photo/jpeg_info.h"
#include "photo/layout.h"
#include "photo/picture_loader.h"
#include "photo/scaler.h"

namespace {

std::u16string Wide(const char* text) {
  std::u16string out;
  for (const char* p = text; *p != '\0'; ++p) out += static_cast<char16_t>(static_cast<unsigned char>(*p));
  return out;
}

template <typename F>
double BestMs(F run) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    const auto start = std::chrono::steady_clock::now();
    run();
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

photo::TargetRule Fit(photo::Size box) {
  return [box](photo::Size upright) {
    const photo::Rect r = photo::FitInBox(upright, box);
    return photo::Size{r.width, r.height};
  };
}

int WritePpm(int denominator, const char* in, const char* out) {
  photo::FileSource file;
  if (!file.Open(Wide(in))) return 1;
  photo::ImageSink sink(size_t(1) << 28);
  if (photo::DecodeJpeg(file, denominator, sink, nullptr) != photo::PhotoStatus::kOk) return 1;
  const photo::Image& image = sink.Result();
  FILE* f = std::fopen(out, "wb");
  if (f == nullptr) return 1;
  std::fprintf(f, "P6\n%d %d\n255\n", image.width, image.height);
  for (size_t i = 0; i < image.bgr.size(); i += 3) {
    const unsigned char rgb[3] = {image.bgr[i + 2], image.bgr[i + 1], image.bgr[i]};
    std::fwrite(rgb, 1, 3, f);
  }
  std::fclose(f);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--ppm") == 0) return WritePpm(std::atoi(argv[2]), argv[3], argv[4]);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_photo FILE... | bench_photo --ppm D FILE OUT.ppm\n");
    return 2;
  }
  std::printf("%-28s %8s %8s %8s %8s %8s %8s %8s\n", "file", "info", "1/8", "1/4", "1/2", "1/1", "tile", "preview");
  for (int i = 1; i < argc; ++i) {
    const std::u16string path = Wide(argv[i]);
    double times[7] = {};
    times[0] = BestMs([&] {
      photo::FileSource file;
      photo::JpegInfo info;
      if (file.Open(path)) photo::ReadJpegInfo(file, &info);
    });
    const int denominators[4] = {8, 4, 2, 1};
    for (int k = 0; k < 4; ++k) {
      times[1 + k] = BestMs([&] {
        photo::FileSource file;
        photo::AreaScaler scaler(photo::Size{73, 55});
        if (file.Open(path)) photo::DecodeJpeg(file, denominators[k], scaler, nullptr);
      });
    }
    bool thumbnail = false;
    times[5] = BestMs([&] {
      photo::Picture picture;
      photo::LoadPicture(path, Fit({80, 55}), nullptr, &picture);
      thumbnail = picture.fromThumbnail;
    });
    times[6] = BestMs([&] {
      photo::Picture picture;
      photo::LoadPicture(path, Fit({175, 155}), nullptr, &picture);
    });
    const std::string name = std::string(argv[i]).substr(std::string(argv[i]).find_last_of("/\\") + 1);
    std::printf("%-28s %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f%s %8.1f  ms\n", name.c_str(), times[0], times[1], times[2],
                times[3], times[4], times[5], thumbnail ? "*" : " ", times[6]);
  }
  std::printf("(* the tile came from the embedded thumbnail)\n");
  return 0;
}
