#include "shelltree/shell_name.h"

#include <cstring>

namespace {

std::wstring FromAnsi(const char* text, size_t length) {
  if (length == 0) return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), &wide[0], n);
  return wide;
}

// Length of a narrow string in a buffer of `size` bytes: up to its terminator or the end.
size_t BoundedLength(const char* text, size_t size) {
  const void* end = std::memchr(text, '\0', size);
  return end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - text) : size;
}

}  // namespace

CShellName::CShellName() : m_strret() {}

CShellName::~CShellName() { Free(); }

STRRET* CShellName::Prepare(LPCITEMIDLIST relativeId) {
  Free();
  m_pidl.Attach(CPidl::Copy(relativeId));
  m_strret.uType = STRRET_WSTR;
  m_strret.pOleStr = nullptr;
  return &m_strret;
}

void CShellName::Free() {
  if (m_strret.uType == STRRET_WSTR && m_strret.pOleStr != nullptr) {
    ShellFree(m_strret.pOleStr);
    m_strret.pOleStr = nullptr;
  }
  std::memset(&m_strret, 0, sizeof m_strret);
}

std::wstring CShellName::ToString() const {
  switch (m_strret.uType) {
    case STRRET_WSTR:
      return m_strret.pOleStr != nullptr ? std::wstring(m_strret.pOleStr) : std::wstring();
    case STRRET_OFFSET: {
      // The string lies inside the id's items; it may not run past them.
      const UINT size = CPidl::Size(m_pidl.Get());
      if (m_strret.uOffset >= size) return std::wstring();
      const char* text = reinterpret_cast<const char*>(m_pidl.Get()) + m_strret.uOffset;
      return FromAnsi(text, BoundedLength(text, size - m_strret.uOffset));
    }
    case STRRET_CSTR:
      return FromAnsi(m_strret.cStr, BoundedLength(m_strret.cStr, sizeof m_strret.cStr));
    default:
      return std::wstring();
  }
}
