// Eight uploaders at once, each on its own kept-alive connection, two per user, with names that
// collide under load.
#include <atomic>

#include "service_fixture.h"

using Concurrency = ServiceTest;

TEST_F(Concurrency, EightUploadersAtOnceStoreEveryFileWhole) {
  for (int u = 0; u < 4; ++u) Register("user" + std::to_string(u));
  // Uploader k's file f; its third file repeats the name of its first.
  auto photo = [](int k, int f) { return Pattern(1000 + 37 * 211 * static_cast<size_t>(k * 3 + f), k * 10 + f); };
  auto name = [](int k, int f) { return "k" + std::to_string(k) + "-" + std::to_string(f) + ".jpg"; };
  std::atomic<int> failures{0};
  std::vector<std::thread> uploaders;
  for (int k = 0; k < 8; ++k) {
    uploaders.emplace_back([&, k] {
      RawConnection connection(Port());
      std::string user = "user" + std::to_string(k / 2);
      for (int f = 0; f < 3; ++f) {
        if (!SendFile(Port(), photo(k, f), name(k, f == 2 ? 0 : f), user, &connection)) ++failures;
        if (!LoginUser(Port(), user, "pw").ok) ++failures;
      }
    });
  }
  for (std::thread& t : uploaders) t.join();
  EXPECT_EQ(failures.load(), 0);
  for (int k = 0; k < 8; ++k) {
    fs::path folder = Data() / "uploads" / ("user" + std::to_string(k / 2));
    EXPECT_TRUE(ReadFile(folder / name(k, 0)) == photo(k, 0)) << k;
    EXPECT_TRUE(ReadFile(folder / name(k, 1)) == photo(k, 1)) << k;
    EXPECT_TRUE(ReadFile(folder / ("k" + std::to_string(k) + "-0-1.jpg")) == photo(k, 2)) << k;
  }
  EXPECT_EQ(Query(Data(), "SELECT COUNT(*) FROM photos")[0][0], "24");
  EXPECT_TRUE(FilesBelow(Data() / "pieces").empty());
  EXPECT_TRUE(FilesBelow(Data() / "tmp").empty());
}
