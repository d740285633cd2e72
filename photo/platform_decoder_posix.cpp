#include "photo/platform_decoder.h"

namespace photo {

PhotoStatus DecodeWithPlatform(const std::u16string&, bool, const StoredTarget&, const StopFlag*, Image*, Size*) {
  return PhotoStatus::kUnsupported;
}

}  // namespace photo
