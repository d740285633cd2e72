#include "services/service_host.h"

#include "fotrel_config.h"

std::u16string DefaultServiceHost() { return FOTREL_SERVICE_HOST; }

std::u16string ServiceUrl(const std::u16string& host, const char16_t* path) {
  return u"http://" + host + path;
}
