// Test entry: the platform set-up every core test relies on.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <objbase.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // Service clients create the XML reader as a COM object on the calling thread.
  CoInitialize(nullptr);
#endif
  testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
#ifdef _WIN32
  CoUninitialize();
#endif
  return rc;
}
