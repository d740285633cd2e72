#include "service/uploads.h"

#include <sodium.h>

#include <system_error>
#include <vector>

#include "service/names.h"
#include "service/platform.h"

namespace fs = std::filesystem;

namespace fotrel::service {

namespace {

// Recent completions remembered for repeated last calls.
constexpr size_t kMaxCompletions = 1024;
// Alternatives tried for a name that is taken ("x-1.jpg" ... ).
constexpr unsigned kMaxAlternatives = 10000;
constexpr size_t kCopyBlock = 1 << 20;

std::string RandomHex(size_t bytes) {
  std::vector<unsigned char> random(bytes);
  randombytes_buf(random.data(), bytes);
  std::string hex(bytes * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), random.data(), bytes);
  hex.pop_back();
  return hex;
}

UploadAnswer Faulted(FaultCode code, std::string text) {
  UploadAnswer answer;
  answer.faulted = true;
  answer.fault = {code, std::move(text)};
  return answer;
}

UploadAnswer Answer(bool result) {
  UploadAnswer answer;
  answer.result = result;
  return answer;
}

bool FileDigest(const fs::path& path, unsigned char* digest, size_t digestBytes) {
  std::FILE* file = OpenFile(path, "rb");
  if (!file) return false;
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, digestBytes);
  std::vector<unsigned char> block(64 * 1024);
  size_t n;
  while ((n = std::fread(block.data(), 1, block.size(), file)) > 0)
    crypto_generichash_update(&state, block.data(), n);
  bool ok = !std::ferror(file);
  std::fclose(file);
  crypto_generichash_final(&state, digest, digestBytes);
  return ok;
}

fs::path PiecePath(const fs::path& folder, int index) { return folder / std::to_string(index); }

}  // namespace

std::string FormatBytes(uint64_t bytes) {
  if (bytes >= (1ull << 30) && bytes % (1ull << 30) == 0)
    return std::to_string(bytes >> 30) + " GiB";
  if (bytes >= (1ull << 20) && bytes % (1ull << 20) == 0)
    return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " bytes";
}

PieceFile::~PieceFile() {
  if (m_file) std::fclose(m_file);
  if (!m_taken) {
    std::error_code ignored;
    fs::remove(m_path, ignored);
  }
}

bool PieceFile::Write(const uint8_t* data, size_t length) {
  if (!m_file) m_file = OpenFile(m_path, "wb");
  return m_file && std::fwrite(data, 1, length, m_file) == length;
}

bool PieceFile::Close(bool sync) {
  if (!m_file) m_file = OpenFile(m_path, "wb");
  if (!m_file) return false;
  bool ok = !sync || SyncFile(m_file);
  ok = std::fclose(m_file) == 0 && ok;
  m_file = nullptr;
  return ok;
}

Uploads::Uploads(Store& store, fs::path dataFolder, UploadLimits limits)
    : m_store(store),
      m_data(std::move(dataFolder)),
      m_tmp(m_data / "tmp"),
      m_pieces(m_data / "pieces"),
      m_uploads(m_data / "uploads"),
      m_limits(limits) {}

bool Uploads::Prepare(std::string* error) {
  std::error_code ec;
  for (const fs::path& folder : {m_tmp, m_pieces, m_uploads}) {
    fs::create_directories(folder, ec);
    if (ec) {
      *error = "cannot create " + folder.u8string() + ": " + ec.message();
      return false;
    }
  }
  // Whatever is in the temporary area belongs to requests that a crash or stop cut short.
  for (const fs::directory_entry& entry : fs::directory_iterator(m_tmp, ec)) {
    std::error_code ignored;
    fs::remove_all(entry.path(), ignored);
  }
  std::vector<UserRecord> users;
  if (!m_store.ListUsers(&users)) {
    *error = "cannot read the accounts";
    return false;
  }
  for (const UserRecord& user : users) {
    fs::path folder = UserFolder(user);
    if (folder.empty()) continue;
    std::vector<PhotoRecord> photos;
    if (!m_store.ListPhotos(user.id, &photos)) {
      *error = "cannot read the photo records";
      return false;
    }
    // A record whose file is gone (a deletion cut short) is dropped...
    for (const PhotoRecord& photo : photos) {
      if (!fs::is_regular_file(folder / fs::u8path(photo.name), ec))
        m_store.DeletePhoto(photo.id);
    }
    // ...and a stored file without a record (a completion cut short) gets one.
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
      if (!entry.is_regular_file(ec)) continue;
      std::string name = entry.path().filename().u8string();
      bool known = false;
      for (const PhotoRecord& photo : photos) known = known || photo.name == name;
      if (!known && CheckName(name) == NameProblem::kNone)
        m_store.AddPhoto(user.id, name, name, static_cast<int64_t>(entry.file_size(ec)), nullptr);
    }
  }
  return true;
}

fs::path Uploads::UserFolder(const UserRecord& user) const {
  // Registration refuses such names; a record changed by hand must still not lead outside.
  if (CheckName(user.name) != NameProblem::kNone) return {};
  return m_uploads / fs::u8path(user.name);
}

fs::path Uploads::TempName(const char* suffix) const {
  return m_tmp / (RandomHex(16) + suffix);
}

std::unique_ptr<PieceFile> Uploads::NewPiece() {
  return std::make_unique<PieceFile>(TempName(".piece"));
}

fs::path Uploads::PhotoPath(const UserRecord& user, const PhotoRecord& photo) const {
  fs::path folder = UserFolder(user);
  if (folder.empty() || CheckName(photo.name) != NameProblem::kNone) return {};
  return folder / fs::u8path(photo.name);
}

bool Uploads::DeletePhoto(const UserRecord& user, const PhotoRecord& photo) {
  fs::path path = PhotoPath(user, photo);
  if (path.empty()) return false;
  std::error_code ec;
  fs::remove(path, ec);
  if (ec) return false;
  return m_store.DeletePhoto(photo.id);
}

UploadAnswer Uploads::UploadFile(PieceFile& piece, const ParamValue& bytes,
                                 const ParamValue& pieceName, const ParamValue& fileName,
                                 bool isCompleted, const ParamValue& userName) {
  int index = pieceName.nil ? -1 : PieceIndex(pieceName.text);
  if (index < 0)
    return Faulted(FaultCode::kClient,
                   "strTempFileName must be \"N.jpg\" with N from 0 to 20");
  if (fileName.nil) return Faulted(FaultCode::kClient, "FileName is nil");
  NameProblem problem =
      fileName.textBytes > kMaxNameBytes ? NameProblem::kTooLong : CheckName(fileName.text);
  if (problem != NameProblem::kNone)
    return Faulted(FaultCode::kClient, std::string("FileName ") + Describe(problem));
  // No user name names no user.
  if (userName.nil || userName.textBytes == 0) return Answer(false);
  problem = userName.textBytes > kMaxNameBytes ? NameProblem::kTooLong : CheckName(userName.text);
  if (problem != NameProblem::kNone)
    return Faulted(FaultCode::kClient, std::string("userName ") + Describe(problem));
  if (bytes.binaryOverLimit)
    return Faulted(FaultCode::kClient,
                   "TempBytes holds more than " + FormatBytes(m_limits.pieceBytes));

  UserRecord user;
  switch (m_store.FindUser(userName.text, &user)) {
    case Lookup::kMissing: return Answer(false);
    case Lookup::kError: return Faulted(FaultCode::kServer, "the account store cannot be read");
    case Lookup::kFound: break;
  }
  fs::path userFolder = UserFolder(user);
  if (userFolder.empty()) return Faulted(FaultCode::kServer, "the user's folder is unusable");
  if (!piece.Close()) return Faulted(FaultCode::kServer, "the piece cannot be stored");

  const std::string& target = fileName.text;
  std::string key = UploadKey(user, target);
  std::lock_guard<std::mutex> lock(KeyLock(key));

  fs::path pieceFolder = m_pieces / fs::u8path(user.name) / fs::u8path(target);
  std::error_code ec;
  fs::create_directories(pieceFolder, ec);
  if (ec) return Faulted(FaultCode::kServer, "the piece folder cannot be created");
  // A repeated piece replaces the earlier one in one step.
  fs::rename(piece.Path(), PiecePath(pieceFolder, index), ec);
  if (ec) return Faulted(FaultCode::kServer, "the piece cannot be stored");
  piece.Taken();

  if (!isCompleted) {
    ForgetCompletion(key);
    return Answer(true);
  }
  if (IsRepeatedCompletion(key, index, pieceFolder)) {
    fs::remove_all(pieceFolder, ec);
    return Answer(true);
  }
  return Complete(user, target, index, pieceFolder, key);
}

UploadAnswer Uploads::Complete(const UserRecord& user, const std::string& fileName, int index,
                               const fs::path& pieceFolder, const std::string& key) {
  std::error_code ec;
  uint64_t total = 0;
  for (int i = 0; i <= index; ++i) {
    uint64_t size = fs::file_size(PiecePath(pieceFolder, i), ec);
    if (ec) return Answer(false);  // a piece is missing: keep the others for a later try
    total += size;
  }
  if (total > m_limits.fileBytes) {
    // Such a file can never be accepted; its pieces go.
    fs::remove_all(pieceFolder, ec);
    return Faulted(FaultCode::kClient, "the file is larger than " + FormatBytes(m_limits.fileBytes));
  }

  Digest lastDigest{};
  if (!FileDigest(PiecePath(pieceFolder, index), lastDigest.data(), lastDigest.size()))
    return Faulted(FaultCode::kServer, "the last piece cannot be read");

  // Join into a temporary file, make it durable, and only then give it its name.
  PieceFile joined(TempName(".join"));
  std::vector<uint8_t> block(kCopyBlock);
  for (int i = 0; i <= index; ++i) {
    std::FILE* part = OpenFile(PiecePath(pieceFolder, i), "rb");
    if (!part) return Faulted(FaultCode::kServer, "a piece cannot be read");
    size_t n;
    bool ok = true;
    while (ok && (n = std::fread(block.data(), 1, block.size(), part)) > 0)
      ok = joined.Write(block.data(), n);
    ok = ok && !std::ferror(part);
    std::fclose(part);
    if (!ok) return Faulted(FaultCode::kServer, "the file cannot be written");
  }
  if (!joined.Close(true)) return Faulted(FaultCode::kServer, "the file cannot be written");

  fs::path folder = UserFolder(user);
  fs::create_directories(folder, ec);
  if (ec) return Faulted(FaultCode::kServer, "the upload folder cannot be created");
  std::string stored;
  for (unsigned k = 0; k < kMaxAlternatives && stored.empty(); ++k) {
    std::string candidate = k == 0 ? fileName : AlternativeName(fileName, k);
    switch (LinkNew(joined.Path(), folder / fs::u8path(candidate))) {
      case LinkResult::kDone: stored = candidate; break;
      case LinkResult::kExists: break;
      case LinkResult::kFailed: return Faulted(FaultCode::kServer, "the file cannot be stored");
    }
  }
  if (stored.empty()) return Faulted(FaultCode::kServer, "no free name for the file");
  SyncFolder(folder);
  // `joined` removes its temporary name when it goes; the stored name stays.

  if (!m_store.AddPhoto(user.id, stored, fileName, static_cast<int64_t>(total), nullptr)) {
    fs::remove(folder / fs::u8path(stored), ec);
    return Faulted(FaultCode::kServer, "the photo cannot be recorded");
  }
  RememberCompletion(key, index, lastDigest);
  fs::remove_all(pieceFolder, ec);
  UploadAnswer answer = Answer(true);
  answer.storedName = stored;
  return answer;
}

bool Uploads::IsRepeatedCompletion(const std::string& key, int index,
                                   const fs::path& pieceFolder) {
  Digest digest{};
  {
    std::lock_guard<std::mutex> lock(m_completionLock);
    auto it = m_completions.find(key);
    if (it == m_completions.end() || it->second.index != index) return false;
    digest = it->second.lastPiece;
  }
  std::error_code ec;
  for (int i = 0; i < index; ++i)
    if (fs::exists(PiecePath(pieceFolder, i), ec)) return false;
  Digest now{};
  if (!FileDigest(PiecePath(pieceFolder, index), now.data(), now.size())) return false;
  return now == digest;
}

void Uploads::RememberCompletion(const std::string& key, int index, const Digest& digest) {
  std::lock_guard<std::mutex> lock(m_completionLock);
  if (m_completions.size() >= kMaxCompletions && !m_completions.count(key)) {
    auto oldest = m_completions.begin();
    for (auto it = m_completions.begin(); it != m_completions.end(); ++it)
      if (it->second.sequence < oldest->second.sequence) oldest = it;
    m_completions.erase(oldest);
  }
  m_completions[key] = {index, digest, ++m_completionSequence};
}

void Uploads::ForgetCompletion(const std::string& key) {
  std::lock_guard<std::mutex> lock(m_completionLock);
  m_completions.erase(key);
}

}  // namespace fotrel::service
