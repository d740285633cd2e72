#include "cli/console.h"

#include <io.h>
#include <objbase.h>
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> g_interrupted{false};

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT || type == CTRL_CLOSE_EVENT) {
    g_interrupted = true;
    return TRUE;
  }
  return FALSE;
}

std::string ToUtf8(std::u16string_view text) {
  if (text.empty()) return std::string();
  const wchar_t* w = reinterpret_cast<const wchar_t*>(text.data());
  int n = WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

void Write(FILE* f, std::u16string_view text) {
  static bool once = [] {
    SetConsoleOutputCP(CP_UTF8);
    return true;
  }();
  (void)once;
  std::string bytes = ToUtf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fflush(f);
}

}  // namespace

// The service clients create their XML reader as a COM object on the calling thread.
void StartPlatform() { CoInitialize(nullptr); }
void StopPlatform() { CoUninitialize(); }

std::vector<std::u16string> CommandLineWords(int, char**) {
  // argv is in the ANSI code page; the wide command line keeps every character.
  std::vector<std::u16string> words;
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args) return words;
  for (int i = 1; i < count; ++i) words.emplace_back(reinterpret_cast<const char16_t*>(args[i]));
  LocalFree(args);
  return words;
}

void Print(std::u16string_view text) { Write(stdout, text); }
void PrintError(std::u16string_view text) { Write(stderr, text); }

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

void InstallInterruptFlag() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

bool Interrupted() { return g_interrupted.load(); }
