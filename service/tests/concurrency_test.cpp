// Many clients at once: eight uploaders, each on its own kept-alive connection, for four users.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "service_fixture.h"

TEST(Concurrency, EightUploadersAtOnceStoreEveryFileWhole) {
  TempFolder root;
  RunningService service(root.Path() / "data");
  ASSERT_TRUE(service.Started()) << service.Error();
  const int kUploaders = 8;
  const int kFilesEach = 3;
  for (int u = 0; u < kUploaders / 2; ++u) {
    std::string name = "user" + std::to_string(u);
    ASSERT_EQ(ResultOf(CreateUser(service.Port(), name, "pw", name + "@x"), "CreateUser"), "1");
  }
  std::atomic<int> failures{0};
  std::vector<std::thread> uploaders;
  for (int k = 0; k < kUploaders; ++k) {
    uploaders.emplace_back([&, k] {
      RawConnection connection(service.Port());
      std::string user = "user" + std::to_string(k / 2);
      for (int f = 0; f < kFilesEach; ++f) {
        // Two uploaders share each user; their FileNames differ, and each also repeats a name
        // of its own, so collisions happen under load as well.
        std::string name = "k" + std::to_string(k) + (f == 2 ? "-0" : "-" + std::to_string(f)) + ".jpg";
        std::string photo = Pattern(1000 + 37 * static_cast<size_t>(k * kFilesEach + f) * 211,
                                    static_cast<unsigned>(k * 10 + f));
        if (!UploadWhole(service.Port(), photo, name, user, &connection)) ++failures;
        if (!LoginUser(service.Port(), user, "pw").ok) ++failures;
      }
    });
  }
  for (std::thread& t : uploaders) t.join();
  EXPECT_EQ(failures.load(), 0);

  for (int k = 0; k < kUploaders; ++k) {
    std::string folder = "user" + std::to_string(k / 2);
    for (int f = 0; f < kFilesEach; ++f) {
      std::string name = "k" + std::to_string(k) + "-" + std::to_string(f == 2 ? 0 : f) +
                         (f == 2 ? "-1" : "") + ".jpg";
      std::string expected = Pattern(1000 + 37 * static_cast<size_t>(k * kFilesEach + f) * 211,
                                     static_cast<unsigned>(k * 10 + f));
      EXPECT_TRUE(ReadFile(root.Path() / "data/uploads" / folder / name) == expected)
          << folder << "/" << name;
    }
  }
  EXPECT_EQ(Query(root.Path() / "data", "SELECT COUNT(*) FROM photos")[0][0],
            std::to_string(kUploaders * kFilesEach));
  EXPECT_TRUE(FilesBelow(root.Path() / "data/pieces").empty());
  EXPECT_TRUE(FilesBelow(root.Path() / "data/tmp").empty());
}
