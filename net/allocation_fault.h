// A test-only way to make chosen buffer growths fail the way a real shortage of memory does
// (std::bad_alloc), so the paths that turn it into a failed call can be tested. Inert unless a
// test sets a hook.
#pragma once

#include <cstddef>

enum class AllocationSite {
  RequestBody,     // the request envelope, with the base64 text of a piece
  ResponseBuffer,  // the buffer the HTTP response is read into
  PieceBuffer,     // the bytes of one upload piece
};

// True when growing `site` to `bytes` must fail.
using AllocationFaultHook = bool (*)(AllocationSite site, size_t bytes);
// Null removes the hook.
void SetAllocationFaultHook(AllocationFaultHook hook);

// Called where a buffer is about to grow: throws std::bad_alloc when the hook says so.
void CheckAllocation(AllocationSite site, size_t bytes);
