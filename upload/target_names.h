// The target names (the FileName of every call for one photo) handed out in this process. The
// service joins the pieces of two files that share a name into one photo, so a name goes to one
// file only, whichever uploader or thread asks for it. The one place where a file's name is chosen.
#pragma once

#include <mutex>
#include <set>
#include <string>

struct UtcTime {
  int year, month, day, hour, minute, second;
};

class IUploadHost;

class CTargetNames {
 public:
  CTargetNames() = default;
  CTargetNames(const CTargetNames&) = delete;
  CTargetNames& operator=(const CTargetNames&) = delete;

  // The names of this process, shared by every uploader.
  static CTargetNames& Process();

  // "%d%d%d%d%d%d.jpg" from year, month, day, hour, minute, second, without leading zeros.
  static std::u16string Format(const UtcTime& t);

  enum class Result { Named, Stopped, OutOfMemory };
  // A name no file of this process had: the clock's name; when that one was given before, the
  // host's clock is read again after a short pause until it gives a new one. Stopped when the
  // host asked to stop while waiting.
  Result Take(IUploadHost& host, std::u16string* name);

 private:
  bool Reserve(const std::u16string& name);

  std::mutex m_lock;
  std::set<std::u16string> m_used;
};
