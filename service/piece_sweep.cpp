// Removing the pieces of uploads that will never be finished: a client that gave up, or a
// service killed in the middle of an upload, would otherwise leave them in the data folder for
// ever.
#include <system_error>
#include <vector>

#include "service/uploads.h"

namespace fs = std::filesystem;

namespace fotrel::service {

namespace {

std::vector<fs::path> Folders(const fs::path& parent) {
  std::vector<fs::path> folders;
  std::error_code ec;
  for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
    // A link is never followed: removing below it could reach outside the data folder.
    std::error_code ignored;
    if (fs::is_directory(it->symlink_status(ignored))) folders.push_back(it->path());
  }
  return folders;
}

// The time of the newest piece, or of the folder itself while it holds none; false when a time
// cannot be read (the folder is then kept).
bool NewestPiece(const fs::path& folder, fs::file_time_type* newest) {
  std::error_code ec;
  bool any = false;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    fs::file_time_type time = it->last_write_time(ec);
    if (ec) return false;
    if (!any || time > *newest) *newest = time;
    any = true;
  }
  if (ec) return false;
  if (!any) *newest = fs::last_write_time(folder, ec);
  return !ec;
}

}  // namespace

size_t Uploads::SweepPieces(fs::file_time_type now, std::chrono::hours maxAge,
                            const std::function<bool(const fs::path&)>& next) {
  const fs::file_time_type limit = now - maxAge;
  size_t removed = 0;
  for (const fs::path& userFolder : Folders(m_pieces)) {
    if (next && !next(userFolder)) return removed;
    // An unknown user's folder (id 0) takes a lock no UploadFile call takes: such calls are
    // answered before they lock anything.
    UserRecord user;
    if (m_store.FindUser(userFolder.filename().u8string(), &user) == Lookup::kError) continue;
    for (const fs::path& folder : Folders(userFolder)) {
      if (next && !next(folder)) return removed;
      // Judged under the lock: a piece stored since the folders were listed keeps the folder.
      std::lock_guard<std::mutex> lock(KeyLock(UploadKey(user, folder.filename().u8string())));
      fs::file_time_type newest;
      if (!NewestPiece(folder, &newest) || newest >= limit) continue;
      std::error_code ec;
      fs::remove_all(folder, ec);
      if (!ec) ++removed;
    }
  }
  return removed;
}

}  // namespace fotrel::service
