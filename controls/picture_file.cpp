#include "controls/picture_file.h"


#include <cstdint>

namespace {

// Reads the whole file into a movable global block (at most `limit` bytes; an empty or larger
// file is refused). Returns the block and, in *size, the number of bytes read into it.
HGLOBAL ReadFileToGlobal(const std::wstring& path, unsigned long long limit, DWORD* size) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(file, &length) || length.QuadPart <= 0 ||
      static_cast<unsigned long long>(length.QuadPart) > limit) {
    CloseHandle(file);
    return nullptr;
  }
  const DWORD capacity = static_cast<DWORD>(length.QuadPart);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, capacity);
  BYTE* data = block != nullptr ? static_cast<BYTE*>(GlobalLock(block)) : nullptr;
  DWORD total = 0;
  bool ok = data != nullptr;
  // The file may change while it is read: never more than the block holds, stop at its end.
  while (ok && total < capacity) {
    DWORD got = 0;
    if (!ReadFile(file, data + total, capacity - total, &got, nullptr)) {
      ok = false;
    } else if (got == 0) {
      break;
    } else {
      total += got;
    }
  }
  if (data != nullptr) GlobalUnlock(block);
  CloseHandle(file);
  if (!ok || total == 0) {
    if (block != nullptr) GlobalFree(block);
    return nullptr;
  }
  *size = total;
  return block;
}

uint32_t Le32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint32_t Le16(const unsigned char* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }

}  // namespace

bool PictureBytesAreComplete(const unsigned char* data, size_t size) {
  // The loader also takes a picture behind an 8-byte "lt\0\0" header.
  if (size >= 8 && data[0] == 'l' && data[1] == 't' && data[2] == 0 && data[3] == 0) {
    data += 8;
    size -= 8;
  }
  if (size < 2 || data[0] != 'B' || data[1] != 'M') return true;
  constexpr uint64_t kFileHeader = 14;
  if (size < kFileHeader + 12) return false;
  const uint64_t offBits = Le32(data + 10);
  const uint64_t infoSize = Le32(data + 14);
  if (infoSize < 12 || kFileHeader + infoSize > size || offBits > size) return false;
  uint64_t width = 0, height = 0, bits = 0, compression = BI_RGB, imageSize = 0, used = 0, entry = 4, masks = 0;
  if (infoSize == 12) {  // BITMAPCOREHEADER
    width = Le16(data + 18);
    height = Le16(data + 20);
    bits = Le16(data + 24);
    entry = 3;
  } else {
    if (infoSize < 40) return false;
    const int32_t w = static_cast<int32_t>(Le32(data + 18));
    const int32_t h = static_cast<int32_t>(Le32(data + 22));
    width = w < 0 ? 0 - static_cast<int64_t>(w) : w;
    height = h < 0 ? 0 - static_cast<int64_t>(h) : h;
    bits = Le16(data + 28);
    compression = Le32(data + 30);
    imageSize = Le32(data + 34);
    used = Le32(data + 46);
    if (infoSize == 40 && (compression == BI_BITFIELDS || compression == 6 /* BI_ALPHABITFIELDS */)) {
      masks = compression == BI_BITFIELDS ? 12 : 16;
    }
  }
  if (bits <= 8) {
    const uint64_t most = uint64_t(1) << bits;
    if (used == 0 || used > most) used = most;
  }
  if (kFileHeader + infoSize + masks + used * entry > size) return false;
  const uint64_t available = size - offBits;
  if (compression != BI_RGB && compression != BI_BITFIELDS && compression != 6) {
    return imageSize != 0 && imageSize <= available;  // compressed: the stated size must be there
  }
  const uint64_t stride = (width * bits + 31) / 32 * 4;  // width < 2^31, bits < 2^16: no overflow
  return stride == 0 || height <= available / stride;
}

IPicture* LoadPictureFile(const std::wstring& path, unsigned long long limit) {
  DWORD size = 0;
  HGLOBAL block = ReadFileToGlobal(path, limit, &size);
  if (block == nullptr) return nullptr;
  const unsigned char* bytes = static_cast<const unsigned char*>(GlobalLock(block));
  const bool complete = bytes != nullptr && PictureBytesAreComplete(bytes, size);
  if (bytes != nullptr) GlobalUnlock(block);
  if (!complete) {
    GlobalFree(block);
    return nullptr;
  }
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || stream == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  // From here the stream owns the block; the picture keeps its own copy of what it read.
  IPicture* picture = nullptr;
  const HRESULT hr =
      OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture, reinterpret_cast<void**>(&picture));
  stream->Release();
  return SUCCEEDED(hr) ? picture : nullptr;
}
