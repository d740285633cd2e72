// One photo's 21 UploadFile calls on one client: pieces 0..19 of L/20 bytes, then piece 20 with
// the rest, in order, each one again after a refusal, with one piece buffer in memory. The rule
// that both batch senders share: CPieceUploader (one file after another) and CBatchUploader (a
// file on each of its lanes).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "upload/photo_file.h"
#include "upload/piece_uploader.h"

// A photo opened and measured for sending.
struct PhotoToSend {
  CPhotoFile file;
  uint32_t wholePiece = 0;  // bytes of each of pieces 0..19
  uint32_t lastPiece = 0;   // bytes of piece 20: 0 to 19
};

// Opens and measures a photo: Sent when it can go, else why not (CannotOpen, TooSmall,
// TooLarge), before any call.
FileOutcome OpenPhoto(const std::u16string& path, PhotoToSend* photo);

// What sending one photo needs from the batch it belongs to.
class IPieceLane {
 public:
  virtual ~IPieceLane() = default;
  // Whose piece buffers are used.
  virtual IUploadHost& Host() = 0;
  // Null when none can be made; tried again before the next call.
  virtual std::unique_ptr<IPieceClient> NewClient() = 0;
  // Looked at before every call and after a failed one: true ends the photo as Stopped at
  // once, and a call that failed meanwhile is no failure.
  virtual bool Stopped() = 0;
  virtual void Accepted(uint32_t bytes) = 0;
  // A failed call, or a piece buffer not to be had, the `failuresOfThisPiece`-th in a row: counts
  // it and waits before the next try. False, with the photo's outcome, when the batch ends here.
  virtual bool AfterFailure(int failuresOfThisPiece, FileOutcome* outcome) = 0;
};

// Sends an opened photo under its target name: Sent, Stopped, TooManyFailures, or CannotOpen
// when a read comes up short.
FileOutcome SendPhoto(PhotoToSend& photo, const std::u16string& targetName, const std::u16string& userName,
                      IPieceLane& lane);
