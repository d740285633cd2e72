// One HTTP/1.1 exchange: request text and body out, the whole response (status, headers, body,
// chunked or not) into one growing buffer, redirects followed, the connection kept for the next
// exchange unless the server closes it. Every length from the peer is bounded.
#include "net/http_client.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "net/allocation_fault.h"

#include "net/chunked_decoder.h"
#include "net/codepage.h"

namespace {

constexpr uint32_t kHeaderReceiveSize = 2048;  // receives while looking for the header block's end
constexpr uint32_t kDefaultBlockSize = 2048;   // read block size 0 stands for this
constexpr uint32_t kDefaultSendBlockSize = 4096;
constexpr int kHeaderEmptyReceives = 5;     // empty receives that end a header read
constexpr int kKnownLengthEmptyReceives = 5;
constexpr int kToCloseEmptyReceives = 6;    // the sixth empty receive ends a body read to the close
constexpr size_t kMaxHeaderPart = 1024;     // a name or value this long or longer drops its line
constexpr size_t kMaxRedirectUrl = 2048;
constexpr size_t kKeptBufferCapacity = 1 << 20;  // response memory kept between exchanges

char16_t LowerAscii(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsBlankOrBreak(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Values are stored as sent (folded lines with their breaks); their meaning is read without
// surrounding blanks.
std::u16string_view TrimBlanks(std::u16string_view v) {
  while (!v.empty() && IsBlankOrBreak(v.front())) v.remove_prefix(1);
  while (!v.empty() && IsBlankOrBreak(v.back())) v.remove_suffix(1);
  return v;
}

// Strict decimal: digits only, at least one, value not above `max`.
bool ParseDecimal(std::u16string_view text, uint64_t max, uint64_t* value) {
  if (text.empty()) return false;
  uint64_t v = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - u'0');
    if (v > max / 10) return false;
    v *= 10;
    if (digit > max - v) return false;
    v += digit;
  }
  *value = v;
  return true;
}

std::u16string Decimal(uint64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// Offset just past the first CR LF CR LF in [from, size), or npos.
size_t FindHeaderEnd(const std::vector<char>& buffer, size_t from) {
  const char* data = buffer.data();
  const size_t size = buffer.size();
  for (size_t i = from; i + 4 <= size; ++i) {
    const void* cr = std::memchr(data + i, '\r', size - i);
    if (cr == nullptr) return std::string::npos;
    i = static_cast<size_t>(static_cast<const char*>(cr) - data);
    if (i + 4 > size) return std::string::npos;
    if (data[i + 1] == '\n' && data[i + 2] == '\r' && data[i + 3] == '\n') return i + 4;
  }
  return std::string::npos;
}

// First CR LF in [begin, end), or end.
const char* FindLineEnd(const char* begin, const char* end) {
  for (const char* p = begin; p + 1 < end; ++p) {
    p = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
    if (p == nullptr || p + 1 >= end) return end;
    if (p[1] == '\n') return p;
  }
  return end;
}

// Whether a comma-separated header value holds `token` (any letter case, blanks around it).
bool HasToken(std::u16string_view list, std::u16string_view token) {
  while (!list.empty()) {
    const size_t comma = list.find(u',');
    if (EqualsNoCase(TrimBlanks(list.substr(0, comma)), token)) return true;
    if (comma == std::u16string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

bool IsTokenChar(char16_t c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  return std::u16string_view(u"()<>@,;:\\\"/[]?={}").find(c) == std::u16string_view::npos;
}

}  // namespace

bool HeaderNameLess::operator()(const std::u16string& a, const std::u16string& b) const {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t ca = LowerAscii(a[i]);
    const char16_t cb = LowerAscii(b[i]);
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

CHttpClient::CHttpClient() { m_buffer.reserve(4096); }

CHttpClient::~CHttpClient() = default;

bool CHttpClient::NegotiateAuthentication(bool /*proxy*/) { return false; }

void CHttpClient::OnSetCookie(const std::u16string& /*value*/) {}

bool CHttpClient::GetHeader(const std::u16string& name, std::u16string* value) const {
  const auto it = m_headers.find(name);
  if (it == m_headers.end()) return false;
  if (value == nullptr) return true;
  try {
    *value = it->second;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Exchange

void CHttpClient::ForgetResponse() {
  m_headers.clear();
  m_challenges.clear();
  m_buffer.clear();
  m_status = -1;
  m_http10 = false;
  m_headerOffset = 0;
  m_bodyOffset = 0;
  m_bodyLength = 0;
  m_readResult = ResponseReadResult::NothingRead;
}

bool CHttpClient::Exchange(const std::u16string& url, const HttpRequestSettings* settings) {
  m_lastError = 0;
  bool ok = false;
  try {
    ForgetResponse();
    if (m_buffer.capacity() > kKeptBufferCapacity) {
      // A large answer does not keep its memory for the client's whole life.
      std::vector<char>().swap(m_buffer);
      m_buffer.reserve(4096);
    }
    m_url.Clear();
    m_method.clear();

    const HttpRequestSettings defaults;
    const HttpRequestSettings& s = settings != nullptr ? *settings : defaults;
    m_settings = &s;
    SetDeadline(s.deadline);
    ok = RunExchange(url, s);
  } catch (const std::bad_alloc&) {
    m_lastError = kSockErrNoMemory;
  } catch (const std::length_error&) {
    m_lastError = kSockErrNoMemory;
  } catch (...) {
    m_lastError = kSockErrSystemCall;  // from a caller's callback
  }
  if (m_lastError == kSockErrNoMemory) {
    // Whatever was read stays out of reach: it may be cut anywhere.
    ok = false;
    m_headerOffset = 0;
    m_bodyOffset = 0;
    m_bodyLength = 0;
    m_buffer.clear();
  }
  m_settings = nullptr;
  SetDeadline(0);
  if (!ok) Close();
  return ok;
}

bool CHttpClient::RunExchange(const std::u16string& url, const HttpRequestSettings& s) {
  // The method goes into the request line as it is: it must be one token.
  if (s.method.empty() || !std::all_of(s.method.begin(), s.method.end(), IsTokenChar)) return false;
  m_method = s.method;
  SetTimeout(s.timeout);

  if (!m_url.Parse(url) || m_url.scheme != u"http") {
    m_url.Clear();
    return false;
  }
  if (m_url.path.empty()) m_url.path.assign(1, u'/');
  if (m_url.port == 0) m_url.port = s.port;
  if (m_url.port == 0) return false;
  if (s.bodyLength > 0 && s.body == nullptr && (s.flags & kHttpSendCallback) == 0) return false;

  bool reused = false;
  if (!ConnectTo(m_url, &reused)) return false;
  if (!SendRequest(s)) {
    // The peer may have dropped a kept connection right after it was checked. A request that
    // did not leave whole cannot have been acted on, so it goes once more on a fresh connection
    // (a raised stop or a passed deadline fails that connect at once). Once every byte has
    // left, the server may have acted on it: nothing is sent twice.
    if (!reused) return false;
    Close();
    if (!ConnectTo(m_url, nullptr) || !SendRequest(s)) return false;
  }
  if (ReadResponse(s) != ResponseReadResult::Complete) return false;
  if ((s.flags & kHttpJudgeStatus) != 0 && !JudgeStatus(s, 0)) return false;
  return true;
}

bool CHttpClient::ConnectTo(const CUrl& url, bool* reused) {
  // A connection kept alive for another place is not reused for this one, nor one the peer
  // has closed meanwhile (as servers do with idle connections).
  if (IsConnected() && !(EqualsNoCase(m_connHost, url.host) && m_connPort == url.port && IsReusable())) Close();
  if (reused != nullptr) *reused = IsConnected();
  if (!Connect(url.host, url.port)) return false;
  m_connHost = url.host;
  m_connPort = url.port;
  return true;
}

std::string CHttpClient::BuildRequestText(const HttpRequestSettings& s) const {
  std::u16string text;
  text.reserve(256 + s.extraHeaders.size() + m_url.path.size() + m_url.extra.size());
  text += m_method;
  text += u' ';
  text += m_url.path;
  text += m_url.extra;
  text += u" HTTP/1.1\r\n";
  if (s.bodyLength != 0) {
    text += u"Content-Length: ";
    text += Decimal(s.bodyLength);
    text += u"\r\n";
  }
  if (!s.contentType.empty()) {
    text += u"Content-Type: ";
    text += s.contentType;
    text += u"\r\n";
  }
  text += s.extraHeaders;
  text += u"Host: ";
  const bool literal6 = m_url.host.find(u':') != std::u16string::npos;
  if (literal6) text += u'[';
  text += m_url.host;
  if (literal6) text += u']';
  if (m_url.port != 80) {
    text += u':';
    text += Decimal(m_url.port);
  }
  text += u"\r\nUser-Agent: Fotrel-Native/1.0\r\n\r\n";
  return Utf16ToAnsi(text);
}

bool CHttpClient::SendRequest(const HttpRequestSettings& s) {
  std::string text = BuildRequestText(s);
  if ((s.flags & kHttpSendCallback) != 0) {
    return s.sendCallback ? s.sendCallback(*this, text) : false;
  }
  const uint64_t expected = static_cast<uint64_t>(text.size()) + s.bodyLength;
  if (expected > UINT32_MAX) return false;
  const uint32_t textLength = static_cast<uint32_t>(text.size());

  uint64_t sentTotal = 0;
  uint32_t sent = 0;
  if (s.bodyLength == 0) {
    const SocketBuffer buffer{textLength, &text[0]};
    if (!Write(&buffer, 1, &sent)) return false;
    sentTotal = sent;
  } else if ((s.flags & kHttpSendBlocks) != 0) {
    const SocketBuffer head{textLength, &text[0]};
    if (!Write(&head, 1, &sent)) return false;
    sentTotal = sent;
    if (sent == textLength) {
      const uint32_t block = s.sendBlockSize != 0 ? s.sendBlockSize : kDefaultSendBlockSize;
      uint32_t offset = 0;
      while (offset < s.bodyLength) {
        const uint32_t n = std::min(block, s.bodyLength - offset);
        const SocketBuffer piece{n, const_cast<char*>(s.body) + offset};
        if (!Write(&piece, 1, &sent)) break;
        offset += std::min(sent, n);
        if (s.onSend) s.onSend(offset, s.bodyLength);
        if (sent < n) break;
      }
      sentTotal += offset;
    }
  } else {
    const SocketBuffer buffers[2] = {{textLength, &text[0]}, {s.bodyLength, const_cast<char*>(s.body)}};
    if (!Write(buffers, 2, &sent)) return false;
    sentTotal = sent;
    if (s.onSend) s.onSend(sent > textLength ? sent - textLength : 0, s.bodyLength);
  }
  return sentTotal == expected;
}

// ---------------------------------------------------------------------------------------------
// Reading the response

bool CHttpClient::Receive(uint32_t capacity, uint32_t* received, const HttpRequestSettings& s) {
  const size_t old = m_buffer.size();
  if (old + capacity > m_buffer.capacity()) CheckAllocation(AllocationSite::ResponseBuffer, old + capacity);
  m_buffer.resize(old + capacity);
  uint32_t length = capacity;
  const bool ok = Read(m_buffer.data() + old, &length);
  if (!ok || length > capacity) length = 0;
  m_buffer.resize(old + length);
  *received = length;
  if (ok && length > 0) {
    m_responseBytes += length;
    if (s.onRead) s.onRead(m_responseBytes);
  }
  return ok;
}

ResponseReadResult CHttpClient::ReadResponse(const HttpRequestSettings& s) {
  m_headerLines = 0;
  m_responseBytes = 0;
  m_readResult = ReadResponseParts(s);
  return m_readResult;
}

ResponseReadResult CHttpClient::ReadResponseParts(const HttpRequestSettings& s) {
  size_t blockStart = 0;
  size_t headerEnd = 0;
  size_t linesStart = 0;
  for (;;) {
    ResponseReadResult r = ReadHeaderBlock(&blockStart, &headerEnd);
    if (r != ResponseReadResult::Complete) return r;
    r = ParseStatusLine(blockStart, headerEnd, &linesStart);
    if (r != ResponseReadResult::Complete) return r;
    if (m_status != 100) break;
    // An interim answer: its block is skipped and the real response follows.
    blockStart = headerEnd;
  }
  m_headerOffset = blockStart;
  if (!ParseHeaderLines(m_buffer.data() + linesStart, m_buffer.data() + headerEnd - 2)) {
    return ResponseReadResult::BadHeaders;
  }

  m_bodyOffset = headerEnd;
  m_bodyLength = 0;
  std::u16string value;
  ResponseReadResult r;
  if (GetHeader(u"Transfer-Encoding", &value) && EqualsNoCase(TrimBlanks(value), u"chunked")) {
    // Chunked wins over any Content-Length.
    r = ReadChunkedBody(s, headerEnd);
  } else if (m_status == 204 || m_status == 304 || EqualsNoCase(m_method, u"HEAD")) {
    // These responses never carry a body; waiting for one would only run into the time-out.
    r = ResponseReadResult::Complete;
  } else if (GetHeader(u"Content-Length", &value)) {
    r = ReadKnownLengthBody(s, headerEnd, value);
  } else {
    r = ReadBodyToClose(s, headerEnd);
  }
  if (r != ResponseReadResult::Complete) return r;

  if (!ResponseKeepsConnection()) Close();
  return ResponseReadResult::Complete;
}

// HTTP/1.1 keeps the connection unless "Connection" holds "close"; HTTP/1.0 closes it unless
// "Connection" holds "keep-alive" (and not "close"). Such servers close silently after the
// answer, and a request sent on the dead connection would fail.
bool CHttpClient::ResponseKeepsConnection() const {
  std::u16string value;
  const bool hasConnection = GetHeader(u"Connection", &value);
  if (hasConnection && HasToken(value, u"close")) return false;
  if (m_http10) return hasConnection && HasToken(value, u"keep-alive");
  return true;
}

ResponseReadResult CHttpClient::ReadHeaderBlock(size_t* blockStart, size_t* headerEnd) {
  int emptyReceives = 0;
  size_t scanFrom = *blockStart;
  for (;;) {
    // Empty lines before a status line are passed over (a late CR LF that ended an earlier
    // chunked body on this connection).
    while (*blockStart + 2 <= m_buffer.size() && m_buffer[*blockStart] == '\r' &&
           m_buffer[*blockStart + 1] == '\n') {
      *blockStart += 2;
    }
    scanFrom = std::max(scanFrom, *blockStart);
    const size_t end = FindHeaderEnd(m_buffer, scanFrom);
    if (end != std::string::npos) {
      *headerEnd = end;
      return ResponseReadResult::Complete;
    }
    scanFrom = m_buffer.size() >= 3 ? std::max(*blockStart, m_buffer.size() - 3) : *blockStart;
    if (m_buffer.size() > m_maxResponseBytes) return ResponseReadResult::BadHeaders;

    const size_t room = m_maxResponseBytes + 1 - m_buffer.size();
    const uint32_t capacity = static_cast<uint32_t>(std::min<size_t>(kHeaderReceiveSize, room));
    uint32_t received = 0;
    if (!Receive(capacity, &received, *m_settings)) return ResponseReadResult::NoHeaderData;
    if (received == 0) {
      if (++emptyReceives >= kHeaderEmptyReceives) return ResponseReadResult::NoHeaderData;
    } else {
      emptyReceives = 0;
    }
  }
}

ResponseReadResult CHttpClient::ParseStatusLine(size_t blockStart, size_t headerEnd,
                                                size_t* linesStart) {
  const char* begin = m_buffer.data() + blockStart;
  const char* blockEnd = m_buffer.data() + headerEnd;
  const char* lineEnd = FindLineEnd(begin, blockEnd);
  const char* p = begin;
  while (p < lineEnd && !IsBlank(*p)) ++p;  // the version: only HTTP/1.0 changes anything
  m_http10 = std::string_view(begin, static_cast<size_t>(p - begin)) == "HTTP/1.0";
  while (p < lineEnd && IsBlank(*p)) ++p;
  if (p >= lineEnd || *p < '0' || *p > '9') return ResponseReadResult::BadStatusLine;
  uint64_t status = 0;
  while (p < lineEnd && *p >= '0' && *p <= '9') {
    status = status * 10 + static_cast<uint64_t>(*p - '0');
    if (status > 0x7FFFFFFF) return ResponseReadResult::BadHeaders;
    ++p;
  }
  m_status = static_cast<int>(status);
  *linesStart = std::min(static_cast<size_t>(lineEnd - m_buffer.data()) + 2, headerEnd);
  return ResponseReadResult::Complete;
}

// Header lines in [begin, end), each ending in CR LF. A line that begins with a blank or tab
// continues the one before it, line break and blanks included.
bool CHttpClient::ParseHeaderLines(const char* begin, const char* end) {
  const char* lineStart = nullptr;
  const char* lineEnd = nullptr;
  const char* p = begin;
  while (p < end) {
    const char* eol = FindLineEnd(p, end);
    if (IsBlank(*p)) {
      if (lineStart != nullptr) lineEnd = eol;  // else it continues the status line: ignored
    } else {
      if (lineStart != nullptr) AddHeaderLine(lineStart, lineEnd);
      if (++m_headerLines > m_maxHeaderLines) return false;
      lineStart = p;
      lineEnd = eol;
    }
    p = eol == end ? end : eol + 2;
  }
  if (lineStart != nullptr) AddHeaderLine(lineStart, lineEnd);
  return true;
}

void CHttpClient::AddHeaderLine(const char* begin, const char* end) {
  const char* colon = static_cast<const char*>(std::memchr(begin, ':', static_cast<size_t>(end - begin)));
  if (colon == nullptr || colon == begin) return;
  const char* valueStart = colon + 1;
  while (valueStart < end && IsBlank(*valueStart)) ++valueStart;
  const size_t nameLength = static_cast<size_t>(colon - begin);
  const size_t valueLength = static_cast<size_t>(end - valueStart);
  if (nameLength >= kMaxHeaderPart || valueLength >= kMaxHeaderPart) return;

  std::u16string name = AnsiToUtf16(std::string_view(begin, nameLength));
  std::u16string value = AnsiToUtf16(std::string_view(valueStart, valueLength));
  if (name.empty()) return;

  if (EqualsNoCase(name, u"www-authenticate") || EqualsNoCase(name, u"proxy-authenticate")) {
    m_challenges.push_back(value);
  } else if (EqualsNoCase(name, u"set-cookie")) {
    OnSetCookie(value);
  }
  auto it = m_headers.find(name);
  if (it == m_headers.end()) {
    m_headers.emplace(std::move(name), std::move(value));
  } else {
    it->second += u',';
    it->second += value;
  }
}

ResponseReadResult CHttpClient::ReadKnownLengthBody(const HttpRequestSettings& s, size_t bodyStart,
                                                    const std::u16string& lengthText) {
  uint64_t length = 0;
  if (!ParseDecimal(TrimBlanks(lengthText), m_maxResponseBytes, &length) ||
      bodyStart + length > m_maxResponseBytes) {
    return ResponseReadResult::BodyShort;
  }
  const uint32_t block = s.readBlockSize != 0 ? s.readBlockSize : kDefaultBlockSize;
  int emptyReceives = 0;
  while (m_buffer.size() - bodyStart < length) {
    const uint64_t missing = length - (m_buffer.size() - bodyStart);
    const uint32_t capacity = static_cast<uint32_t>(std::min<uint64_t>(block, missing));
    uint32_t received = 0;
    const bool ok = Receive(capacity, &received, s);
    m_bodyLength = m_buffer.size() - bodyStart;  // what arrived stays readable after a failure
    if (!ok) return ResponseReadResult::BodyShort;
    if (received == 0) {
      if (++emptyReceives >= kKnownLengthEmptyReceives) return ResponseReadResult::BodyShort;
    } else {
      emptyReceives = 0;
    }
  }
  m_bodyLength = static_cast<size_t>(length);
  return ResponseReadResult::Complete;
}

ResponseReadResult CHttpClient::ReadBodyToClose(const HttpRequestSettings& s, size_t bodyStart) {
  const uint32_t block = s.readBlockSize != 0 ? s.readBlockSize : kDefaultBlockSize;
  int emptyReceives = 0;
  for (;;) {
    if (m_buffer.size() > m_maxResponseBytes) {
      m_bodyLength = m_buffer.size() - bodyStart;
      return ResponseReadResult::BodyShort;
    }
    const size_t room = m_maxResponseBytes + 1 - m_buffer.size();
    const uint32_t capacity = static_cast<uint32_t>(std::min<size_t>(block, room));
    uint32_t received = 0;
    if (!Receive(capacity, &received, s)) break;
    if (received == 0) {
      if (++emptyReceives >= kToCloseEmptyReceives) break;
    } else {
      emptyReceives = 0;
    }
  }
  m_bodyLength = m_buffer.size() - bodyStart;
  // The body ended with the connection (or with a time-out): it cannot carry another exchange.
  Close();
  return ResponseReadResult::Complete;
}

ResponseReadResult CHttpClient::ReadChunkedBody(const HttpRequestSettings& s, size_t bodyStart) {
  CChunkedDecoder decoder;
  if (s.onChunk) decoder.onChunkSize = s.onChunk;
  const bool trailerAnnounced = GetHeader(u"Trailer", nullptr);
  const uint32_t block = s.readBlockSize != 0 ? s.readBlockSize : kDefaultBlockSize;

  // The decoded body is written from offset 0 over the header block, which is already parsed;
  // raw bytes are always ahead of the write position.
  size_t written = 0;
  size_t raw = bodyStart;
  for (;;) {
    size_t decoded = 0;
    size_t consumed = 0;
    const CChunkedDecoder::Result r = decoder.Decode(m_buffer.data() + raw, m_buffer.size() - raw,
                                                     m_buffer.data() + written, &decoded, &consumed);
    written += decoded;
    raw += consumed;
    m_buffer.resize(written);  // done, failed, or every raw byte used
    raw = written;
    m_headerOffset = 0;
    m_bodyOffset = 0;
    m_bodyLength = written;
    if (r == CChunkedDecoder::Result::Error || written > m_maxResponseBytes) {
      return ResponseReadResult::BadChunked;
    }
    if (r == CChunkedDecoder::Result::Done) break;
    // After the last chunk the closing empty line is taken when it is already here; it is only
    // waited for when trailer lines were announced or have begun.
    if (decoder.AtTrailerStart() && !trailerAnnounced) break;

    const uint32_t capacity = static_cast<uint32_t>(std::min<size_t>(block, m_maxResponseBytes + 1 - written));
    uint32_t received = 0;
    if (!Receive(capacity, &received, s) || received == 0) {
      if (decoder.LastChunkSeen()) break;
      return ResponseReadResult::BadChunked;
    }
  }

  if (trailerAnnounced && !decoder.Trailer().empty()) {
    const std::string& trailer = decoder.Trailer();
    if (!ParseHeaderLines(trailer.data(), trailer.data() + trailer.size())) {
      return ResponseReadResult::BadChunked;
    }
  }
  return ResponseReadResult::Complete;
}

// ---------------------------------------------------------------------------------------------
// Status and redirects

bool CHttpClient::JudgeStatus(const HttpRequestSettings& s, int redirectDepth) {
  const int status = m_status;
  if ((status >= 200 && status <= 206) || status == 304 || status == 305) return true;
  if (status >= 301 && status <= 303) {
    if ((s.flags & kHttpFollowRedirects) == 0) return false;
    return FollowRedirect(s, redirectDepth);
  }
  if (status == 401) return NegotiateAuthentication(false);
  if (status == 407) return NegotiateAuthentication(true);
  return false;
}

bool CHttpClient::FollowRedirect(const HttpRequestSettings& s, int redirectDepth) {
  std::u16string location;
  if (!GetHeader(u"Location", &location)) return true;  // the caller judges the 3xx
  // A chain this long is not followed further; this redirect is left for the caller to judge.
  if (redirectDepth >= kMaxRedirects) return true;

  CUrl target;
  if (!ResolveLocation(location, &target)) return false;

  ForgetResponse();
  m_url = target;

  // A redirect that closed the connection has closed the socket already; reconnecting happens
  // here, to the new place when host or port changed.
  if (!ConnectTo(m_url, nullptr)) {
    Close();
    return false;
  }
  std::string text = BuildRequestText(s);
  // The body goes again with the request, so a redirected POST keeps its meaning.
  const bool withBody = s.bodyLength > 0 && s.body != nullptr;
  const uint64_t expected = static_cast<uint64_t>(text.size()) + (withBody ? s.bodyLength : 0);
  if (expected > UINT32_MAX) {
    Close();
    return false;
  }
  const SocketBuffer buffers[2] = {{static_cast<uint32_t>(text.size()), &text[0]},
                                   {withBody ? s.bodyLength : 0, const_cast<char*>(s.body)}};
  uint32_t sent = 0;
  if (!Write(buffers, withBody ? 2 : 1, &sent) || sent != expected) {
    Close();
    return false;
  }
  if (ReadResponse(s) == ResponseReadResult::Complete) {
    // Redirects chain; whatever this judgement gives, the caller judges the final status.
    (void)JudgeStatus(s, redirectDepth + 1);
  } else {
    Close();  // the connection's state is unknown
  }
  return true;
}

bool CHttpClient::ResolveLocation(const std::u16string& location, CUrl* target) const {
  CUrl url;
  const size_t sep = location.find(u"://");
  const size_t firstSlash = location.find(u'/');
  if (sep != std::u16string::npos && firstSlash > sep) {
    // A complete URL: taken as it is, and only http is followed.
    if (!url.Parse(location) || url.scheme != u"http") return false;
    if (url.port == 0) url.port = 80;
  } else {
    const size_t extraStart = location.find_first_of(u"?#");
    const std::u16string path = location.substr(0, extraStart);
    const std::u16string extra = extraStart == std::u16string::npos ? std::u16string() : location.substr(extraStart);
    url = m_url;
    if (!location.empty() && location[0] == u'/') {
      url.path = path;
    } else {
      const size_t slash = m_url.path.rfind(u'/');
      if (slash == std::u16string::npos) return false;
      url.path = m_url.path.substr(0, slash + 1) + path;
    }
    url.extra = extra;
    // Checked the same way as a complete URL: no blanks or control characters in the result.
    const uint16_t port = url.port;
    if (!url.Parse(url.ToString())) return false;
    url.port = port;
  }
  if (url.path.empty()) url.path.assign(1, u'/');
  if (url.ToString().size() > kMaxRedirectUrl) return false;
  *target = std::move(url);
  return true;
}
