// A fresh folder under the system's temporary folder, removed with everything in it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& Path() const { return m_path; }
  // Writes `bytes` to a file in the folder and returns its full path.
  std::filesystem::path Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::filesystem::path m_path;
};

// Bytes 0, 1, 2, ... (mod 251, so pieces never line up with the pattern by accident).
std::vector<uint8_t> PatternBytes(size_t count, uint8_t seed = 0);
