// Incremental decoder of the chunked transfer coding. One pass, in place: each call takes the
// next piece of the raw stream and writes the body bytes it holds to the front of the same
// buffer. All state lives in the object, so the stream may be split anywhere (inside a size
// line, between CR and LF, inside a trailer line) and decodes the same.
//
// Accepted grammar (strict):
//   chunk      = 1*HEXDIG CR LF data CR LF      (no chunk extensions: ';' is an error)
//   last-chunk = 1*"0" CR LF
//   then either an empty line (CR LF) or trailer lines, each ending in CR LF, up to an empty line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class CChunkedDecoder {
 public:
  enum class Result {
    NeedMore,  // every input byte was used; more input is needed
    Done,      // the final empty line was read; *consumed tells where the message ended
    Error,     // malformed; the decoder stays in error until Reset
  };

  // Longest size line accepted (digits including leading zeros); longer lines are refused.
  static constexpr size_t kMaxSizeLine = 64;
  // Bound of the trailer section kept for the caller.
  static constexpr size_t kMaxTrailerBytes = 64 * 1024;

  CChunkedDecoder() = default;

  // Decodes input[0, size) into output. On return output[0, *decoded) holds the body bytes of
  // this piece and *consumed tells how many input bytes were used (all of them unless the result
  // is Done or Error). *decoded never exceeds *consumed and bytes are moved as by memmove, so
  // output may be input itself or any place before it in the same buffer (decoding in place).
  Result Decode(const char* input, size_t size, char* output, size_t* decoded, size_t* consumed);

  void Reset();

  // True once the zero-size chunk's line is complete.
  bool LastChunkSeen() const { return m_state >= State::TrailerStart && m_state != State::Failed; }
  // True when the last chunk was seen and nothing of the trailer section has arrived yet.
  bool AtTrailerStart() const { return m_state == State::TrailerStart && m_trailer.empty(); }
  bool Failed() const { return m_state == State::Failed; }
  // Trailer lines received so far, each ending in CR LF (the final empty line not included).
  const std::string& Trailer() const { return m_trailer; }
  // Body bytes decoded so far.
  uint64_t BodyBytes() const { return m_bodyBytes; }

  // Optional: called with each chunk size as its size line completes (0 for the last chunk).
  std::function<void(uint64_t)> onChunkSize;

 private:
  enum class State : uint8_t {
    Size,         // hex digits up to CR
    SizeLF,       // LF ending the size line
    Data,         // m_remaining data bytes
    DataCR,       // CR after the data
    DataLF,       // LF after the data
    TrailerStart, // start of a trailer line or of the final empty line
    TrailerLine,  // inside a trailer line, up to LF
    FinalLF,      // LF of the final empty line
    Done,
    Failed,
  };

  Result Fail() {
    m_state = State::Failed;
    return Result::Error;
  }

  State m_state = State::Size;
  uint64_t m_size = 0;        // size being read
  size_t m_sizeDigits = 0;    // characters of the size line so far
  uint64_t m_remaining = 0;   // data bytes left in the current chunk
  uint64_t m_bodyBytes = 0;
  std::string m_trailer;
};
