// Bitmap files ("BM") whose headers promise more than the file holds. Some picture loaders copy
// a bitmap's pixels by the sizes its header states, and would read past the end of a file cut
// short; such files are refused before they are handed over.
#pragma once

#include <cstddef>

namespace photo {

// Whether picture file bytes are safe to hand to the platform's loader: anything but a bitmap
// file is; a bitmap file only when its headers, colour table and pixel rows lie within the bytes.
bool PictureBytesAreComplete(const unsigned char* data, size_t size);

}  // namespace photo
