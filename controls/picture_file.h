// Picture files read for display: the upload page's preview and its thumbnails.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <cstddef>
#include <string>

// Whether picture file bytes are safe to hand to OleLoadPicture: anything but a bitmap file
// ("BM") is, a bitmap file only when its headers, colour table and pixel rows lie within the
// bytes. (The loader copies a bitmap's pixels by the sizes its header states, so a file cut
// short would be read past its end.)
bool PictureBytesAreComplete(const unsigned char* data, size_t size);

// Reads a picture file of at most `limit` bytes and makes a picture object of it; null when the
// file is missing, empty, larger, a bitmap cut short, or not a picture the platform knows.
// The caller releases the picture.
IPicture* LoadPictureFile(const std::wstring& path, unsigned long long limit);
