// Entry of service_tests.
#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char** argv) {
  // A test that writes to a connection the service has closed gets an error, not a signal.
  std::signal(SIGPIPE, SIG_IGN);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
