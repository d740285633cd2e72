#include "net/allocation_fault.h"

#include <atomic>
#include <new>

namespace {

std::atomic<AllocationFaultHook> g_hook{nullptr};

}  // namespace

void SetAllocationFaultHook(AllocationFaultHook hook) { g_hook.store(hook); }

void CheckAllocation(AllocationSite site, size_t bytes) {
  const AllocationFaultHook hook = g_hook.load(std::memory_order_relaxed);
  if (hook != nullptr && hook(site, bytes)) throw std::bad_alloc();
}
