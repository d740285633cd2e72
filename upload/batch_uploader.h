// A batch of photos sent over several lanes at once. Each lane is a thread with its own service
// client (and so its own connection) that sends one photo at a time by the rule of
// CPieceUploader: 21 calls, pieces in order, the same piece again after a refusal. Lanes take
// the photos in the batch's order and, with each, its target name, so names follow that order.
//
// Threads. The host's events (OnBatchProgress, OnFileDone, OnBatchEnd) come on the thread that
// called Run, one at a time; the lanes hand them over. ShouldStop is looked at there too, at
// least every 20 ms. The lanes call CreateClient, NowUtc, Pause (in steps of at most 50 ms),
// AllocatePiece and ReleasePiece, several at once, so those must be safe on any thread; the
// default Pause looks at ShouldStop, which then must be as well.
//
// Memory: one piece buffer per lane, taken when the lane starts a photo and given back when
// the photo is done.
//
// What ends a batch:
//  - Every photo sent.
//  - The host's stop (ShouldStop, or a Pause that says so): every lane ends at once (the stop
//    signal reaches into the socket waits of the calls in flight), no new photo starts, the
//    photos in flight are not sent (Stopped).
//  - The batch's 51st failed call (one count over all lanes, looked at after every failure):
//    likewise every lane ends at once and no new photo starts; the photos in flight are not sent
//    (TooManyFailures). Photos sent before stay sent.
//  - A photo that cannot be opened, is too small or too large, found when a lane takes it (in
//    the batch's order): no new photo starts; that photo and every one after it are not sent.
//    The photos before it are already on other lanes and go on to their end, so that, as with
//    one lane, every photo before the bad one is sent unless something else ends the batch. A
//    photo whose read comes up short halfway ends the batch the same way (CannotOpen).
// The batch's outcome is that of the first photo, in the batch's order, that was not sent: the
// message a person sees is the one that one file after another would have shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "upload/piece_uploader.h"

struct BatchProgress {
  uint64_t bytesAccepted = 0;  // of the pieces the service accepted
  uint64_t bytesTotal = 0;     // the photos' sizes when the batch started (0 for one not to be opened)
  size_t filesSent = 0;
  size_t files = 0;
};

// How one photo that a lane took ended.
struct FileReport {
  size_t index = 0;  // in the batch's order
  FileOutcome outcome = FileOutcome::Sent;
  int32_t failedCalls = 0;    // while this photo was being sent, retried or not
  std::u16string targetName;  // empty when the photo got none
};

struct BatchResult {
  FileOutcome end = FileOutcome::Sent;  // Sent when every photo was sent
  size_t endingFile = 0;                // the photo whose outcome is `end`; the photo count when all were sent
  std::vector<bool> sent;               // per photo, in the batch's order (empty only when memory
                                        // ran out before the batch began)
  BatchProgress progress;               // at the end
  int32_t piecesSent = 0;
  int32_t failedCalls = 0;
};

class IBatchHost : public IUploadHost {
 public:
  // When bytes or photos went forward, once at the start, and at least once after the last change.
  virtual void OnBatchProgress(const BatchProgress& progress) {}
  // A photo that a lane took has ended; in the order the photos end.
  virtual void OnFileDone(const FileReport& report) {}
  // Every lane has ended; just before Run returns the same result.
  virtual void OnBatchEnd(const BatchResult& result) {}
};

class CBatchUploader {
 public:
  static constexpr int kMinLanes = 1;
  static constexpr int kMaxLanes = 8;
  // The build's FOTREL_UPLOAD_LANES.
  static int DefaultLanes();

  // Target names come from the process's set; a test may give its own.
  explicit CBatchUploader(IBatchHost& host, CTargetNames& names = CTargetNames::Process())
      : m_host(host), m_names(names), m_lanes(DefaultLanes()) {}

  // Files in flight at once, 1 to 8 (other values are brought into that range).
  void SetLanes(int lanes);
  int Lanes() const { return m_lanes; }

  // Sends the photos as `userName` and returns when every lane has ended. One run at a time per
  // uploader; the batch counters start at 0 with each run. When no lane thread can be started,
  // nothing is sent and the batch ends as TooManyFailures.
  BatchResult Run(const std::vector<std::u16string>& paths, const std::u16string& userName);

 private:
  class CRun;

  IBatchHost& m_host;
  CTargetNames& m_names;
  int m_lanes;
};
