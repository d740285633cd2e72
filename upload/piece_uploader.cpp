#include "upload/piece_uploader.h"

#include <chrono>
#include <new>
#include <thread>

#include "upload/photo_file.h"

namespace {

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

// "%d.jpg" for 0 to 20, written into a fixed buffer.
void PieceName(int n, char16_t (&name)[8]) {
  int i = 0;
  if (n >= 10) name[i++] = static_cast<char16_t>(u'0' + n / 10);
  name[i++] = static_cast<char16_t>(u'0' + n % 10);
  for (char16_t c : u".jpg") name[i++] = c;
}

// Null when the host cannot make one, for want of memory as for any other reason.
std::unique_ptr<IPieceClient> NewClient(IUploadHost& host) {
  try {
    return host.CreateClient();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
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

std::unique_ptr<uint8_t[]> IUploadHost::AllocatePiece(uint32_t bytes) {
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes]);
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

// The count is looked at after every failed call, so a service that refuses one piece for ever
// (or is not there at all) ends the batch instead of being asked again without end.
bool CPieceUploader::AfterFailure(int* failuresOfThisPiece, FileOutcome* outcome) {
  ++m_failedCalls;
  if (m_failedCalls > kMaxFailedCalls) {
    *outcome = FileOutcome::TooManyFailures;
    return false;
  }
  // The same piece again; a refusing service is not hammered.
  const uint32_t pause = RetryPause(++*failuresOfThisPiece);
  if (pause > 0 && !m_host.Pause(pause)) {
    *outcome = FileOutcome::Stopped;
    return false;
  }
  return true;
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
  CPhotoFile file;
  if (!file.Open(path)) return FileOutcome::CannotOpen;
  const uint64_t length = file.Length();
  if (length < kMinFileBytes) return FileOutcome::TooSmall;
  const uint64_t wholePiece = length / 20;
  const uint64_t lastPiece = length - 20 * wholePiece;
  if (wholePiece > kMaxPieceBytes || lastPiece > kMaxPieceBytes) return FileOutcome::TooLarge;
  uint32_t pieceSize = static_cast<uint32_t>(wholePiece);

  FileOutcome outcome = FileOutcome::Sent;
  int failuresOfThisPiece = 0;
  std::u16string targetName;
  for (;;) {
    const CTargetNames::Result named = m_names.Take(m_host, &targetName);
    if (named == CTargetNames::Result::Named) break;
    if (named == CTargetNames::Result::Stopped) return FileOutcome::Stopped;
    if (!AfterFailure(&failuresOfThisPiece, &outcome)) return outcome;
  }

  // One buffer serves every piece: the last one (under 20 bytes) may be longer than the others.
  // A large piece may not find its memory at once; that is a failed call, tried again later.
  const uint32_t bufferSize = static_cast<uint32_t>(wholePiece > lastPiece ? wholePiece : lastPiece);
  std::unique_ptr<uint8_t[]> piece;
  for (;;) {
    piece = m_host.AllocatePiece(bufferSize);
    if (piece) break;
    if (!AfterFailure(&failuresOfThisPiece, &outcome)) return outcome;
  }
  if (!file.ReadExactly(piece.get(), pieceSize)) return FileOutcome::CannotOpen;

  std::unique_ptr<IPieceClient> client;
  int n = 0;
  bool last = false;
  for (;;) {
    if (m_host.ShouldStop()) return FileOutcome::Stopped;
    m_host.OnProgress(m_piecesSent);
    char16_t pieceName[8];
    PieceName(n, pieceName);
    if (pieceSize == 0) last = true;
    if (!client) client = NewClient(m_host);
    // The buffer always exists, so an empty last piece travels as an empty element, not a nil one.
    const bool ok = client && client->UploadPiece(piece.get(), pieceSize, pieceName, targetName.c_str(), last,
                                                  userName.c_str());
    if (!ok) {
      // A call cut short by a stop request is no refusal of the service.
      if (m_host.ShouldStop()) return FileOutcome::Stopped;
      if (!AfterFailure(&failuresOfThisPiece, &outcome)) return outcome;
      continue;
    }
    failuresOfThisPiece = 0;
    ++m_piecesSent;
    if (++n == kPieces) return FileOutcome::Sent;
    if (n == 20) {
      pieceSize = static_cast<uint32_t>(lastPiece);
      last = true;
    }
    if (!file.ReadExactly(piece.get(), pieceSize)) return FileOutcome::CannotOpen;
  }
}
