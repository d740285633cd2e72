#include "upload/thumb_loader.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <new>

#include "common/messages.h"
#include "framework/shared_thread.h"
#include "upload/thumb_tile.h"

namespace {

std::atomic<CThumbLoader::TileMaker> g_tileMaker{nullptr};

}  // namespace

struct CThumbLoader::Job {
  HWND target = nullptr;
  std::vector<std::wstring> paths;
  TileMaker maker = nullptr;
  std::atomic<size_t> next{0};
  photo::StopFlag stop{false};
  std::mutex lock;
  std::map<int, HBITMAP> tiles;  // finished, not yet taken

  ~Job() {
    for (auto& tile : tiles) DeleteObject(tile.second);
  }
};

void CThumbLoader::SetTileMaker(TileMaker maker) { g_tileMaker = maker; }

int CThumbLoader::PoolSize() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return std::max(1, std::min(static_cast<int>(info.dwNumberOfProcessors), kMaxThreads));
}

CThumbLoader::~CThumbLoader() { Stop(); }

bool CThumbLoader::Start(HWND target, std::vector<std::wstring> paths) {
  Stop();
  if (paths.empty() || target == nullptr) return false;
  try {
    m_job = std::make_shared<Job>();
  } catch (const std::bad_alloc&) {
    return false;
  }
  m_job->target = target;
  m_job->paths = std::move(paths);
  const TileMaker maker = g_tileMaker;
  m_job->maker = maker != nullptr ? maker : &MakePhotoTile;
  const int threads = std::min<int>(PoolSize(), static_cast<int>(m_job->paths.size()));
  for (int i = 0; i < threads; ++i) {
    // Each thread holds the job for as long as it runs.
    const HANDLE thread = StartSharingThread<Job, &CThumbLoader::Work>(m_job);
    if (thread == nullptr) break;
    m_threads.push_back(thread);
  }
  return !m_threads.empty();
}

void CThumbLoader::Stop() {
  if (m_job == nullptr) return;
  m_job->stop = true;
  // The threads never wait for the window thread (they only post), so this wait cannot
  // deadlock; it is bounded because a decode of the platform's cannot be interrupted.
  if (!m_threads.empty()) {
    WaitForMultipleObjects(static_cast<DWORD>(m_threads.size()), m_threads.data(), TRUE, kStopWaitMs);
  }
  for (HANDLE thread : m_threads) CloseHandle(thread);
  m_threads.clear();
  m_job.reset();
}

HBITMAP CThumbLoader::TakeTile(int slot) {
  if (m_job == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(m_job->lock);
  const auto it = m_job->tiles.find(slot);
  if (it == m_job->tiles.end()) return nullptr;
  const HBITMAP tile = it->second;
  m_job->tiles.erase(it);
  return tile;
}

bool CThumbLoader::Running() const {
  for (HANDLE thread : m_threads) {
    if (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) return true;
  }
  return false;
}

void CThumbLoader::Work(Job& job) {
  // The imaging component is a COM object.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  while (!job.stop) {
    const size_t item = job.next++;
    if (item >= job.paths.size()) break;
    const HBITMAP tile = job.maker(job.paths[item], &job.stop);
    if (tile == nullptr) continue;  // the item keeps the placeholder
    const int slot = static_cast<int>(item) + 1;
    {
      std::lock_guard<std::mutex> lock(job.lock);
      // A stopped job's tiles are thrown away, however late their decode ended.
      bool kept = false;
      if (!job.stop) {
        try {
          job.tiles[slot] = tile;
          kept = true;
        } catch (const std::bad_alloc&) {
        }
      }
      if (!kept) {
        DeleteObject(tile);
        continue;
      }
    }
    if (!PostMessageW(job.target, WM_THUMB_READY, static_cast<WPARAM>(item), static_cast<LPARAM>(slot))) {
      // Nobody will take it (the window is gone or its queue is full).
      std::lock_guard<std::mutex> lock(job.lock);
      const auto it = job.tiles.find(slot);
      if (it != job.tiles.end()) {
        DeleteObject(it->second);
        job.tiles.erase(it);
      }
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
}
