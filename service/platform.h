// What the service needs from the operating system beyond the standard library: durable
// writes, creating a name without replacing anything, the UTC clock, and the stop signal.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace fotrel::service {

// std::fopen for a path (whose native form is wide on some systems).
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);
// Flushes the stream and asks the system to put the file's data on the disk.
bool SyncFile(std::FILE* file);
// Makes the entries of a folder (a rename or a new link inside it) durable.
bool SyncFolder(const std::filesystem::path& folder);

enum class LinkResult { kDone, kExists, kFailed };
// Gives the file `from` the additional name `to`, atomically and only when `to` does not exist
// yet; an existing `to` is never touched.
LinkResult LinkNew(const std::filesystem::path& from, const std::filesystem::path& to);

// Current UTC time as "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcNowText();

// Blocks the stop signals (interrupt, terminate) in the calling thread and in every thread it
// starts later; call first thing in main.
void BlockStopSignals();
// Waits until one of the blocked stop signals arrives.
void WaitForStopSignal();
// Sends a stop signal to the own process (wakes WaitForStopSignal).
void RaiseStopSignal();

}  // namespace fotrel::service
