// The Upload operation: pieces are kept per (user, FileName) under the piece number that
// strTempFileName gives; the call that marks the upload completed joins pieces 0..N into the
// user's upload folder atomically, under a name that does not replace anything.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "service/envelope_reader.h"
#include "service/store.h"

namespace fotrel::service {

struct UploadLimits {
  uint64_t pieceBytes = 64ull << 20;  // one decoded TempBytes value
  uint64_t fileBytes = 2ull << 30;    // a joined file
};

// "64 MiB", "2 GiB", "1000 bytes".
std::string FormatBytes(uint64_t bytes);

// An incoming piece, written to the data folder's temporary area while the request is read.
// The file is removed when this object goes, unless the upload took it.
class PieceFile : public BinarySink {
 public:
  explicit PieceFile(std::filesystem::path path) : m_path(std::move(path)) {}
  ~PieceFile();
  PieceFile(const PieceFile&) = delete;
  PieceFile& operator=(const PieceFile&) = delete;

  bool Write(const uint8_t* data, size_t length) override;
  // Creates the file if nothing was written (an empty piece) and closes it; with `sync` its
  // data is on the disk first.
  bool Close(bool sync = false);
  const std::filesystem::path& Path() const { return m_path; }
  void Taken() { m_taken = true; }

 private:
  std::filesystem::path m_path;
  std::FILE* m_file = nullptr;
  bool m_taken = false;
};

struct UploadAnswer {
  bool faulted = false;
  Fault fault;
  bool result = false;
  std::string storedName;  // the name the joined file got, when one was stored
};

class Uploads {
 public:
  Uploads(Store& store, std::filesystem::path dataFolder, UploadLimits limits);

  // Creates the folders, empties the temporary area (left-overs of a crash), and makes the
  // photo records agree with the files in the upload folders.
  bool Prepare(std::string* error);

  const UploadLimits& Limits() const { return m_limits; }
  std::unique_ptr<PieceFile> NewPiece();

  // One UploadFile call whose TempBytes went into `piece`.
  UploadAnswer UploadFile(PieceFile& piece, const ParamValue& bytes, const ParamValue& pieceName,
                          const ParamValue& fileName, bool isCompleted,
                          const ParamValue& userName);

  // Removes the piece folders of uploads whose newest piece is older than `maxAge` at `now`
  // (a client that never came back, a crash). Each folder is judged and removed under the
  // lock its UploadFile calls take, so a piece that arrives meanwhile keeps it. `next` is
  // called before a user's folder is read and before each piece folder is locked; false ends
  // the sweep. Returns the piece folders removed.
  size_t SweepPieces(std::filesystem::file_time_type now, std::chrono::hours maxAge,
                     const std::function<bool(const std::filesystem::path&)>& next);

  std::filesystem::path PhotoPath(const UserRecord& user, const PhotoRecord& photo) const;
  // Removes the file, then the record.
  bool DeletePhoto(const UserRecord& user, const PhotoRecord& photo);

 private:
  using Digest = std::array<unsigned char, 32>;
  struct Completion {
    int index = 0;
    Digest lastPiece{};
    uint64_t sequence = 0;
  };

  UploadAnswer Complete(const UserRecord& user, const std::string& fileName, int index,
                        const std::filesystem::path& pieceFolder, const std::string& key);
  bool IsRepeatedCompletion(const std::string& key, int index,
                            const std::filesystem::path& pieceFolder);
  void RememberCompletion(const std::string& key, int index, const Digest& digest);
  void ForgetCompletion(const std::string& key);
  std::filesystem::path UserFolder(const UserRecord& user) const;
  static std::string UploadKey(const UserRecord& user, const std::string& fileName) {
    return std::to_string(user.id) + '\n' + fileName;
  }
  std::mutex& KeyLock(const std::string& key) {
    return m_keyLocks[std::hash<std::string>{}(key) % m_keyLocks.size()];
  }
  std::filesystem::path TempName(const char* suffix) const;

  Store& m_store;
  std::filesystem::path m_data;
  std::filesystem::path m_tmp;
  std::filesystem::path m_pieces;
  std::filesystem::path m_uploads;
  UploadLimits m_limits;
  // Calls for one (user, FileName), and the sweep of its pieces, run one after another.
  std::array<std::mutex, 64> m_keyLocks;
  // Recently completed uploads, so that a repeated last call (a client whose answer got lost)
  // is answered true again instead of false for ever.
  std::mutex m_completionLock;
  std::map<std::string, Completion> m_completions;
  uint64_t m_completionSequence = 0;
};

}  // namespace fotrel::service
