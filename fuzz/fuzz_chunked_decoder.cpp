// The chunked decoder, fed in pieces whose sizes come from the input, decoding in place.
// Input: one byte n, then n piece sizes, then the chunked stream.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "net/chunked_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t n = data[0];
  if (n > size - 1) n = size - 1;
  const uint8_t* sizes = data + 1;
  std::vector<char> stream(data + 1 + n, data + size);
  // Decoding the whole stream at once and piece by piece must agree.
  CChunkedDecoder whole;
  std::vector<char> a(stream);
  size_t decodedA = 0, consumedA = 0;
  CChunkedDecoder::Result ra = whole.Decode(a.data(), a.size(), a.data(), &decodedA, &consumedA);

  CChunkedDecoder pieces;
  std::vector<char> b(stream);
  size_t in = 0, out = 0, k = 0;
  CChunkedDecoder::Result rb = CChunkedDecoder::Result::NeedMore;
  while (in < b.size() && rb == CChunkedDecoder::Result::NeedMore) {
    size_t step = k < n ? sizes[k++] : b.size() - in;
    if (step == 0) step = 1;
    if (step > b.size() - in) step = b.size() - in;
    size_t decoded = 0, consumed = 0;
    rb = pieces.Decode(b.data() + in, step, b.data() + out, &decoded, &consumed);
    if (decoded > consumed) __builtin_trap();
    in += consumed;
    out += decoded;
  }
  if (ra != rb) __builtin_trap();
  if (ra != CChunkedDecoder::Result::Error) {
    if (decodedA != out || std::memcmp(a.data(), b.data(), out) != 0) __builtin_trap();
  }
  return 0;
}
