#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);  // writing to a connection the service closed is an error, not a signal
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
