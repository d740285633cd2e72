#include "fuzz/scripted_socket.h"

#include <cstring>

#include "net/event_socket.h"

namespace {

struct Script {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t offset = 0;
  const uint8_t* sizes = nullptr;
  size_t sizeCount = 0;
  size_t sizeIndex = 0;
} g_script;

}  // namespace

void ScriptSocket(const uint8_t* data, size_t size, const uint8_t* receiveSizes, size_t receiveSizeCount) {
  g_script = Script{data, size, 0, receiveSizes, receiveSizeCount, 0};
}

struct CEventSocket::Platform {};

CEventSocket::CEventSocket() : m_platform(new Platform) {}
CEventSocket::~CEventSocket() = default;

bool CEventSocket::Connect(const std::u16string&, uint16_t) {
  m_connected = true;
  return true;
}

bool CEventSocket::Write(const SocketBuffer* buffers, uint32_t count, uint32_t* sent) {
  if (!m_connected) {
    m_lastError = kSockErrNotConnected;
    return false;
  }
  uint32_t total = 0;
  for (uint32_t i = 0; i < count; ++i) total += buffers[i].len;
  *sent = total;
  return true;
}

bool CEventSocket::Read(char* buffer, uint32_t* length) {
  if (!m_connected) {
    m_lastError = kSockErrNotConnected;
    return false;
  }
  Script& s = g_script;
  size_t want = *length;
  if (s.sizeIndex < s.sizeCount) {
    const uint8_t step = s.sizes[s.sizeIndex++];
    if (step == 0xFF) {  // a failed receive
      m_lastError = 10054;
      return false;
    }
    want = want < step ? want : step;
  }
  const size_t left = s.size - s.offset;
  if (want > left) want = left;
  std::memcpy(buffer, s.data + s.offset, want);
  s.offset += want;
  *length = static_cast<uint32_t>(want);
  return true;
}

bool CEventSocket::IsReusable() { return m_connected; }

void CEventSocket::Close() { m_connected = false; }
