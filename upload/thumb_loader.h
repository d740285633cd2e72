// Makes the tiles of the listed photos off the window thread, on a small pool of decoding
// threads (one per core, at most 4). Decoding starts in item order; item i's tile goes into
// slot i + 1, and WM_THUMB_READY (item, slot) is posted to the page as each tile is done, in
// whatever order they finish. The page takes the tile on its window thread when the message
// arrives, so the image list is only ever touched there.
//
// Everything the threads use (the paths, the stop flag, the finished tiles) belongs to the job
// the threads share, never to the page: a stop waits a bounded time, and a thread still inside
// a decode that cannot be interrupted is left to end by itself; its tile is thrown away with
// the job when the last thread lets go of it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "photo/image.h"

class CThumbLoader {
 public:
  // Makes one tile; null when the file gives none. Tests put a slow or blocking one in place.
  using TileMaker = HBITMAP (*)(const std::wstring& path, const photo::StopFlag* stop);
  // How long a stop waits for the threads before it leaves them behind.
  static constexpr DWORD kStopWaitMs = 250;
  static constexpr int kMaxThreads = 4;

  // Null: MakePhotoTile again.
  static void SetTileMaker(TileMaker maker);
  // One thread per processor, at most kMaxThreads.
  static int PoolSize();

  CThumbLoader() = default;
  ~CThumbLoader();
  CThumbLoader(const CThumbLoader&) = delete;
  CThumbLoader& operator=(const CThumbLoader&) = delete;

  // Starts making the tiles of `paths` for `target` (a running job is stopped first). False
  // when there is nothing to do or no thread could be started.
  bool Start(HWND target, std::vector<std::wstring> paths);
  // Raises the stop flag and waits at most kStopWaitMs for the threads; never longer.
  void Stop();
  // The finished tile of `slot`, handed over once (the caller owns it); null when there is none.
  HBITMAP TakeTile(int slot);
  // Whether a thread of the current job has not ended.
  bool Running() const;

 private:
  struct Job;
  // A decoding thread's work: tiles of the job's items until none is left or the job stops.
  static void Work(Job& job);

  std::shared_ptr<Job> m_job;
  std::vector<HANDLE> m_threads;
};
