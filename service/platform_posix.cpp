#include "service/platform.h"

#include <csignal>
#include <ctime>

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace fotrel::service {

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

bool SyncFile(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  return fsync(fileno(file)) == 0;
}

bool SyncFolder(const std::filesystem::path& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

LinkResult LinkNew(const std::filesystem::path& from, const std::filesystem::path& to) {
  // link() fails with EEXIST instead of replacing, which rename() would do.
  if (link(from.c_str(), to.c_str()) == 0) return LinkResult::kDone;
  return errno == EEXIST ? LinkResult::kExists : LinkResult::kFailed;
}

std::string UtcNowText() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

static sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

void BlockStopSignals() {
  sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // A client that goes away mid-response must not end the process.
  std::signal(SIGPIPE, SIG_IGN);
}

void WaitForStopSignal() {
  sigset_t set = StopSignals();
  int received = 0;
  while (sigwait(&set, &received) != 0) {
  }
}

void RaiseStopSignal() { kill(getpid(), SIGTERM); }

}  // namespace fotrel::service
