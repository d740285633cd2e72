#include "cli/console.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "net/codepage.h"

namespace {
std::atomic<bool> g_interrupted{false};
void OnInterrupt(int) { g_interrupted = true; }
}  // namespace

void StartPlatform() {}
void StopPlatform() {}

std::vector<std::u16string> CommandLineWords(int argc, char** argv) {
  std::vector<std::u16string> words;
  for (int i = 1; i < argc; ++i) words.push_back(AnsiToUtf16(argv[i]));
  return words;
}

void Print(std::u16string_view text) {
  std::string bytes = Utf16ToAnsi(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

void PrintError(std::u16string_view text) {
  std::string bytes = Utf16ToAnsi(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

void InstallInterruptFlag() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool Interrupted() { return g_interrupted.load(); }
