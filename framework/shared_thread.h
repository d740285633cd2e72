// A thread that shares one state object with whoever started it: the thread holds its own
// reference for as long as it runs, so the starter may let go of the state, or stop waiting for
// the thread, at any time.
#pragma once

#include <windows.h>

#include <memory>
#include <new>
#include <utility>

namespace shared_thread_detail {

template <typename T, void (*Body)(T&)>
DWORD WINAPI Run(void* param) {
  auto* share = static_cast<std::shared_ptr<T>*>(param);
  const std::shared_ptr<T> state = std::move(*share);
  delete share;
  Body(*state);
  return 0;
}

}  // namespace shared_thread_detail

// Runs Body(*state) on a new thread; the thread's handle (the caller closes it), or null when
// no thread could be started.
template <typename T, void (*Body)(T&)>
HANDLE StartSharingThread(const std::shared_ptr<T>& state) {
  auto* share = new (std::nothrow) std::shared_ptr<T>(state);
  if (share == nullptr) return nullptr;
  const HANDLE thread = CreateThread(nullptr, 0, &shared_thread_detail::Run<T, Body>, share, 0, nullptr);
  if (thread == nullptr) delete share;
  return thread;
}
