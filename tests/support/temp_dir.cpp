#include "tests/support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::mt19937_64 rng(static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  for (;;) {
    m_path = std::filesystem::temp_directory_path() /
             ("fotrel-test-" + std::to_string(rng() % 1000000000) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (std::filesystem::create_directory(m_path, ec)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

std::filesystem::path TempDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  std::filesystem::path p = m_path / std::filesystem::u8path(name);
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return p;
}

std::vector<uint8_t> PatternBytes(size_t count, uint8_t seed) {
  std::vector<uint8_t> v(count);
  for (size_t i = 0; i < count; ++i) v[i] = static_cast<uint8_t>((i + seed) % 251);
  return v;
}
