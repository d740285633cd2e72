// The stop signal over a pipe: Raise puts one byte in it, so poll sees the read end readable.
#include "net/stop_signal.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool MakeNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

}  // namespace

CStopSignal::CStopSignal() {
  int fds[2];
  if (pipe(fds) != 0) return;
  if (!MakeNonBlocking(fds[0]) || !MakeNonBlocking(fds[1])) {
    close(fds[0]);
    close(fds[1]);
    return;
  }
  m_object = fds[0];
  m_writeEnd = fds[1];
}

CStopSignal::~CStopSignal() {
  if (m_object >= 0) close(static_cast<int>(m_object));
  if (m_writeEnd >= 0) close(static_cast<int>(m_writeEnd));
}

void CStopSignal::Raise() {
  // Only the first raise writes, so the pipe never fills and the write never blocks.
  if (m_raised.exchange(true, std::memory_order_acq_rel)) return;
  if (m_writeEnd >= 0) {
    const char one = 1;
    ssize_t rc;
    do {
      rc = write(static_cast<int>(m_writeEnd), &one, 1);
    } while (rc < 0 && errno == EINTR);
  }
}

void CStopSignal::Reset() {
  // Flag first: a raise that slips in between leaves the flag set without a byte, which every
  // wait sees when it starts; the other order could leave a byte behind a cleared flag.
  m_raised.store(false, std::memory_order_release);
  if (m_object >= 0) {
    char scrap[16];
    while (read(static_cast<int>(m_object), scrap, sizeof scrap) > 0) {
    }
  }
}
