#include "tests/support/jpeg_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace jpegtest {

namespace {

constexpr double kPi = 3.14159265358979323846;

int ZigZagNatural(int k) {
  int i = 0;
  for (int s = 0; s < 15; ++s) {
    const int low = std::max(0, s - 7), high = std::min(s, 7);
    for (int j = 0; j <= high - low; ++j, ++i) {
      const int row = s % 2 == 1 ? low + j : high - j;
      if (i == k) return row * 8 + s - row;
    }
  }
  return 0;
}

struct Cosines {
  double c[8][8];  // c[x][u] = cos((2x + 1) u pi / 16)
  Cosines() {
    for (int x = 0; x < 8; ++x) {
      for (int u = 0; u < 8; ++u) c[x][u] = std::cos((2 * x + 1) * u * kPi / 16);
    }
  }
};
const Cosines kCos;

struct Natural {
  int n[64];
  Natural() {
    for (int k = 0; k < 64; ++k) n[k] = ZigZagNatural(k);
  }
};
const Natural kNatural;

// A Huffman table from code lengths per symbol: canonical codes, as a DHT writes them.
struct Table {
  std::vector<uint8_t> symbols;  // by length, then in the order given
  uint8_t counts[16] = {};
  uint16_t code[256] = {};
  uint8_t length[256] = {};

  explicit Table(const std::vector<std::pair<uint8_t, int>>& lengths) {
    for (int l = 1; l <= 16; ++l) {
      for (const auto& [symbol, len] : lengths) {
        if (len == l) {
          symbols.push_back(symbol);
          ++counts[l - 1];
        }
      }
    }
    uint16_t next = 0;
    size_t k = 0;
    for (int l = 1; l <= 16; ++l, next = static_cast<uint16_t>(next << 1)) {
      for (int i = 0; i < counts[l - 1]; ++i, ++k, ++next) {
        code[symbols[k]] = next;
        length[symbols[k]] = static_cast<uint8_t>(l);
      }
    }
  }
};

Table DcTable(bool longCodes) {
  std::vector<std::pair<uint8_t, int>> lengths;
  for (int s = 0; s <= 11; ++s) lengths.emplace_back(static_cast<uint8_t>(s), longCodes ? (s < 2 ? 2 : 12) : 4);
  return Table(lengths);
}

Table AcTable(bool longCodes) {
  std::vector<std::pair<uint8_t, int>> lengths = {{0x00, 2}, {0xF0, longCodes ? 16 : 8}};
  for (int run = 0; run < 16; ++run) {
    for (int size = 1; size <= 10; ++size) {
      const uint8_t symbol = static_cast<uint8_t>(run << 4 | size);
      lengths.emplace_back(symbol, longCodes ? (symbol == 0x01 ? 2 : symbol == 0x02 ? 3 : 16) : 8);
    }
  }
  if (!longCodes) lengths[0].second = 8;
  return Table(lengths);
}

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>* out) : m_out(out) {}
  void Put(uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      m_byte = static_cast<uint8_t>(m_byte << 1 | ((bits >> i) & 1));
      if (++m_count == 8) Emit();
    }
  }
  void Flush() {
    while (m_count != 0) Put(1, 1);
  }

 private:
  void Emit() {
    m_out->push_back(m_byte);
    if (m_byte == 0xFF) m_out->push_back(0);
    m_byte = 0;
    m_count = 0;
  }
  std::vector<uint8_t>* m_out;
  uint8_t m_byte = 0;
  int m_count = 0;
};

int Category(int v) {
  int n = 0;
  for (int a = std::abs(v); a != 0; a >>= 1) ++n;
  return n;
}

void PutValue(BitWriter& bits, int v, int size) {
  if (size > 0) bits.Put(static_cast<uint32_t>(v < 0 ? v + (1 << size) - 1 : v), size);
}

void Put16(std::vector<uint8_t>* out, int v) {
  out->push_back(static_cast<uint8_t>(v >> 8));
  out->push_back(static_cast<uint8_t>(v));
}

}  // namespace

std::vector<uint8_t> Segment(uint8_t marker, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out = {0xFF, marker};
  Put16(&out, static_cast<int>(payload.size()) + 2);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

std::vector<uint8_t> EncodeJpeg(int width, int height, const std::function<Bgr(int x, int y)>& pixel,
                                const JpegOptions& options) {
  const int count = options.components;
  const int hmax = count == 1 ? 1 : options.lumaH, vmax = count == 1 ? 1 : options.lumaV;
  const int hs[3] = {hmax, 1, 1}, vs[3] = {vmax, 1, 1};
  const int mcusX = (width + 8 * hmax - 1) / (8 * hmax), mcusY = (height + 8 * vmax - 1) / (8 * vmax);
  // Full-resolution planes over the whole MCU grid, edges repeated.
  const int fullW = mcusX * 8 * hmax, fullH = mcusY * 8 * vmax;
  std::vector<double> planes[3];
  for (int c = 0; c < count; ++c) planes[c].resize(static_cast<size_t>(fullW) * fullH);
  for (int y = 0; y < fullH; ++y) {
    for (int x = 0; x < fullW; ++x) {
      const Bgr p = pixel(std::min(x, width - 1), std::min(y, height - 1));
      const size_t i = static_cast<size_t>(y) * fullW + x;
      const double yy = 0.299 * p.r + 0.587 * p.g + 0.114 * p.b;
      planes[0][i] = yy;
      if (count == 3) {
        planes[1][i] = -0.168736 * p.r - 0.331264 * p.g + 0.5 * p.b + 128;
        planes[2][i] = 0.5 * p.r - 0.418688 * p.g - 0.081312 * p.b + 128;
      }
    }
  }
  std::vector<uint8_t> out = {0xFF, 0xD8};
  std::vector<uint8_t> dqt = {0};
  for (int k = 0; k < 64; ++k) dqt.push_back(static_cast<uint8_t>(options.quant));
  const std::vector<uint8_t> dqtSegment = Segment(0xDB, dqt);
  out.insert(out.end(), dqtSegment.begin(), dqtSegment.end());
  std::vector<uint8_t> sof = {8};
  Put16(&sof, height);
  Put16(&sof, width);
  sof.push_back(static_cast<uint8_t>(count));
  for (int c = 0; c < count; ++c) {
    sof.push_back(static_cast<uint8_t>(c + 1));
    sof.push_back(static_cast<uint8_t>(hs[c] << 4 | vs[c]));
    sof.push_back(0);
  }
  const std::vector<uint8_t> sofSegment = Segment(0xC0, sof);
  out.insert(out.end(), sofSegment.begin(), sofSegment.end());
  const Table dc = DcTable(options.longCodes), ac = AcTable(options.longCodes);
  std::vector<uint8_t> dht;
  for (int kind = 0; kind < 2; ++kind) {
    const Table& t = kind == 0 ? dc : ac;
    dht.push_back(static_cast<uint8_t>(kind << 4));
    dht.insert(dht.end(), t.counts, t.counts + 16);
    dht.insert(dht.end(), t.symbols.begin(), t.symbols.end());
  }
  const std::vector<uint8_t> dhtSegment = Segment(0xC4, dht);
  out.insert(out.end(), dhtSegment.begin(), dhtSegment.end());
  if (options.restartInterval > 0) {
    const std::vector<uint8_t> dri = Segment(0xDD, {static_cast<uint8_t>(options.restartInterval >> 8),
                                                    static_cast<uint8_t>(options.restartInterval)});
    out.insert(out.end(), dri.begin(), dri.end());
  }
  std::vector<uint8_t> sos = {static_cast<uint8_t>(count)};
  for (int c = 0; c < count; ++c) {
    sos.push_back(static_cast<uint8_t>(c + 1));
    sos.push_back(0);
  }
  sos.insert(sos.end(), {0, 63, 0});
  const std::vector<uint8_t> sosSegment = Segment(0xDA, sos);
  out.insert(out.end(), sosSegment.begin(), sosSegment.end());

  BitWriter bits(&out);
  int predictors[3] = {0, 0, 0};
  int mcu = 0, restart = 0;
  for (int my = 0; my < mcusY; ++my) {
    for (int mx = 0; mx < mcusX; ++mx, ++mcu) {
      if (options.restartInterval > 0 && mcu > 0 && mcu % options.restartInterval == 0) {
        bits.Flush();
        out.push_back(0xFF);
        out.push_back(static_cast<uint8_t>(0xD0 + (restart++ & 7)));
        predictors[0] = predictors[1] = predictors[2] = 0;
      }
      for (int c = 0; c < count; ++c) {
        const int sx = hmax / hs[c], sy = vmax / vs[c];  // full-resolution pixels per sample
        for (int by = 0; by < vs[c]; ++by) {
          for (int bx = 0; bx < hs[c]; ++bx) {
            double block[64];
            for (int y = 0; y < 8; ++y) {
              for (int x = 0; x < 8; ++x) {
                // The mean of the full-resolution pixels this sample covers.
                const int px = ((mx * hs[c] + bx) * 8 + x) * sx, py = ((my * vs[c] + by) * 8 + y) * sy;
                double sum = 0;
                for (int j = 0; j < sy; ++j) {
                  for (int i = 0; i < sx; ++i) sum += planes[c][static_cast<size_t>(py + j) * fullW + px + i];
                }
                block[y * 8 + x] = sum / (sx * sy) - 128;
              }
            }
            // The forward DCT, across then down, with a table of cosines.
            double across[64];
            for (int y = 0; y < 8; ++y) {
              for (int u = 0; u < 8; ++u) {
                double sum = 0;
                for (int x = 0; x < 8; ++x) sum += block[y * 8 + x] * kCos.c[x][u];
                across[y * 8 + u] = sum;
              }
            }
            int quantised[64];
            for (int k = 0; k < 64; ++k) {
              const int n = kNatural.n[k], v = n / 8, u = n % 8;
              double sum = 0;
              for (int y = 0; y < 8; ++y) sum += across[y * 8 + u] * kCos.c[y][v];
              const double cu = u == 0 ? std::sqrt(0.5) : 1, cv = v == 0 ? std::sqrt(0.5) : 1;
              quantised[k] = static_cast<int>(std::lround(0.25 * cu * cv * sum / options.quant));
            }
            const int diff = quantised[0] - predictors[c];
            predictors[c] = quantised[0];
            const int dcSize = Category(diff);
            bits.Put(dc.code[dcSize], dc.length[dcSize]);
            PutValue(bits, diff, dcSize);
            int run = 0;
            for (int k = 1; k < 64; ++k) {
              if (quantised[k] == 0) {
                ++run;
                continue;
              }
              for (; run >= 16; run -= 16) bits.Put(ac.code[0xF0], ac.length[0xF0]);
              const int size = Category(quantised[k]);
              const int symbol = run << 4 | size;
              bits.Put(ac.code[symbol], ac.length[symbol]);
              PutValue(bits, quantised[k], size);
              run = 0;
            }
            if (run > 0) bits.Put(ac.code[0x00], ac.length[0x00]);
          }
        }
      }
    }
  }
  bits.Flush();
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

std::vector<uint8_t> CornerJpeg(int width, int height, Bgr rest, Bgr corner, const JpegOptions& options) {
  return EncodeJpeg(
      width, height, [&](int x, int y) { return x < width / 2 && y < height / 2 ? corner : rest; }, options);
}

std::vector<uint8_t> OrientedCornerJpeg(int w, int h, int orientation, Bgr rest, Bgr corner,
                                        const std::vector<uint8_t>& thumbnail, const JpegOptions& options) {
  const bool swap = orientation >= 5 && orientation <= 8;
  const int sw = swap ? h : w, sh = swap ? w : h;
  // The stored corner that shows at the top left: 1 and 5 top left, 2 and 8 top right, 3 and 7
  // bottom right, 4 and 6 bottom left.
  const bool right = orientation == 2 || orientation == 3 || orientation == 7 || orientation == 8;
  const bool bottom = orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
  const std::vector<uint8_t> jpeg = EncodeJpeg(
      sw, sh,
      [&](int x, int y) {
        const bool inX = right ? x >= sw - sw / 2 : x < sw / 2, inY = bottom ? y >= sh - sh / 2 : y < sh / 2;
        return inX && inY ? corner : rest;
      },
      options);
  ExifLayout layout;
  layout.orientation = orientation;
  layout.ifd1 = !thumbnail.empty();
  return WithSegments(jpeg, {ExifSegment(MakeExif(layout, thumbnail))});
}

std::vector<uint8_t> MakeExif(const ExifLayout& layout, const std::vector<uint8_t>& thumbnail) {
  std::vector<uint8_t> out;
  auto u16 = [&](uint32_t v) {
    if (layout.bigEndian) {
      out.push_back(static_cast<uint8_t>(v >> 8));
      out.push_back(static_cast<uint8_t>(v));
    } else {
      out.push_back(static_cast<uint8_t>(v));
      out.push_back(static_cast<uint8_t>(v >> 8));
    }
  };
  auto u32 = [&](uint32_t v) {
    if (layout.bigEndian) {
      u16(v >> 16);
      u16(v & 0xFFFF);
    } else {
      u16(v & 0xFFFF);
      u16(v >> 16);
    }
  };
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
    u16(tag);
    u16(type);
    u32(1);
    if (type == 3) {
      u16(value);
      u16(0);
    } else {
      u32(value);
    }
  };
  out = layout.bigEndian ? std::vector<uint8_t>{'M', 'M'} : std::vector<uint8_t>{'I', 'I'};
  u16(42);
  u32(8);
  // IFD0: one entry (a harmless ImageWidth-like tag when there is no orientation), 18 bytes.
  u16(1);
  entry(layout.orientation != 0 ? 0x0112 : 0x0100, 3, static_cast<uint32_t>(layout.orientation));
  u32(layout.ifd1 ? layout.ifd0Next : 0);
  // IFD1 at 26: three entries, 42 bytes.
  u16(3);
  entry(0x0103, 3, layout.compression);
  entry(0x0201, 4, layout.thumbnailOffset >= 0 ? static_cast<uint32_t>(layout.thumbnailOffset) : 68u);
  entry(0x0202, 4,
        layout.thumbnailLength >= 0 ? static_cast<uint32_t>(layout.thumbnailLength)
                                    : static_cast<uint32_t>(thumbnail.size()));
  u32(layout.ifd1Next);
  out.insert(out.end(), thumbnail.begin(), thumbnail.end());
  return out;
}

std::vector<uint8_t> ExifSegment(const std::vector<uint8_t>& tiff) {
  std::vector<uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), tiff.begin(), tiff.end());
  return Segment(0xE1, payload);
}

std::vector<uint8_t> WithSegments(const std::vector<uint8_t>& jpeg, const std::vector<std::vector<uint8_t>>& segments) {
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  for (const auto& s : segments) out.insert(out.end(), s.begin(), s.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

}  // namespace jpegtest
