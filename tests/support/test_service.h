// The reference service that the test run started for window-test flows, if any.
#pragma once

#include <cstdlib>
#include <string>

// "127.0.0.1:PORT" from FOTREL_TEST_SERVICE, or empty when the run has no service.
inline std::u16string TestServiceHost() {
  const char* value = std::getenv("FOTREL_TEST_SERVICE");
  if (!value) return std::u16string();
  std::string text(value);
  return std::u16string(text.begin(), text.end());
}
