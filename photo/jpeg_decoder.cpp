#include "photo/jpeg_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "photo/byte_reader.h"
#include "photo/jpeg_segments.h"

namespace photo {

namespace {

constexpr int kLookupBits = 9;
constexpr int kMaxGapBeforeRestart = 1024;
constexpr int kMaxPredictor = 1 << 16;

// Zig-zag position k -> row * 8 + column of the coefficient.
struct ZigZag {
  uint8_t natural[64];
  ZigZag() {
    int k = 0;
    for (int s = 0; s < 15; ++s) {
      const int low = std::max(0, s - 7), high = std::min(s, 7);
      for (int i = 0; i <= high - low; ++i) {
        const int row = (s % 2 == 1) ? low + i : high - i;
        natural[k++] = static_cast<uint8_t>(row * 8 + (s - row));
      }
    }
  }
};
const ZigZag kZigZag;

struct HuffmanTable {
  bool defined = false;
  uint8_t lookupLength[1 << kLookupBits];
  uint8_t lookupSymbol[1 << kLookupBits];
  int32_t maxCode[17];
  int32_t offset[17];
  uint8_t symbols[256];
  int total = 0;

  // Canonical codes from the counts per length; false when they do not fit their lengths.
  bool Build(const uint8_t counts[16], const uint8_t* values, int count) {
    std::memset(lookupLength, 0, sizeof lookupLength);
    std::memcpy(symbols, values, static_cast<size_t>(count));
    total = count;
    int32_t code = 0;
    int k = 0;
    for (int length = 1; length <= 16; ++length) {
      offset[length] = k - code;
      for (int i = 0; i < counts[length - 1]; ++i, ++k, ++code) {
        if (code >= (1 << length)) return false;
        if (length <= kLookupBits) {
          const int shift = kLookupBits - length;
          for (int fill = code << shift; fill < (code + 1) << shift; ++fill) {
            lookupLength[fill] = static_cast<uint8_t>(length);
            lookupSymbol[fill] = values[k];
          }
        }
      }
      maxCode[length] = counts[length - 1] > 0 ? code - 1 : -1;
      code <<= 1;
    }
    defined = true;
    return true;
  }
};

// The entropy-coded bits, with stuffed zero bytes removed. At a marker or the end of the data it
// goes on with zero bits and counts them, so that a block that used any is known as cut short.
class BitReader {
 public:
  explicit BitReader(ByteReader& in) : m_in(in) {}

  void Ensure() {
    if (m_count < 32) Fill();
  }
  uint32_t Peek(int n) const { return static_cast<uint32_t>(m_bits >> (64 - n)); }
  void Drop(int n) {
    m_bits <<= n;
    m_count -= n;
  }
  int Bits(int n) {
    const uint32_t v = Peek(n);
    Drop(n);
    return static_cast<int>(v);
  }
  // Whether bits beyond the real data were used.
  bool Overrun() const { return m_count < m_padBits; }

  // At the end of a restart interval: drops what is left of the interval and reads the RSTn
  // marker; false when no restart marker follows.
  bool Restart() {
    m_bits = 0;
    m_count = 0;
    m_padBits = 0;
    uint8_t marker = m_marker;
    m_marker = 0;
    for (int skipped = 0; marker == 0 && !m_end; ++skipped) {
      uint8_t b = 0;
      if (skipped > kMaxGapBeforeRestart || !m_in.Byte(&b)) return false;
      if (b != 0xFF) continue;
      while (b == 0xFF) {
        if (!m_in.Byte(&b)) return false;
      }
      marker = b;
    }
    return marker >= 0xD0 && marker <= 0xD7;
  }

 private:
  void Fill() {
    while (m_count <= 56) {
      int b = m_marker == 0 && !m_end ? m_in.Next() : -1;
      if (b == 0xFF) {
        // FF 00 is a data byte FF; FF then another code is a marker (more FF bytes are fill).
        int next = 0xFF;
        while (next == 0xFF) next = m_in.Next();
        if (next < 0) {
          b = -1;
        } else if (next != 0x00) {
          m_marker = static_cast<uint8_t>(next);
          b = -1;
        }
      }
      if (b < 0) {
        m_end = m_end || m_marker == 0;
        b = 0;
        m_padBits += 8;
      }
      m_bits |= static_cast<uint64_t>(b) << (56 - m_count);
      m_count += 8;
    }
  }

  ByteReader& m_in;
  uint64_t m_bits = 0;
  int m_count = 0;
  int64_t m_padBits = 0;
  uint8_t m_marker = 0;
  bool m_end = false;
};

inline int Extend(int value, int size) { return value < (1 << (size - 1)) ? value - (1 << size) + 1 : value; }

// Rounds half away from zero (std::lround is a library call in the innermost loop).
inline int Round(float v) { return static_cast<int>(v >= 0 ? v + 0.5f : v - 0.5f); }

inline uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

struct Component {
  int id = 0;
  int h = 1;
  int v = 1;
  int quant = 0;
  int dcTable = 0;
  int acTable = 0;
  int predictor = 0;
  bool inScan = false;
  int planeWidth = 0;
  std::vector<uint8_t> plane;
  std::vector<int> columnOf;  // output column -> plane column
};

class Decoder {
 public:
  Decoder(ByteSource& source, int denominator) : m_in(source), m_bits(m_in), m_n(8 / denominator) {
    for (int x = 0; x < m_n; ++x) {
      for (int u = 0; u < m_n; ++u) {
        const double a = u == 0 ? 1.0 : std::sqrt(2.0);
        m_cos[x * 8 + u] = static_cast<float>(a * std::cos((2 * x + 1) * u * 3.14159265358979323846 / (2 * m_n)));
      }
    }
    for (int k = 0; k < 64; ++k) m_wanted[k] = kZigZag.natural[k] / 8 < m_n && kZigZag.natural[k] % 8 < m_n;
    m_denominator = denominator;
  }

  PhotoStatus Run(RowSink& sink, const StopFlag* stop) {
    if (!ReadSoi(m_in)) return PhotoStatus::kUnsupported;
    SegmentWalker walker(m_in);
    for (;;) {
      uint8_t marker = 0;
      uint32_t length = 0;
      const SegmentStatus status = walker.Next(&marker, &length);
      if (status != SegmentStatus::kOk) return PhotoStatus::kDamaged;
      std::vector<uint8_t> payload;
      const bool wanted = marker == kMarkerDqt || marker == kMarkerDht || marker == kMarkerDri ||
                          marker == kMarkerApp14 || marker == kMarkerSos || IsFrameMarker(marker);
      if (!wanted) {
        if (marker == kMarkerEoi || !m_in.Skip(length)) return PhotoStatus::kDamaged;
        continue;
      }
      payload.resize(length);
      if (!m_in.Bytes(payload.data(), length)) return PhotoStatus::kDamaged;
      PhotoStatus result = PhotoStatus::kOk;
      if (marker == kMarkerDqt) {
        result = ReadQuantTables(payload);
      } else if (marker == kMarkerDht) {
        result = ReadHuffmanTables(payload);
      } else if (marker == kMarkerDri) {
        if (payload.size() < 2) return PhotoStatus::kDamaged;
        m_restartInterval = payload[0] << 8 | payload[1];
      } else if (marker == kMarkerApp14) {
        if (payload.size() >= 12 && std::memcmp(payload.data(), "Adobe", 5) == 0) m_adobeTransform = payload[11];
      } else if (IsFrameMarker(marker)) {
        // Sequential Huffman only; the other kinds go to the platform's decoder.
        if (m_frame || (marker != 0xC0 && marker != 0xC1)) return PhotoStatus::kUnsupported;
        result = ReadFrame(payload);
      } else {
        if (!m_frame) return PhotoStatus::kDamaged;
        result = ReadScan(payload);
        if (result == PhotoStatus::kOk) result = DecodeScan(sink, stop);
        return result;
      }
      if (result != PhotoStatus::kOk) return result;
    }
  }

 private:
  PhotoStatus ReadQuantTables(const std::vector<uint8_t>& p) {
    size_t at = 0;
    while (at < p.size()) {
      const int precision = p[at] >> 4, id = p[at] & 15;
      const size_t bytes = precision == 0 ? 64 : 128;
      if (precision > 1 || id > 3 || p.size() - at - 1 < bytes) return PhotoStatus::kDamaged;
      ++at;
      for (int k = 0; k < 64; ++k) {
        m_quant[id][k] = precision == 0 ? p[at + k] : static_cast<uint16_t>(p[at + 2 * k] << 8 | p[at + 2 * k + 1]);
      }
      m_quantDefined[id] = true;
      at += bytes;
    }
    return PhotoStatus::kOk;
  }

  PhotoStatus ReadHuffmanTables(const std::vector<uint8_t>& p) {
    size_t at = 0;
    while (at < p.size()) {
      if (p.size() - at < 17) return PhotoStatus::kDamaged;
      const int kind = p[at] >> 4, id = p[at] & 15;
      if (kind > 1 || id > 3) return PhotoStatus::kDamaged;
      int count = 0;
      for (int i = 0; i < 16; ++i) count += p[at + 1 + i];
      if (count > 256 || p.size() - at - 17 < static_cast<size_t>(count)) return PhotoStatus::kDamaged;
      HuffmanTable& table = kind == 0 ? m_dc[id] : m_ac[id];
      if (!table.Build(&p[at + 1], &p[at + 17], count)) return PhotoStatus::kDamaged;
      at += 17 + static_cast<size_t>(count);
    }
    return PhotoStatus::kOk;
  }

  PhotoStatus ReadFrame(const std::vector<uint8_t>& p) {
    if (p.size() < 6) return PhotoStatus::kDamaged;
    const int precision = p[0];
    m_height = p[1] << 8 | p[2];
    m_width = p[3] << 8 | p[4];
    const int count = p[5];
    if (precision != 8 || m_height == 0 || (count != 1 && count != 3)) return PhotoStatus::kUnsupported;
    if (m_width == 0 || p.size() < 6 + 3 * static_cast<size_t>(count)) return PhotoStatus::kDamaged;
    m_components.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      Component& c = m_components[static_cast<size_t>(i)];
      c.id = p[6 + 3 * i];
      c.h = p[7 + 3 * i] >> 4;
      c.v = p[7 + 3 * i] & 15;
      c.quant = p[8 + 3 * i];
      if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quant > 3) return PhotoStatus::kDamaged;
    }
    m_frame = true;
    return PhotoStatus::kOk;
  }

  PhotoStatus ReadScan(const std::vector<uint8_t>& p) {
    if (p.empty()) return PhotoStatus::kDamaged;
    const size_t count = p[0];
    if (p.size() < 4 + 2 * count) return PhotoStatus::kDamaged;
    // Only scans that hold every component (one scan for the whole picture).
    if (count != m_components.size()) return PhotoStatus::kUnsupported;
    for (size_t i = 0; i < count; ++i) {
      Component* found = nullptr;
      for (Component& c : m_components) {
        if (c.id == p[1 + 2 * i] && !c.inScan) found = &c;
      }
      if (found == nullptr) return PhotoStatus::kDamaged;
      found->inScan = true;
      found->dcTable = p[2 + 2 * i] >> 4;
      found->acTable = p[2 + 2 * i] & 15;
      if (found->dcTable > 3 || found->acTable > 3 || !m_dc[found->dcTable].defined ||
          !m_ac[found->acTable].defined || !m_quantDefined[found->quant]) {
        return PhotoStatus::kDamaged;
      }
    }
    const size_t at = 1 + 2 * count;
    if (p[at] != 0 || p[at + 1] != 63 || p[at + 2] != 0) return PhotoStatus::kUnsupported;
    return PhotoStatus::kOk;
  }

  int DecodeSymbol(const HuffmanTable& table) {
    const uint32_t look = m_bits.Peek(kLookupBits);
    const int length = table.lookupLength[look];
    if (length != 0) {
      m_bits.Drop(length);
      return table.lookupSymbol[look];
    }
    const uint32_t code16 = m_bits.Peek(16);
    for (int l = kLookupBits + 1; l <= 16; ++l) {
      const int32_t code = static_cast<int32_t>(code16 >> (16 - l));
      if (code <= table.maxCode[l]) {
        const int32_t index = code + table.offset[l];
        if (index < 0 || index >= table.total) return -1;
        m_bits.Drop(l);
        return table.symbols[index];
      }
    }
    return -1;
  }

  // One block: its coefficients, dequantised, then the reduced inverse DCT into n x n samples
  // of the plane at `out` (rows `stride` apart).
  bool DecodeBlock(Component& c, uint8_t* out, int stride) {
    float coef[64];
    const int n = m_n;
    if (n == 8) {
      std::memset(coef, 0, sizeof coef);
    } else {
      for (int v = 0; v < n; ++v) {
        for (int u = 0; u < n; ++u) coef[v * 8 + u] = 0;
      }
    }
    const uint16_t* q = m_quant[c.quant];
    m_bits.Ensure();
    const int category = DecodeSymbol(m_dc[c.dcTable]);
    if (category < 0 || category > 11) return false;
    if (category > 0) {
      c.predictor += Extend(m_bits.Bits(category), category);
      c.predictor = std::max(-kMaxPredictor, std::min(kMaxPredictor, c.predictor));
    }
    coef[0] = static_cast<float>(c.predictor) * q[0];
    const HuffmanTable& ac = m_ac[c.acTable];
    for (int k = 1; k < 64;) {
      m_bits.Ensure();
      const int symbol = DecodeSymbol(ac);
      if (symbol < 0) return false;
      const int run = symbol >> 4, size = symbol & 15;
      if (size == 0) {
        if (run != 15) break;
        k += 16;
        continue;
      }
      k += run;
      if (k > 63) return false;
      if (m_wanted[k]) {
        coef[kZigZag.natural[k]] = static_cast<float>(Extend(m_bits.Bits(size), size)) * q[k];
      } else {
        m_bits.Drop(size);  // a coefficient the reduced transform does not use
      }
      ++k;
    }
    if (n == 1) {
      out[0] = Clamp(Round(coef[0] / 8.0f) + 128);
      return true;
    }
    float rows[64];  // rows[v * 8 + x]: the inverse transform across, per vertical frequency
    for (int v = 0; v < n; ++v) {
      for (int x = 0; x < n; ++x) {
        float sum = 0;
        for (int u = 0; u < n; ++u) sum += coef[v * 8 + u] * m_cos[x * 8 + u];
        rows[v * 8 + x] = sum;
      }
    }
    for (int y = 0; y < n; ++y) {
      for (int x = 0; x < n; ++x) {
        float sum = 0;
        for (int v = 0; v < n; ++v) sum += rows[v * 8 + x] * m_cos[y * 8 + v];
        out[y * stride + x] = Clamp(Round(sum / 8.0f) + 128);
      }
    }
    return true;
  }

  PhotoStatus DecodeScan(RowSink& sink, const StopFlag* stop) {
    const bool single = m_components.size() == 1;
    int hmax = 1, vmax = 1;
    if (single) {
      m_components[0].h = m_components[0].v = 1;
    }
    for (const Component& c : m_components) {
      hmax = std::max(hmax, c.h);
      vmax = std::max(vmax, c.v);
    }
    for (const Component& c : m_components) {
      if (hmax % c.h != 0 || vmax % c.v != 0) return PhotoStatus::kUnsupported;
    }
    const int n = m_n;
    const int mcusX = (m_width + 8 * hmax - 1) / (8 * hmax);
    const int mcusY = (m_height + 8 * vmax - 1) / (8 * vmax);
    uint64_t blocksPerMcu = 0;
    for (const Component& c : m_components) blocksPerMcu += static_cast<uint64_t>(c.h * c.v);
    // Every block takes two bits at least (a DC code and an end-of-block code): a picture
    // whose data is shorter cannot be whole, and is refused before anything is allocated.
    const uint64_t blocks = static_cast<uint64_t>(mcusX) * static_cast<uint64_t>(mcusY) * blocksPerMcu;
    const uint64_t dataBytes = m_in.Size() > m_in.Position() ? m_in.Size() - m_in.Position() : 0;
    if (blocks / 4 > dataBytes) return PhotoStatus::kDamaged;

    const int outWidth = ScaledSide(m_width, m_denominator), outHeight = ScaledSide(m_height, m_denominator);
    for (Component& c : m_components) {
      c.planeWidth = mcusX * c.h * n;
      c.plane.assign(static_cast<size_t>(c.planeWidth) * static_cast<size_t>(c.v * n), 0);
      c.columnOf.resize(static_cast<size_t>(outWidth));
      for (int x = 0; x < outWidth; ++x) c.columnOf[static_cast<size_t>(x)] = x * c.h / hmax;
      c.predictor = 0;
    }
    if (!sink.Begin(outWidth, outHeight)) return PhotoStatus::kTooLarge;
    std::vector<uint8_t> row(static_cast<size_t>(outWidth) * 3);
    const bool rgb = m_components.size() == 3 &&
                     (m_adobeTransform == 0 || (m_adobeTransform < 0 && m_components[0].id == 'R' &&
                                                m_components[1].id == 'G' && m_components[2].id == 'B'));

    int rowsDone = 0;
    uint32_t mcu = 0;
    for (int my = 0; my < mcusY; ++my) {
      if (stop != nullptr && stop->load(std::memory_order_relaxed)) return PhotoStatus::kStopped;
      for (int mx = 0; mx < mcusX; ++mx, ++mcu) {
        if (m_restartInterval > 0 && mcu > 0 && mcu % static_cast<uint32_t>(m_restartInterval) == 0) {
          if (m_bits.Overrun() || !m_bits.Restart()) return PhotoStatus::kDamaged;
          for (Component& c : m_components) c.predictor = 0;
        }
        for (Component& c : m_components) {
          for (int by = 0; by < c.v; ++by) {
            for (int bx = 0; bx < c.h; ++bx) {
              uint8_t* out = c.plane.data() + static_cast<size_t>(by * n) * static_cast<size_t>(c.planeWidth) +
                             static_cast<size_t>((mx * c.h + bx) * n);
              if (!DecodeBlock(c, out, c.planeWidth)) return PhotoStatus::kDamaged;
            }
          }
        }
      }
      if (m_bits.Overrun()) return PhotoStatus::kDamaged;
      // The rows of this row of blocks, each component sampled at its own resolution.
      for (int r = 0; r < vmax * n && rowsDone < outHeight; ++r, ++rowsDone) {
        const Component& c0 = m_components[0];
        const uint8_t* p0 = c0.plane.data() + static_cast<size_t>(r * c0.v / vmax) * static_cast<size_t>(c0.planeWidth);
        if (single) {
          for (int x = 0; x < outWidth; ++x) {
            const uint8_t g = p0[c0.columnOf[static_cast<size_t>(x)]];
            row[static_cast<size_t>(x) * 3] = row[static_cast<size_t>(x) * 3 + 1] = row[static_cast<size_t>(x) * 3 + 2] = g;
          }
        } else {
          const Component& c1 = m_components[1];
          const Component& c2 = m_components[2];
          const uint8_t* p1 = c1.plane.data() + static_cast<size_t>(r * c1.v / vmax) * static_cast<size_t>(c1.planeWidth);
          const uint8_t* p2 = c2.plane.data() + static_cast<size_t>(r * c2.v / vmax) * static_cast<size_t>(c2.planeWidth);
          for (int x = 0; x < outWidth; ++x) {
            const int a = p0[c0.columnOf[static_cast<size_t>(x)]];
            const int b = p1[c1.columnOf[static_cast<size_t>(x)]];
            const int c = p2[c2.columnOf[static_cast<size_t>(x)]];
            uint8_t* px = &row[static_cast<size_t>(x) * 3];
            if (rgb) {
              px[0] = static_cast<uint8_t>(c);
              px[1] = static_cast<uint8_t>(b);
              px[2] = static_cast<uint8_t>(a);
            } else {
              // YCbCr as JFIF defines it, in 16-bit fixed point.
              const int cb = b - 128, cr = c - 128;
              px[2] = Clamp(a + ((91881 * cr + 32768) >> 16));
              px[1] = Clamp(a + ((-22554 * cb - 46802 * cr + 32768) >> 16));
              px[0] = Clamp(a + ((116130 * cb + 32768) >> 16));
            }
          }
        }
        sink.Row(row.data());
      }
    }
    return PhotoStatus::kOk;
  }

  ByteReader m_in;
  BitReader m_bits;
  int m_n;
  int m_denominator = 1;
  float m_cos[64] = {};
  bool m_wanted[64] = {};
  uint16_t m_quant[4][64] = {};
  bool m_quantDefined[4] = {};
  HuffmanTable m_dc[4];
  HuffmanTable m_ac[4];
  int m_restartInterval = 0;
  int m_adobeTransform = -1;
  bool m_frame = false;
  int m_width = 0;
  int m_height = 0;
  std::vector<Component> m_components;
};

}  // namespace

PhotoStatus DecodeJpeg(ByteSource& source, int denominator, RowSink& sink, const StopFlag* stop) {
  if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8) return PhotoStatus::kUnsupported;
  if (!source.Seek(0)) return PhotoStatus::kUnsupported;
  try {
    Decoder decoder(source, denominator);
    return decoder.Run(sink, stop);
  } catch (const std::bad_alloc&) {
    return PhotoStatus::kTooLarge;
  }
}

}  // namespace photo
