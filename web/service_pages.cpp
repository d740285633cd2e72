#include "web/service_pages.h"

#include "services/service_host.h"

namespace {

std::u16string& HostOverride() {
  static std::u16string host;
  return host;
}

}  // namespace

std::wstring ServicePageUrl(const std::wstring& pathAndQuery) {
  const std::u16string& host = HostOverride().empty() ? DefaultServiceHost() : HostOverride();
  // Window code: wchar_t is a UTF-16 code unit here.
  std::wstring url(L"http://");
  url.append(host.begin(), host.end());
  url += pathAndQuery;
  return url;
}

void SetServicePageHost(const std::u16string& host) { HostOverride() = host; }
