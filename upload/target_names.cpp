#include "upload/target_names.h"

#include <cstdio>
#include <new>

namespace {

// How long a name waits before the clock is read again, once a whole minute ahead is taken.
constexpr uint32_t kClockPollMs = 50;
constexpr int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a civil date and back (the well-known era-based conversion).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

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

int64_t EpochSeconds(const UtcTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * kSecondsPerDay + int64_t{t.hour} * 3600 + int64_t{t.minute} * 60 +
         t.second;
}

UtcTime UtcFromEpochSeconds(int64_t seconds) {
  int64_t days = seconds / kSecondsPerDay;
  int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  UtcTime t{};
  CivilFromDays(days, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

CTargetNames& CTargetNames::Process() {
  static CTargetNames names;
  return names;
}

std::u16string CTargetNames::Format(const UtcTime& t) {
  char text[96];
  const int length =
      std::snprintf(text, sizeof text, "%d%d%d%d%d%d.jpg", t.year, t.month, t.day, t.hour, t.minute, t.second);
  std::u16string name;
  for (int i = 0; i < length && i < static_cast<int>(sizeof text) - 1; ++i) name.push_back(static_cast<char16_t>(text[i]));
  return name;
}

CTargetNames::Result CTargetNames::Take(INameClock& clock, std::u16string* name) {
  try {
    for (;;) {
      {
        // The clock is read under the lock, so names go out in the order they were asked for.
        std::lock_guard<std::mutex> lock(m_lock);
        const int64_t now = EpochSeconds(clock.NowUtc());
        for (int ahead = 0; ahead <= kMaxSecondsAhead; ++ahead) {
          std::u16string candidate = Format(UtcFromEpochSeconds(now + ahead));
          if (m_used.insert(candidate).second) {
            *name = std::move(candidate);
            return Result::Named;
          }
        }
      }
      if (!clock.Pause(kClockPollMs)) return Result::Stopped;
    }
  } catch (const std::bad_alloc&) {
    return Result::OutOfMemory;
  }
}
