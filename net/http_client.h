// One HTTP/1.1 exchange at a time over the client's own socket: request out, whole response in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "net/event_socket.h"
#include "net/url.h"

enum HttpFlags : uint32_t {
  kHttpFollowRedirects = 1,
  kHttpJudgeStatus = 2,
  kHttpSendCallback = 4,  // the caller's send callback writes the request
  kHttpSendBlocks = 8,    // body in sends of at most the send block size
};

enum class ResponseReadResult : int {
  Complete = 0,
  BadStatusLine = 2,
  BadHeaders = 3,
  NoHeaderData = 4,
  BodyShort = 5,
  BadChunked = 6,
  NothingRead = 7,
};

class CHttpClient;

struct HttpRequestSettings {
  std::u16string extraHeaders;  // complete lines, each ending in CR LF
  std::u16string method = u"GET";
  std::u16string contentType;
  uint32_t bodyLength = 0;
  uint32_t flags = kHttpFollowRedirects | kHttpJudgeStatus | kHttpSendBlocks;
  uint32_t timeout = 10000;       // bound of each wait
  uint32_t deadline = 0;          // bound of the whole exchange, redirects included; 0: none
  uint32_t sendBlockSize = 4096;
  uint32_t readBlockSize = 4096;
  uint16_t port = 80;
  const char* body = nullptr;
  // Optional notifications: bytes sent so far of the body, bytes of response read, chunk sizes.
  std::function<void(uint32_t sent, uint32_t total)> onSend;
  std::function<void(size_t bytesRead)> onRead;
  std::function<void(uint64_t chunkSize)> onChunk;
  // With kHttpSendCallback: writes the request (text given in ANSI) itself; returns false on failure.
  std::function<bool(CHttpClient& client, const std::string& requestText)> sendCallback;
};

// Case-insensitive (ASCII) ordering for header names.
struct HeaderNameLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const;
};

class CHttpClient : public CEventSocket {
 public:
  // Bounds against hostile peers: past these the read fails and the connection closes.
  static constexpr size_t kMaxResponseBytes = size_t(64) << 20;
  static constexpr size_t kMaxHeaderLines = 1000;
  static constexpr int kMaxRedirects = 10;

  CHttpClient();
  ~CHttpClient() override;

  // True: a response was read and, with kHttpJudgeStatus, its status accepted.
  // Status, headers and body stay readable after either result. LastError() tells the socket
  // error of this exchange (0 when there was none), kSockErrNoMemory when a buffer could not
  // grow; every failure closes the connection.
  bool Exchange(const std::u16string& url, const HttpRequestSettings* settings);

  int StatusCode() const { return m_status; }
  // Header value by name (ASCII case-insensitive); false when absent.
  bool GetHeader(const std::u16string& name, std::u16string* value) const;
  const std::map<std::u16string, std::u16string, HeaderNameLess>& Headers() const { return m_headers; }
  const std::vector<std::u16string>& Challenges() const { return m_challenges; }
  const char* Body() const { return m_buffer.data() + m_bodyOffset; }
  size_t BodyLength() const { return m_bodyLength; }
  ResponseReadResult LastReadResult() const { return m_readResult; }
  const CUrl& CurrentUrl() const { return m_url; }

 protected:
  // Called for 401 (proxy false) and 407 (proxy true); true would accept the response as it is.
  // No scheme is registered, so the default refuses.
  virtual bool NegotiateAuthentication(bool proxy);
  // Called with each "set-cookie" value; keeps no cookie.
  virtual void OnSetCookie(const std::u16string& value);

  // The bounds in force; a derived class (tests) may lower them.
  size_t m_maxResponseBytes = kMaxResponseBytes;
  size_t m_maxHeaderLines = kMaxHeaderLines;

 private:
  // Empties headers, challenges and buffer and resets status, offsets and read result.
  void ForgetResponse();
  bool RunExchange(const std::u16string& url, const HttpRequestSettings& s);
  // Connects unless a kept connection to the same place can carry the request; *reused tells
  // which of the two happened.
  bool ConnectTo(const CUrl& url, bool* reused);
  bool SendRequest(const HttpRequestSettings& s);
  std::string BuildRequestText(const HttpRequestSettings& s) const;
  ResponseReadResult ReadResponse(const HttpRequestSettings& s);
  ResponseReadResult ReadResponseParts(const HttpRequestSettings& s);
  ResponseReadResult ReadHeaderBlock(size_t* blockStart, size_t* headerEnd);
  ResponseReadResult ParseStatusLine(size_t blockStart, size_t headerEnd, size_t* linesStart);
  bool ParseHeaderLines(const char* begin, const char* end);
  bool ResponseKeepsConnection() const;
  void AddHeaderLine(const char* begin, const char* end);
  ResponseReadResult ReadKnownLengthBody(const HttpRequestSettings& s, size_t bodyStart,
                                         const std::u16string& lengthText);
  ResponseReadResult ReadBodyToClose(const HttpRequestSettings& s, size_t bodyStart);
  ResponseReadResult ReadChunkedBody(const HttpRequestSettings& s, size_t bodyStart);
  bool Receive(uint32_t capacity, uint32_t* received, const HttpRequestSettings& s);
  bool JudgeStatus(const HttpRequestSettings& s, int redirectDepth);
  bool FollowRedirect(const HttpRequestSettings& s, int redirectDepth);
  bool ResolveLocation(const std::u16string& location, CUrl* target) const;

  std::map<std::u16string, std::u16string, HeaderNameLess> m_headers;
  std::vector<std::u16string> m_challenges;
  std::vector<char> m_buffer;
  CUrl m_url;
  std::u16string m_method;
  int m_status = -1;
  bool m_http10 = false;  // the status line said HTTP/1.0
  size_t m_headerOffset = 0;
  size_t m_bodyOffset = 0;
  size_t m_bodyLength = 0;
  const HttpRequestSettings* m_settings = nullptr;
  ResponseReadResult m_readResult = ResponseReadResult::NothingRead;
  // Where the open connection goes: a kept-alive connection is reused only for the same place.
  std::u16string m_connHost;
  uint16_t m_connPort = 0;
  size_t m_headerLines = 0;      // header and trailer lines of the current response
  size_t m_responseBytes = 0;    // bytes received for the current response
};
