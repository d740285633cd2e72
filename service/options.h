// The command line of fotrel-service.
#pragma once

#include <string>

#include "service/service.h"

namespace fotrel::service {

enum class OptionsResult { kRun, kHelp, kError };

// --listen ADDR:PORT (default 127.0.0.1:8080; an IPv6 address in brackets), --data DIR
// (default ./fotrel-data), --namespace URI (default the client's), --threads N,
// --piece-max-age HOURS (default 24, 0: never), and the test-only --fast-hash.
OptionsResult ParseOptions(int argc, const char* const* argv, ServiceConfig* config,
                           std::string* error);
// "HOST:PORT" or "[V6]:PORT" with a port from 0 to 65535.
bool ParseListen(const std::string& text, std::string* host, int* port);
extern const char kUsage[];

}  // namespace fotrel::service
