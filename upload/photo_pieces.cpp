#include "upload/photo_pieces.h"

namespace {

// "%d.jpg" for 0 to 20, written into a fixed buffer.
void PieceName(int n, char16_t (&name)[8]) {
  int i = 0;
  if (n >= 10) name[i++] = static_cast<char16_t>(u'0' + n / 10);
  name[i++] = static_cast<char16_t>(u'0' + n % 10);
  for (char16_t c : u".jpg") name[i++] = c;
}

// The photo's one piece buffer, given back to the host on every way out.
class CPieceBuffer {
 public:
  explicit CPieceBuffer(IUploadHost& host) : m_host(host) {}
  ~CPieceBuffer() {
    if (m_bytes) m_host.ReleasePiece(std::move(m_bytes));
  }
  CPieceBuffer(const CPieceBuffer&) = delete;
  CPieceBuffer& operator=(const CPieceBuffer&) = delete;

  bool Allocate(uint32_t size) {
    m_bytes = m_host.AllocatePiece(size);
    return m_bytes != nullptr;
  }
  uint8_t* Get() const { return m_bytes.get(); }

 private:
  IUploadHost& m_host;
  std::unique_ptr<uint8_t[]> m_bytes;
};

}  // namespace

FileOutcome OpenPhoto(const std::u16string& path, PhotoToSend* photo) {
  if (!photo->file.Open(path)) return FileOutcome::CannotOpen;
  const uint64_t length = photo->file.Length();
  if (length < CPieceUploader::kMinFileBytes) return FileOutcome::TooSmall;
  const uint64_t wholePiece = length / 20;
  const uint64_t lastPiece = length - 20 * wholePiece;
  if (wholePiece > CPieceUploader::kMaxPieceBytes || lastPiece > CPieceUploader::kMaxPieceBytes) {
    return FileOutcome::TooLarge;
  }
  photo->wholePiece = static_cast<uint32_t>(wholePiece);
  photo->lastPiece = static_cast<uint32_t>(lastPiece);
  return FileOutcome::Sent;
}

FileOutcome SendPhoto(PhotoToSend& photo, const std::u16string& targetName, const std::u16string& userName,
                      IPieceLane& lane) {
  FileOutcome outcome = FileOutcome::Sent;
  int failuresOfThisPiece = 0;
  // One buffer serves every piece: the last one (under 20 bytes) may be longer than the others.
  // A large piece may not find its memory at once; that is a failed call, tried again later.
  CPieceBuffer piece(lane.Host());
  while (!piece.Allocate(photo.wholePiece > photo.lastPiece ? photo.wholePiece : photo.lastPiece)) {
    if (!lane.AfterFailure(++failuresOfThisPiece, &outcome)) return outcome;
  }
  uint32_t pieceSize = photo.wholePiece;
  if (!photo.file.ReadExactly(piece.Get(), pieceSize)) return FileOutcome::CannotOpen;

  std::unique_ptr<IPieceClient> client;
  int n = 0;
  bool last = false;
  for (;;) {
    if (lane.Stopped()) return FileOutcome::Stopped;
    char16_t pieceName[8];
    PieceName(n, pieceName);
    if (pieceSize == 0) last = true;
    if (!client) client = lane.NewClient();
    // The buffer always exists, so an empty last piece travels as an empty element, not a nil one.
    const bool ok = client && client->UploadPiece(piece.Get(), pieceSize, pieceName, targetName.c_str(), last,
                                                  userName.c_str());
    if (!ok) {
      // A call cut short by a stop request is no refusal of the service.
      if (lane.Stopped()) return FileOutcome::Stopped;
      if (!lane.AfterFailure(++failuresOfThisPiece, &outcome)) return outcome;
      continue;
    }
    failuresOfThisPiece = 0;
    lane.Accepted(pieceSize);
    if (++n == CPieceUploader::kPieces) return FileOutcome::Sent;
    if (n == 20) {
      pieceSize = photo.lastPiece;
      last = true;
    }
    if (!photo.file.ReadExactly(piece.Get(), pieceSize)) return FileOutcome::CannotOpen;
  }
}
