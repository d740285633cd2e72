#include "upload/piece_uploader.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>

#include "net/allocation_fault.h"
#include "upload/photo_pieces.h"

UtcTime IUploadHost::NowUtc() {
  return UtcFromEpochSeconds(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count());
}

bool IUploadHost::Pause(uint32_t milliseconds) {
  // Sleep in short steps so a stop request is seen promptly.
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < end) {
    if (ShouldStop()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<uint32_t>(milliseconds, 20)));
  }
  return !ShouldStop();
}

std::unique_ptr<uint8_t[]> IUploadHost::AllocatePiece(uint32_t bytes) {
  try {
    CheckAllocation(AllocationSite::PieceBuffer, bytes);
    return std::unique_ptr<uint8_t[]>(new uint8_t[bytes]);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

uint32_t CPieceUploader::RetryPause(int failuresOfThisPiece) {
  if (failuresOfThisPiece <= 1) return 0;
  uint32_t pause = kFirstRetryPauseMs;
  for (int i = 2; i < failuresOfThisPiece && pause < kMaxRetryPauseMs; ++i) pause *= 2;
  return pause < kMaxRetryPauseMs ? pause : kMaxRetryPauseMs;
}

// One file after another on the caller's thread, with the host's stop, pauses and progress.
class CPieceUploader::CLane : public IPieceLane {
 public:
  explicit CLane(CPieceUploader& uploader) : m_up(uploader) {}

  IUploadHost& Host() override { return m_up.m_host; }
  // Null when the host cannot make one, for want of memory as for any other reason.
  std::unique_ptr<IPieceClient> NewClient() override {
    try {
      return m_up.m_host.CreateClient();
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  bool Stopped() override { return m_up.m_host.ShouldStop(); }
  void Accepted(uint32_t) override { ++m_up.m_piecesSent; }

  // The count is looked at after every failed call, so a service that refuses one piece for
  // ever (or is not there at all) ends the batch instead of being asked again without end.
  bool AfterFailure(int failuresOfThisPiece, FileOutcome* outcome) override {
    if (++m_up.m_failedCalls > kMaxFailedCalls) {
      *outcome = FileOutcome::TooManyFailures;
      return false;
    }
    // The same piece again; a refusing service is not hammered.
    const uint32_t pause = RetryPause(failuresOfThisPiece);
    if (pause > 0 && !m_up.m_host.Pause(pause)) {
      *outcome = FileOutcome::Stopped;
      return false;
    }
    return true;
  }

 private:
  CPieceUploader& m_up;
};

void CPieceUploader::StartBatch() {
  m_piecesSent = 0;
  m_failedCalls = 0;
}

FileOutcome CPieceUploader::SendFile(const std::u16string& path, const std::u16string& userName) {
  // What could still throw here is a few bytes of bookkeeping; without them the file cannot go.
  try {
    return Send(path, userName);
  } catch (const std::bad_alloc&) {
    return FileOutcome::TooManyFailures;
  }
}

FileOutcome CPieceUploader::Send(const std::u16string& path, const std::u16string& userName) {
  if (m_failedCalls > kMaxFailedCalls) return FileOutcome::TooManyFailures;
  PhotoToSend photo;
  const FileOutcome opened = OpenPhoto(path, &photo);
  if (opened != FileOutcome::Sent) return opened;

  CLane lane(*this);
  FileOutcome outcome = FileOutcome::Sent;
  int failures = 0;
  std::u16string targetName;
  for (;;) {
    const CTargetNames::Result named = m_names.Take(m_host, &targetName);
    if (named == CTargetNames::Result::Named) break;
    if (named == CTargetNames::Result::Stopped) return FileOutcome::Stopped;
    if (!lane.AfterFailure(++failures, &outcome)) return outcome;
  }
  return SendPhoto(photo, targetName, userName, lane);
}
