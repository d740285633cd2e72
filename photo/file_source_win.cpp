#include "photo/file_source.h"

#include <windows.h>

namespace photo {

FileSource::~FileSource() {
  if (m_handle != nullptr) CloseHandle(m_handle);
}

bool FileSource::Open(const std::u16string& path) {
  if (m_handle != nullptr || path.empty()) return false;
  const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) {
    CloseHandle(file);
    return false;
  }
  m_handle = file;
  m_size = static_cast<uint64_t>(size.QuadPart);
  return true;
}

size_t FileSource::Read(uint8_t* buffer, size_t size) {
  if (m_handle == nullptr) return 0;
  size_t total = 0;
  while (total < size) {
    const DWORD ask = size - total > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size - total);
    DWORD got = 0;
    if (!ReadFile(m_handle, buffer + total, ask, &got, nullptr) || got == 0) break;
    total += got;
  }
  return total;
}

bool FileSource::Seek(uint64_t position) {
  if (m_handle == nullptr || position > m_size) return false;
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(m_handle, to, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace photo
