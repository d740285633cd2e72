#include "service/options.h"

#include <string>
#include <string_view>

namespace fotrel::service {

const char kUsage[] =
    "usage: fotrel-service [--listen ADDR:PORT] [--data DIR] [--namespace URI] [--threads N]\n"
    "                      [--piece-max-age HOURS]\n"
    "  --listen ADDR:PORT  where to accept connections (default 127.0.0.1:8080)\n"
    "  --data DIR          folder for the database, pieces and photos (default ./fotrel-data)\n"
    "  --namespace URI     namespace of both SOAP services (default the client's)\n"
    "  --threads N         connections served at once (default 32)\n"
    "  --piece-max-age HOURS\n"
    "                      remove the pieces of uploads left unfinished for longer, at start\n"
    "                      and hourly (default 24, 0: never)\n"
    "  --fast-hash         FOR TESTS ONLY: hash passwords with the weakest Argon2id limits\n";

namespace {

constexpr long kMaxPieceAgeHours = 8760;  // a year

bool ParseNumber(std::string_view text, long max, long* value) {
  if (text.empty() || text.size() > 9) return false;
  long n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n > max) return false;
  *value = n;
  return true;
}

}  // namespace

bool ParseListen(const std::string& text, std::string* host, int* port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string address = text.substr(0, colon);
  if (address.front() == '[') {
    if (address.size() < 3 || address.back() != ']') return false;
    address = address.substr(1, address.size() - 2);
  } else if (address.find(':') != std::string::npos) {
    return false;  // an IPv6 address needs its brackets
  }
  long number = 0;
  if (!ParseNumber(std::string_view(text).substr(colon + 1), 65535, &number)) return false;
  *host = address;
  *port = static_cast<int>(number);
  return true;
}

OptionsResult ParseOptions(int argc, const char* const* argv, ServiceConfig* config,
                           std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string_view option = argv[i];
    auto value = [&](const char** out) {
      if (i + 1 >= argc) {
        *error = std::string(option) + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    const char* text = nullptr;
    if (option == "--help" || option == "-h") return OptionsResult::kHelp;
    if (option == "--fast-hash") {
      config->hashStrength = HashStrength::kTestOnlyMinimum;
    } else if (option == "--listen") {
      if (!value(&text)) return OptionsResult::kError;
      if (!ParseListen(text, &config->host, &config->port)) {
        *error = "--listen expects ADDR:PORT, not \"" + std::string(text) + "\"";
        return OptionsResult::kError;
      }
    } else if (option == "--data") {
      if (!value(&text)) return OptionsResult::kError;
      if (!*text) {
        *error = "--data needs a folder";
        return OptionsResult::kError;
      }
      config->dataFolder = std::filesystem::u8path(text);
    } else if (option == "--namespace") {
      if (!value(&text)) return OptionsResult::kError;
      if (!*text) {
        *error = "--namespace needs a URI";
        return OptionsResult::kError;
      }
      config->serviceNamespace = text;
    } else if (option == "--threads") {
      long threads = 0;
      if (!value(&text)) return OptionsResult::kError;
      if (!ParseNumber(text, 1024, &threads) || threads < 1) {
        *error = "--threads expects a number from 1 to 1024";
        return OptionsResult::kError;
      }
      config->threads = static_cast<unsigned>(threads);
    } else if (option == "--piece-max-age") {
      long hours = 0;
      if (!value(&text)) return OptionsResult::kError;
      if (!ParseNumber(text, kMaxPieceAgeHours, &hours)) {
        *error = "--piece-max-age expects a number of hours from 0 to " +
                 std::to_string(kMaxPieceAgeHours) + " (0: never)";
        return OptionsResult::kError;
      }
      config->pieceMaxAgeHours = static_cast<unsigned>(hours);
    } else {
      *error = "unknown option " + std::string(option);
      return OptionsResult::kError;
    }
  }
  return OptionsResult::kRun;
}

}  // namespace fotrel::service
