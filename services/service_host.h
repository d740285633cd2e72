// Where the services live: one host (optionally "host:port"), set when the program is built.
#pragma once

#include <string>

// The build-time service host, e.g. "127.0.0.1:8080".
std::u16string DefaultServiceHost();
// "http://" + host + path.
std::u16string ServiceUrl(const std::u16string& host, const char16_t* path);
