#include "upload/piece_uploader.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "upload/photo_file.h"

namespace {

std::u16string Ascii(const char* s) {
  std::u16string out;
  while (*s) out.push_back(static_cast<char16_t>(*s++));
  return out;
}

// Civil date from days since 1970-01-01 (proleptic Gregorian), so no platform clock call is needed.
void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

}  // namespace

UtcTime IUploadHost::NowUtc() {
  const int64_t secs = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
  int64_t days = secs / 86400;
  int64_t rest = secs % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  UtcTime t{};
  CivilFromDays(days, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
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

std::u16string CPieceUploader::TargetName(const UtcTime& t) {
  char text[96];
  std::snprintf(text, sizeof text, "%d%d%d%d%d%d.jpg", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return Ascii(text);
}

std::u16string CPieceUploader::PieceName(int n) {
  char text[24];
  std::snprintf(text, sizeof text, "%d.jpg", n);
  return Ascii(text);
}

uint32_t CPieceUploader::RetryPause(int failuresOfThisPiece) {
  if (failuresOfThisPiece <= 1) return 0;
  uint32_t pause = kFirstRetryPauseMs;
  for (int i = 2; i < failuresOfThisPiece && pause < kMaxRetryPauseMs; ++i) pause *= 2;
  return pause < kMaxRetryPauseMs ? pause : kMaxRetryPauseMs;
}

void CPieceUploader::StartBatch() {
  m_piecesSent = 0;
  m_failedCalls = 0;
}

// The name comes from the clock, without leading zeros, so two files of one run could get the
// same text (same second, or e.g. 12:1:11 and 12:11:1); the service would then join the second
// file's pieces onto the first. Wait for the clock until the name is new.
bool CPieceUploader::NextTargetName(std::u16string* name) {
  for (;;) {
    *name = TargetName(m_host.NowUtc());
    if (m_usedNames.insert(*name).second) return true;
    if (!m_host.Pause(50)) return false;
  }
}

FileOutcome CPieceUploader::SendFile(const std::u16string& path, const std::u16string& userName) {
  CPhotoFile file;
  if (!file.Open(path)) return FileOutcome::CannotOpen;
  const uint64_t length = file.Length();
  if (length < kMinFileBytes) return FileOutcome::TooSmall;
  const uint64_t wholePiece = length / 20;
  if (wholePiece > kMaxPieceBytes || length - 20 * wholePiece > kMaxPieceBytes) return FileOutcome::TooLarge;
  uint32_t pieceSize = static_cast<uint32_t>(wholePiece);

  std::u16string targetName;
  if (!NextTargetName(&targetName)) return FileOutcome::Stopped;

  std::vector<uint8_t> piece(pieceSize);
  if (pieceSize > 0 && !file.ReadExactly(piece.data(), pieceSize)) return FileOutcome::CannotOpen;

  std::unique_ptr<IPieceClient> client = m_host.CreateClient();
  int n = 0;
  bool last = false;
  int failuresOfThisPiece = 0;
  for (;;) {
    if (m_host.ShouldStop()) return FileOutcome::Stopped;
    m_host.OnProgress(m_piecesSent);
    const std::u16string pieceName = PieceName(n);
    if (pieceSize == 0) last = true;
    if (!client) client = m_host.CreateClient();
    // An empty last piece still needs a pointer: a null one would travel as a nil element.
    static const uint8_t kNoBytes = 0;
    const uint8_t* bytes = piece.empty() ? &kNoBytes : piece.data();
    bool ok = client && client->UploadPiece(bytes, pieceSize, pieceName.c_str(), targetName.c_str(), last,
                                            userName.c_str());
    if (!ok) {
      ++m_failedCalls;
      ++failuresOfThisPiece;
      // Retry the same piece; a refusing service is not hammered.
      uint32_t pause = RetryPause(failuresOfThisPiece);
      if (pause > 0 && !m_host.Pause(pause)) return FileOutcome::Stopped;
      continue;
    }
    failuresOfThisPiece = 0;
    ++n;
    if (n == 20) {
      pieceSize = static_cast<uint32_t>(length - 20 * wholePiece);
      last = true;
    }
    if (n < kPieces) {
      piece.assign(pieceSize, 0);
      if (pieceSize > 0 && !file.ReadExactly(piece.data(), pieceSize)) return FileOutcome::CannotOpen;
    }
    ++m_piecesSent;
    if (n == kPieces) break;
  }
  if (m_failedCalls > kMaxFailedCalls) return FileOutcome::TooManyFailures;
  return FileOutcome::Sent;
}
