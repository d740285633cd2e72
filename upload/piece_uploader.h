// The per-file rule of the upload worker: each photo goes to the service in 21 UploadFile calls,
// pieces 0..19 of L/20 bytes and piece 20 with the rest, with only one piece in memory. The
// client and host interfaces here serve the window program's upload worker and the command-line
// tool, which both send through CBatchUploader (several files at once); CPieceUploader sends one
// file after another on the caller's thread, as the stress test and the loopback benchmark do.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "upload/target_names.h"

class CStopSignal;

// One service client; the uploader makes one per file and uses it for all its calls.
class IPieceClient {
 public:
  virtual ~IPieceClient() = default;
  // True exactly when the call succeeded and the service answered true.
  virtual bool UploadPiece(const uint8_t* bytes, uint32_t size, const char16_t* pieceName, const char16_t* fileName,
                           bool isCompleted, const char16_t* userName) = 0;
  // A raised `signal` ends the call in flight at once, as a failed call. Not owned; it outlives
  // the client.
  virtual void SetStopSignal(const CStopSignal* signal) {}
};

// What the uploader needs from its surroundings (the window program, the console tool, a test).
class IUploadHost : public INameClock {
 public:
  // Null when the client cannot be made; the uploader tries again before the next call.
  virtual std::unique_ptr<IPieceClient> CreateClient() = 0;
  UtcTime NowUtc() override;
  // Waits; false when the host wants the upload to stop.
  bool Pause(uint32_t milliseconds) override;
  // Checked before every call, and after a failed one: true ends the upload at once (the page
  // has gone, the program is closing); a call that failed because of it is no failure.
  virtual bool ShouldStop() { return false; }
  // Memory for one piece (up to 64 MiB); null when there is none (a failed call, tried again).
  // Every buffer comes back through ReleasePiece when its file is done.
  virtual std::unique_ptr<uint8_t[]> AllocatePiece(uint32_t bytes);
  virtual void ReleasePiece(std::unique_ptr<uint8_t[]> piece) {}
};

enum class FileOutcome {
  Sent,             // all 21 pieces accepted
  CannotOpen,       // missing or unreadable file (also a read that came up short)
  TooSmall,         // under 20 bytes: nothing sent
  TooLarge,         // a piece would exceed kMaxPieceBytes: nothing sent
  Stopped,          // the host asked to stop: this file is not sent
  TooManyFailures,  // the batch's 51st failed call came during this file: it is not sent, and
                    // the batch ends (files sent before stay sent)
};

class CPieceUploader {
 public:
  static constexpr int kPieces = 21;
  static constexpr uint64_t kMinFileBytes = 20;
  // The service refuses larger pieces; a larger photo would only be retried for ever.
  static constexpr uint32_t kMaxPieceBytes = 64u << 20;
  static constexpr int32_t kMaxFailedCalls = 50;
  // Pause before the k-th retry of one piece: none for the first, then growing to this cap. A
  // refusing service sees at most two calls a second per lane, and a batch against a service
  // that is down ends at its 51st failure after about 25 s rather than most of a minute.
  static constexpr uint32_t kFirstRetryPauseMs = 50;
  static constexpr uint32_t kMaxRetryPauseMs = 500;

  // Target names come from the process's set; a test may give its own.
  explicit CPieceUploader(IUploadHost& host, CTargetNames& names = CTargetNames::Process())
      : m_host(host), m_names(names) {}

  // Sets both batch counters to 0.
  void StartBatch();
  // Sends one photo; the counters go on across the files of a batch. Once the batch has seen
  // more than 50 failed calls, every further file ends as TooManyFailures without a call.
  FileOutcome SendFile(const std::u16string& path, const std::u16string& userName);

  int32_t PiecesSent() const { return m_piecesSent; }
  int32_t FailedCalls() const { return m_failedCalls; }

  static uint32_t RetryPause(int failuresOfThisPiece);

 private:
  class CLane;

  FileOutcome Send(const std::u16string& path, const std::u16string& userName);

  IUploadHost& m_host;
  CTargetNames& m_names;
  int32_t m_piecesSent = 0;
  int32_t m_failedCalls = 0;
};
