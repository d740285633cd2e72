#include "upload/photo_file.h"

#include <windows.h>

bool CPhotoFile::Open(const std::u16string& path) {
  Close();
  HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h, &size)) {
    CloseHandle(h);
    return false;
  }
  m_handle = reinterpret_cast<intptr_t>(h);
  m_length = static_cast<uint64_t>(size.QuadPart);
  return true;
}

bool CPhotoFile::IsOpen() const { return m_handle != -1; }

bool CPhotoFile::ReadExactly(uint8_t* buffer, uint32_t count) {
  if (!IsOpen()) return false;
  HANDLE h = reinterpret_cast<HANDLE>(m_handle);
  while (count > 0) {
    DWORD got = 0;
    if (!ReadFile(h, buffer, count, &got, nullptr) || got == 0) return false;
    buffer += got;
    count -= got;
  }
  return true;
}

void CPhotoFile::Close() {
  if (m_handle != -1) CloseHandle(reinterpret_cast<HANDLE>(m_handle));
  m_handle = -1;
  m_length = 0;
}
