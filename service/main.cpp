// fotrel-service: the reference Passport and Upload services and the web pages, so that the
// client runs end to end on one machine.
#include <cstdio>
#include <thread>

#include "service/options.h"
#include "service/platform.h"
#include "service/service.h"

using namespace fotrel::service;

int main(int argc, char** argv) {
  // Before any thread starts, so that only the waiting thread below sees the stop signals.
  BlockStopSignals();
  ServiceConfig config;
  std::string error;
  switch (ParseOptions(argc, argv, &config, &error)) {
    case OptionsResult::kHelp:
      std::fputs(kUsage, stdout);
      return 0;
    case OptionsResult::kError:
      std::fprintf(stderr, "fotrel-service: %s\n%s", error.c_str(), kUsage);
      return 2;
    case OptionsResult::kRun:
      break;
  }
  Service service(config);
  if (!service.Open(&error)) {
    std::fprintf(stderr, "fotrel-service: %s\n", error.c_str());
    return 1;
  }
  int port = service.Bind(&error);
  if (port < 0) {
    std::fprintf(stderr, "fotrel-service: %s\n", error.c_str());
    return 1;
  }
  const ServiceConfig& running = service.Config();
  bool v6 = running.host.find(':') != std::string::npos;
  std::fprintf(stderr, "fotrel-service: listening on http://%s%s%s:%d/ (data in %s, namespace %s)%s\n",
               v6 ? "[" : "", running.host.c_str(), v6 ? "]" : "", port,
               running.dataFolder.u8string().c_str(), running.serviceNamespace.c_str(),
               running.hashStrength == HashStrength::kTestOnlyMinimum
                   ? " -- TEST-ONLY weak password hashing"
                   : "");
  std::thread stopper([&service] {
    WaitForStopSignal();
    service.Stop();
  });
  bool ok = service.Run();
  if (!ok) {
    // The server ended on its own: wake the waiting thread so it can be joined.
    RaiseStopSignal();
  }
  stopper.join();
  std::fprintf(stderr, "fotrel-service: stopped\n");
  return ok ? 0 : 1;
}
