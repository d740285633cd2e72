// The target names (the FileName of every call for one photo) handed out in this process. The
// service joins the pieces of two files that share a name into one photo, so a name goes to one
// file only, whichever uploader or thread asks for it. The one place where a file's name is chosen.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>

struct UtcTime {
  int year, month, day, hour, minute, second;
};

// Seconds since 1970-01-01 00:00:00 UTC and back (proleptic Gregorian calendar), so that no
// platform clock call is needed to step a time.
int64_t EpochSeconds(const UtcTime& t);
UtcTime UtcFromEpochSeconds(int64_t seconds);

// What choosing a name needs: the clock, and a wait that a stop request ends.
class INameClock {
 public:
  virtual ~INameClock() = default;
  virtual UtcTime NowUtc() = 0;
  // Waits; false when the wait was ended by a stop request.
  virtual bool Pause(uint32_t milliseconds) = 0;
};

class CTargetNames {
 public:
  // How far a name may run ahead of the clock.
  static constexpr int kMaxSecondsAhead = 60;

  CTargetNames() = default;
  CTargetNames(const CTargetNames&) = delete;
  CTargetNames& operator=(const CTargetNames&) = delete;

  // The names of this process, shared by every uploader.
  static CTargetNames& Process();

  // "%d%d%d%d%d%d.jpg" from year, month, day, hour, minute, second, without leading zeros.
  static std::u16string Format(const UtcTime& t);

  enum class Result { Named, Stopped, OutOfMemory };
  // A name no file of this process had, without waiting while one is to be had: the clock's
  // name, or when that was given before, the name of the next second after it that gives a
  // new one (the text has no leading zeros, so two seconds can print alike). Callers that
  // take names one after another get them in that order. When every second up to 60 s ahead
  // is taken, waits for the clock; Stopped when the stop request ended that wait.
  Result Take(INameClock& clock, std::u16string* name);

 private:
  std::mutex m_lock;
  std::set<std::u16string> m_used;
};
