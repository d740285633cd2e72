// Throughput of the value encodings on the upload path: base64 of a piece, escaping of text.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "soap/value_encoding.h"
#include "soap/write_stream.h"

namespace {

void Base64Piece(benchmark::State& state) {
  std::vector<uint8_t> piece(static_cast<size_t>(state.range(0)));
  for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<uint8_t>(i * 131 + 7);
  CStringWriteStream out;
  for (auto _ : state) {
    out.Clear();
    WriteBase64(piece.data(), piece.size(), &out);
    benchmark::DoNotOptimize(out.Data().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(Base64Piece)->Arg(57)->Arg(4096)->Arg(250000);

void Base64Decode(benchmark::State& state) {
  std::vector<uint8_t> piece(static_cast<size_t>(state.range(0)));
  for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<uint8_t>(i * 131 + 7);
  CStringWriteStream text;
  WriteBase64(piece.data(), piece.size(), &text);
  std::u16string wide(text.Data().begin(), text.Data().end());
  std::vector<uint8_t> bytes;
  for (auto _ : state) {
    ReadBase64(wide, &bytes);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(Base64Decode)->Arg(250000);

std::u16string MixedText(size_t units) {
  const std::u16string sample = u"photo_2008 & <张三>'s \"holiday\"\t中文照片";
  std::u16string s;
  while (s.size() < units) s += sample;
  s.resize(units);
  return s;
}

void EscapeText(benchmark::State& state) {
  const std::u16string text = state.range(1) ? MixedText(static_cast<size_t>(state.range(0)))
                                             : std::u16string(static_cast<size_t>(state.range(0)), u'a');
  CStringWriteStream out;
  for (auto _ : state) {
    out.Clear();
    WriteEscapedString(text, &out);
    benchmark::DoNotOptimize(out.Data().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0) * 2);
}
// Arg 2: 0 plain ASCII, 1 mixed markup and Chinese.
BENCHMARK(EscapeText)->Args({25, 1})->Args({65536, 0})->Args({65536, 1});

}  // namespace

BENCHMARK_MAIN();
