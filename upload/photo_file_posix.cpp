#include "upload/photo_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "net/codepage.h"

bool CPhotoFile::Open(const std::u16string& path) {
  Close();
  std::string native = Utf16ToAnsi(path);
  int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  m_handle = fd;
  m_length = static_cast<uint64_t>(st.st_size);
  return true;
}

bool CPhotoFile::IsOpen() const { return m_handle != -1; }

bool CPhotoFile::ReadExactly(uint8_t* buffer, uint32_t count) {
  if (!IsOpen()) return false;
  while (count > 0) {
    ssize_t got = ::read(static_cast<int>(m_handle), buffer, count);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buffer += got;
    count -= static_cast<uint32_t>(got);
  }
  return true;
}

void CPhotoFile::Close() {
  if (m_handle != -1) ::close(static_cast<int>(m_handle));
  m_handle = -1;
  m_length = 0;
}
