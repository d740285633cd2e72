#include "net/chunked_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Result = CChunkedDecoder::Result;

struct Outcome {
  Result result = Result::NeedMore;
  std::string body;
  size_t consumed = 0;
};

// Feeds `stream` in pieces cut at `cuts` (offsets), each piece decoded in place in its own copy.
Outcome Decode(CChunkedDecoder& decoder, const std::string& stream, std::vector<size_t> cuts = {}) {
  Outcome out;
  cuts.push_back(stream.size());
  size_t start = 0;
  for (size_t cut : cuts) {
    std::string piece = stream.substr(start, cut - start);
    size_t decoded = 0, consumed = 0;
    out.result = decoder.Decode(piece.data(), piece.size(), &piece[0], &decoded, &consumed);
    out.body.append(piece.data(), decoded);
    out.consumed += consumed;
    if (out.result != Result::NeedMore) break;
    EXPECT_EQ(consumed, piece.size());
    start = cut;
  }
  return out;
}

Outcome Decode(const std::string& stream) {
  CChunkedDecoder decoder;
  return Decode(decoder, stream);
}

const std::string kStream = "5\r\nhello\r\n1A\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n";

TEST(ChunkedDecoderTest, EverySplitPointAndByteByByteDecodeTheSame) {
  std::vector<size_t> everyByte;
  for (size_t cut = 0; cut <= kStream.size(); ++cut) {
    CChunkedDecoder decoder;
    const Outcome o = Decode(decoder, kStream, {cut});
    EXPECT_EQ(o.result, Result::Done) << "cut at " << cut;
    EXPECT_EQ(o.body, "helloabcdefghijklmnopqrstuvwxyz") << "cut at " << cut;
    EXPECT_EQ(o.consumed, kStream.size()) << "cut at " << cut;
    if (cut > 0 && cut < kStream.size()) everyByte.push_back(cut);
  }
  CChunkedDecoder decoder;
  std::vector<uint64_t> sizes;
  decoder.onChunkSize = [&sizes](uint64_t size) { sizes.push_back(size); };
  EXPECT_EQ(Decode(decoder, kStream, everyByte).body, "helloabcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(decoder.BodyBytes(), 31u);
  EXPECT_EQ(sizes, (std::vector<uint64_t>{5, 26, 0}));
}

TEST(ChunkedDecoderTest, AcceptedForms) {
  // Stops at the end of the message; the next response's bytes are not consumed.
  const std::string twoMessages = "3\r\nabc\r\n0\r\n\r\nHTTP/1.1 200 OK\r\n";
  Outcome o = Decode(twoMessages);
  EXPECT_EQ(o.result, Result::Done);
  EXPECT_EQ(o.body, "abc");
  EXPECT_EQ(o.consumed, twoMessages.size() - 17);
  // Both letter cases and leading zeros in sizes; the largest size awaits its data.
  EXPECT_EQ(Decode("000a\r\n0123456789\r\nA\r\nabcdefghij\r\n00\r\n\r\n").body, "0123456789abcdefghij");
  o = Decode("ffffffffffffffff\r\nabc");
  EXPECT_EQ(o.result, Result::NeedMore);
  EXPECT_EQ(o.body, "abc");
  // A size line of exactly the bound is read; one more digit is refused.
  const std::string zeros(CChunkedDecoder::kMaxSizeLine - 1, '0');
  EXPECT_EQ(Decode(zeros + "1\r\nx\r\n0\r\n\r\n").result, Result::Done);
  EXPECT_EQ(Decode(zeros + "01\r\nx\r\n0\r\n\r\n").result, Result::Error);
  // Empty input needs more and reports nothing.
  CChunkedDecoder decoder;
  size_t decoded = 1, consumed = 1;
  EXPECT_EQ(decoder.Decode(nullptr, 0, nullptr, &decoded, &consumed), Result::NeedMore);
  EXPECT_EQ(decoded + consumed, 0u);
}

TEST(ChunkedDecoderTest, LastChunkAndTrailer) {
  CChunkedDecoder decoder;
  EXPECT_EQ(Decode(decoder, "2\r\nab\r\n0\r\n").result, Result::NeedMore);
  EXPECT_TRUE(decoder.LastChunkSeen());
  EXPECT_TRUE(decoder.AtTrailerStart());
  decoder.Reset();
  Decode(decoder, "0\r\nX-A: 1\r\n");
  EXPECT_TRUE(decoder.LastChunkSeen());
  EXPECT_FALSE(decoder.AtTrailerStart());
  decoder.Reset();
  const Outcome o = Decode(decoder, "1\r\nx\r\n0\r\nX-Sum: 12\r\nX-B: 3\r\n\r\n", {12, 20});
  EXPECT_EQ(o.result, Result::Done);
  EXPECT_EQ(decoder.Trailer(), "X-Sum: 12\r\nX-B: 3\r\n");
  std::string big = "0\r\n";
  while (big.size() < CChunkedDecoder::kMaxTrailerBytes + 64) big += "X-Filler: 0123456789abcdef\r\n";
  EXPECT_EQ(Decode(big + "\r\n").result, Result::Error);
}

TEST(ChunkedDecoderTest, RefusesMalformedStreamsUntilReset) {
  const char* bad[] = {
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
  for (const char* stream : bad) {
    CChunkedDecoder decoder;
    EXPECT_EQ(Decode(decoder, stream).result, Result::Error) << stream;
    EXPECT_TRUE(decoder.Failed()) << stream;
    EXPECT_EQ(Decode(decoder, "1\r\nx\r\n0\r\n\r\n").result, Result::Error) << stream;
    decoder.Reset();
    EXPECT_EQ(Decode(decoder, "1\r\nx\r\n0\r\n\r\n").body, "x") << stream;
  }
}

}  // namespace
