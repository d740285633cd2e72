#include "net/chunked_decoder.h"

#include <cstring>

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void CChunkedDecoder::Reset() {
  m_state = State::Size;
  m_size = 0;
  m_sizeDigits = 0;
  m_remaining = 0;
  m_bodyBytes = 0;
  m_trailer.clear();
}

CChunkedDecoder::Result CChunkedDecoder::Decode(const char* input, size_t size, char* output,
                                                size_t* decoded, size_t* consumed) {
  size_t in = 0;   // read position
  size_t out = 0;  // write position, never past `in`
  Result result = Result::NeedMore;
  if (m_state == State::Failed) result = Result::Error;
  if (m_state == State::Done) result = Result::Done;

  while (result == Result::NeedMore && in < size) {
    const char c = input[in];
    switch (m_state) {
      case State::Size: {
        if (c == '\r') {
          if (m_sizeDigits == 0) {
            result = Fail();
            break;
          }
          ++in;
          m_state = State::SizeLF;
          break;
        }
        const int digit = HexValue(c);
        if (digit < 0 || m_sizeDigits >= kMaxSizeLine || m_size > (UINT64_MAX >> 4)) {
          result = Fail();
          break;
        }
        m_size = (m_size << 4) | static_cast<uint64_t>(digit);
        ++m_sizeDigits;
        ++in;
        break;
      }
      case State::SizeLF:
        if (c != '\n') {
          result = Fail();
          break;
        }
        ++in;
        if (onChunkSize) onChunkSize(m_size);
        if (m_size == 0) {
          m_state = State::TrailerStart;
        } else {
          m_remaining = m_size;
          m_state = State::Data;
        }
        m_size = 0;
        m_sizeDigits = 0;
        break;
      case State::Data: {
        const size_t avail = size - in;
        const size_t n = m_remaining < avail ? static_cast<size_t>(m_remaining) : avail;
        if (n > 0 && output + out != input + in) std::memmove(output + out, input + in, n);
        out += n;
        in += n;
        m_remaining -= n;
        m_bodyBytes += n;
        if (m_remaining == 0) m_state = State::DataCR;
        break;
      }
      case State::DataCR:
        if (c != '\r') {
          result = Fail();
          break;
        }
        ++in;
        m_state = State::DataLF;
        break;
      case State::DataLF:
        if (c != '\n') {
          result = Fail();
          break;
        }
        ++in;
        m_state = State::Size;
        break;
      case State::TrailerStart:
        if (c == '\r') {
          ++in;
          m_state = State::FinalLF;
          break;
        }
        m_state = State::TrailerLine;
        break;
      case State::TrailerLine: {
        if (m_trailer.size() >= kMaxTrailerBytes) {
          result = Fail();
          break;
        }
        m_trailer.push_back(c);
        ++in;
        if (c == '\n') {
          const size_t len = m_trailer.size();
          if (len < 2 || m_trailer[len - 2] != '\r') {
            result = Fail();
            break;
          }
          m_state = State::TrailerStart;
        }
        break;
      }
      case State::FinalLF:
        if (c != '\n') {
          result = Fail();
          break;
        }
        ++in;
        m_state = State::Done;
        result = Result::Done;
        break;
      case State::Done:
        result = Result::Done;
        break;
      case State::Failed:
        result = Result::Error;
        break;
    }
  }
  if (decoded != nullptr) *decoded = out;
  if (consumed != nullptr) *consumed = in;
  return result;
}
