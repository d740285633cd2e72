// Photo pixels as a bitmap the window layer can draw and image lists can take: a 24-bit
// top-down DIB section, made on any thread.
#pragma once

#include <windows.h>

#include "photo/image.h"

// Null when the picture is empty or the bitmap cannot be made.
HBITMAP MakeDibBitmap(const photo::Image& image);
