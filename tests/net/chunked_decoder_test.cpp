#include "net/chunked_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Result = CChunkedDecoder::Result;

struct Outcome {
  Result result = Result::NeedMore;
  std::string body;
  size_t consumedTotal = 0;
};

// Feeds `stream` in pieces cut at `cuts` (offsets), each piece decoded in place in its own copy.
Outcome DecodeInPieces(CChunkedDecoder& decoder, const std::string& stream, std::vector<size_t> cuts) {
  Outcome out;
  cuts.push_back(stream.size());
  size_t start = 0;
  for (size_t cut : cuts) {
    std::string piece = stream.substr(start, cut - start);
    size_t decoded = 0;
    size_t consumed = 0;
    out.result = decoder.Decode(piece.data(), piece.size(), &piece[0], &decoded, &consumed);
    out.body.append(piece.data(), decoded);
    out.consumedTotal += consumed;
    if (out.result != Result::NeedMore) break;
    EXPECT_EQ(consumed, piece.size());
    start = cut;
  }
  return out;
}

Outcome DecodeWhole(const std::string& stream) {
  CChunkedDecoder decoder;
  return DecodeInPieces(decoder, stream, {});
}

const std::string kStream = "5\r\nhello\r\n1A\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n";

TEST(ChunkedDecoderTest, DecodesWholeStream) {
  const Outcome o = DecodeWhole(kStream);
  EXPECT_EQ(o.result, Result::Done);
  EXPECT_EQ(o.body, "helloabcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(o.consumedTotal, kStream.size());
}

TEST(ChunkedDecoderTest, EverySplitPointDecodesTheSame) {
  for (size_t cut = 0; cut <= kStream.size(); ++cut) {
    CChunkedDecoder decoder;
    const Outcome o = DecodeInPieces(decoder, kStream, {cut});
    EXPECT_EQ(o.result, Result::Done) << "cut at " << cut;
    EXPECT_EQ(o.body, "helloabcdefghijklmnopqrstuvwxyz") << "cut at " << cut;
  }
}

TEST(ChunkedDecoderTest, ByteByByteDecodesTheSame) {
  std::vector<size_t> cuts;
  for (size_t i = 1; i < kStream.size(); ++i) cuts.push_back(i);
  CChunkedDecoder decoder;
  const Outcome o = DecodeInPieces(decoder, kStream, cuts);
  EXPECT_EQ(o.result, Result::Done);
  EXPECT_EQ(o.body, "helloabcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(decoder.BodyBytes(), 31u);
}

TEST(ChunkedDecoderTest, DecodesInPlaceInOneBuffer) {
  std::string buffer = kStream;
  CChunkedDecoder decoder;
  size_t decoded = 0;
  size_t consumed = 0;
  EXPECT_EQ(decoder.Decode(buffer.data(), buffer.size(), &buffer[0], &decoded, &consumed), Result::Done);
  EXPECT_EQ(buffer.substr(0, decoded), "helloabcdefghijklmnopqrstuvwxyz");
}

TEST(ChunkedDecoderTest, StopsAtTheEndOfTheMessage) {
  const std::string stream = "3\r\nabc\r\n0\r\n\r\nHTTP/1.1 200 OK\r\n";
  const Outcome o = DecodeWhole(stream);
  EXPECT_EQ(o.result, Result::Done);
  EXPECT_EQ(o.body, "abc");
  EXPECT_EQ(o.consumedTotal, stream.size() - 17);
}

TEST(ChunkedDecoderTest, ReportsTheLastChunkBeforeTheFinalLine) {
  CChunkedDecoder decoder;
  const Outcome o = DecodeInPieces(decoder, "2\r\nab\r\n0\r\n", {});
  EXPECT_EQ(o.result, Result::NeedMore);
  EXPECT_TRUE(decoder.LastChunkSeen());
  EXPECT_TRUE(decoder.AtTrailerStart());
  EXPECT_EQ(o.body, "ab");
}

TEST(ChunkedDecoderTest, CollectsTrailerLines) {
  CChunkedDecoder decoder;
  const Outcome o = DecodeInPieces(decoder, "1\r\nx\r\n0\r\nX-Sum: 12\r\nX-B: 3\r\n\r\n", {12, 20});
  EXPECT_EQ(o.result, Result::Done);
  EXPECT_EQ(o.body, "x");
  EXPECT_EQ(decoder.Trailer(), "X-Sum: 12\r\nX-B: 3\r\n");
}

TEST(ChunkedDecoderTest, InsideATrailerIsNotAtTrailerStart) {
  CChunkedDecoder decoder;
  DecodeInPieces(decoder, "0\r\nX-A: 1\r\n", {});
  EXPECT_TRUE(decoder.LastChunkSeen());
  EXPECT_FALSE(decoder.AtTrailerStart());
}

TEST(ChunkedDecoderTest, SizeAcceptsBothLetterCasesAndLeadingZeros) {
  const Outcome o = DecodeWhole("000a\r\n0123456789\r\nA\r\nabcdefghij\r\n00\r\n\r\n");
  EXPECT_EQ(o.result, Result::Done);
  EXPECT_EQ(o.body, "0123456789abcdefghij");
}

TEST(ChunkedDecoderTest, RefusesMalformedStreams) {
  const std::string bad[] = {
      "5;name=value\r\nhello\r\n0\r\n\r\n",  // chunk extensions are not accepted
      "\r\nhello\r\n",                       // no size
      "5 \r\nhello\r\n",                     // blank after the size
      "g\r\n",                               // not hexadecimal
      "-5\r\n",                              // sign
      "5\nhello\r\n",                        // LF without CR
      "5\r\r\n",                             // CR not followed by LF
      "5\r\nhelloX\r\n",                     // data longer than announced
      "5\r\nhello\rX",                       // CR not followed by LF after data
      "0\r\nX-A: 1\n\r\n",                   // trailer line ending in a bare LF
      "0\r\n\rX",                            // final CR without LF
      "10000000000000000\r\n",               // 17 digits: beyond 64 bits
  };
  for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
    CChunkedDecoder decoder;
    const Outcome o = DecodeInPieces(decoder, bad[i], {});
    EXPECT_EQ(o.result, Result::Error) << "case " << i;
    EXPECT_TRUE(decoder.Failed()) << "case " << i;
  }
}

TEST(ChunkedDecoderTest, LargestSizeIsAcceptedAndAwaitsData) {
  const Outcome o = DecodeWhole("ffffffffffffffff\r\nabc");
  EXPECT_EQ(o.result, Result::NeedMore);
  EXPECT_EQ(o.body, "abc");
}

TEST(ChunkedDecoderTest, SizeLineLengthIsBounded) {
  const std::string zeros(CChunkedDecoder::kMaxSizeLine - 1, '0');
  EXPECT_EQ(DecodeWhole(zeros + "1\r\nx\r\n0\r\n\r\n").result, Result::Done);
  EXPECT_EQ(DecodeWhole(zeros + "01\r\nx\r\n0\r\n\r\n").result, Result::Error);
}

TEST(ChunkedDecoderTest, TrailerSizeIsBounded) {
  std::string stream = "0\r\n";
  while (stream.size() < CChunkedDecoder::kMaxTrailerBytes + 64) stream += "X-Filler: 0123456789abcdef\r\n";
  EXPECT_EQ(DecodeWhole(stream + "\r\n").result, Result::Error);
}

TEST(ChunkedDecoderTest, ErrorIsKeptUntilReset) {
  CChunkedDecoder decoder;
  EXPECT_EQ(DecodeInPieces(decoder, "zz", {}).result, Result::Error);
  EXPECT_EQ(DecodeInPieces(decoder, "1\r\nx\r\n0\r\n\r\n", {}).result, Result::Error);
  decoder.Reset();
  const Outcome o = DecodeInPieces(decoder, "1\r\nx\r\n0\r\n\r\n", {});
  EXPECT_EQ(o.result, Result::Done);
  EXPECT_EQ(o.body, "x");
}

TEST(ChunkedDecoderTest, ReportsEachChunkSize) {
  CChunkedDecoder decoder;
  std::vector<uint64_t> sizes;
  decoder.onChunkSize = [&sizes](uint64_t size) { sizes.push_back(size); };
  DecodeInPieces(decoder, kStream, {4});
  EXPECT_EQ(sizes, (std::vector<uint64_t>{5, 26, 0}));
}

TEST(ChunkedDecoderTest, EmptyInputNeedsMore) {
  CChunkedDecoder decoder;
  size_t decoded = 1;
  size_t consumed = 1;
  EXPECT_EQ(decoder.Decode(nullptr, 0, nullptr, &decoded, &consumed), Result::NeedMore);
  EXPECT_EQ(decoded, 0u);
  EXPECT_EQ(consumed, 0u);
}

}  // namespace
