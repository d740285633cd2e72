// The platform's imaging component, for what the own JPEG decoder does not read: other
// formats, and JPEGs of other kinds. It reports the picture's declared size from the frame
// header first, and decodes only when the caller wants pixels and the picture fits the bound.
#pragma once

#include <functional>
#include <string>

#include "photo/image.h"

namespace photo {

// What the caller wants for a picture of the given stored size: the size to scale it to, or an
// empty size for none.
using StoredTarget = std::function<Size(Size stored)>;

// `stream`: read the file as a stream (JPEG); otherwise the whole file, of at most
// kMaxWholeFileBytes, goes into memory and a bitmap file must be complete. *stored receives
// the declared size. Without a platform decoder (POSIX builds): kUnsupported.
PhotoStatus DecodeWithPlatform(const std::u16string& path, bool stream, const StoredTarget& target,
                               const StopFlag* stop, Image* out, Size* stored);

}  // namespace photo
