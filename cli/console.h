// What the command-line tool needs from the console of its platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Sets up what service calls need on this thread (COM on Windows) and undoes it.
void StartPlatform();
void StopPlatform();
// The command line as UTF-16 words, without the program name.
std::vector<std::u16string> CommandLineWords(int argc, char** argv);
// Writes UTF-16 text as UTF-8 (the console is switched to UTF-8 where needed).
void Print(std::u16string_view text);
void PrintError(std::u16string_view text);
bool StdoutIsTerminal();
// Ctrl-C sets a flag instead of killing the process, so an upload can stop between calls.
void InstallInterruptFlag();
bool Interrupted();
