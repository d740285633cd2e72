#include "soap/write_stream.h"

#include <new>
#include <stdexcept>

#include "net/allocation_fault.h"
#include "soap/value_encoding.h"

namespace {

// Appends or leaves the string as it was; never throws.
HResult AppendBytes(std::string* target, const char* data, size_t length) {
  if (length == 0) return kS_OK;
  if (!data) return kE_POINTER;
  if (length > target->max_size() - target->size()) return kE_OUTOFMEMORY;
  try {
    target->append(data, length);
  } catch (const std::bad_alloc&) {
    return kE_OUTOFMEMORY;
  } catch (const std::length_error&) {
    return kE_OUTOFMEMORY;
  }
  return kS_OK;
}

}  // namespace

HResult CStringWriteStream::Write(const char* data, size_t length) {
  if (length <= m_data.max_size() - m_data.size() && m_data.size() + length > m_data.capacity()) {
    try {
      CheckAllocation(AllocationSite::RequestBody, m_data.size() + length);
    } catch (const std::bad_alloc&) {
      return kE_OUTOFMEMORY;
    }
  }
  return AppendBytes(&m_data, data, length);
}

HResult CStringAppendStream::Write(const char* data, size_t length) {
  if (!m_target) return kE_POINTER;
  return AppendBytes(m_target, data, length);
}
