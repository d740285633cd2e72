// upload_sink PORT: the benchmark peer as a program, for measuring fotrel-cli from outside.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "bench/upload_sink.h"

int main(int argc, char** argv) {
  UploadSink sink(argc > 1 ? static_cast<uint16_t>(std::atoi(argv[1])) : 0);
  if (!sink.Ok()) {
    std::fprintf(stderr, "upload_sink: cannot listen\n");
    return 1;
  }
  std::printf("%u\n", sink.Port());
  std::fflush(stdout);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigprocmask(SIG_BLOCK, &set, nullptr);
  int sig = 0;
  sigwait(&set, &sig);
  return 0;
}
