#include "soap/body_read_stream_win.h"

#include <cstring>

HRESULT STDMETHODCALLTYPE CBodyReadStream::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, IID_IStream)) {
    *object = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CBodyReadStream::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG STDMETHODCALLTYPE CBodyReadStream::Release() {
  LONG refs = InterlockedDecrement(&m_refs);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE CBodyReadStream::Read(void* buffer, ULONG count, ULONG* read) {
  if (!buffer && count > 0) return STG_E_INVALIDPOINTER;
  size_t left = m_length - m_position;
  size_t n = count < left ? count : left;
  if (n > 0) std::memcpy(buffer, m_data + m_position, n);
  m_position += n;
  if (read) *read = static_cast<ULONG>(n);
  // Like a file stream: a short read at the end is still a success.
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBodyReadStream::Write(const void*, ULONG, ULONG* written) {
  if (written) *written = 0;
  return STG_E_ACCESSDENIED;
}

HRESULT STDMETHODCALLTYPE CBodyReadStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  long long base;
  switch (origin) {
    case STREAM_SEEK_SET:
      base = 0;
      break;
    case STREAM_SEEK_CUR:
      base = static_cast<long long>(m_position);
      break;
    case STREAM_SEEK_END:
      base = static_cast<long long>(m_length);
      break;
    default:
      return STG_E_INVALIDFUNCTION;
  }
  // Only positions inside the body (or right at its end) exist; base is at most the length.
  long long length = static_cast<long long>(m_length);
  if (move.QuadPart < -base || move.QuadPart > length - base) return STG_E_INVALIDFUNCTION;
  long long target = base + move.QuadPart;
  m_position = static_cast<size_t>(target);
  if (position) position->QuadPart = static_cast<ULONGLONG>(m_position);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBodyReadStream::SetSize(ULARGE_INTEGER) { return STG_E_ACCESSDENIED; }

HRESULT STDMETHODCALLTYPE CBodyReadStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBodyReadStream::Commit(DWORD) { return S_OK; }

HRESULT STDMETHODCALLTYPE CBodyReadStream::Revert() { return S_OK; }

HRESULT STDMETHODCALLTYPE CBodyReadStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE CBodyReadStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE CBodyReadStream::Stat(STATSTG* stat, DWORD) {
  if (!stat) return STG_E_INVALIDPOINTER;
  std::memset(stat, 0, sizeof(*stat));
  stat->type = STGTY_STREAM;
  stat->cbSize.QuadPart = static_cast<ULONGLONG>(m_length);
  stat->grfMode = STGM_READ;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBodyReadStream::Clone(IStream** stream) {
  if (stream) *stream = nullptr;
  return E_NOTIMPL;
}
