#include "upload/target_names.h"

#include <cstdio>
#include <new>

#include "upload/piece_uploader.h"

namespace {

// How long a name waits before the clock is read again.
constexpr uint32_t kClockPollMs = 50;

}  // namespace

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

// The text has no leading zeros, so two files could get the same one (same second, or e.g.
// 2026-01-11 01:02:03 and 2026-11-01 01:02:03): wait for the clock until the text is new.
CTargetNames::Result CTargetNames::Take(IUploadHost& host, std::u16string* name) {
  try {
    for (;;) {
      *name = Format(host.NowUtc());
      if (Reserve(*name)) return Result::Named;
      if (!host.Pause(kClockPollMs)) return Result::Stopped;
    }
  } catch (const std::bad_alloc&) {
    return Result::OutOfMemory;
  }
}

bool CTargetNames::Reserve(const std::u16string& name) {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_used.insert(name).second;
}
