#pragma once

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <string>

namespace vo::test {

/// A directory of its own for one test, removed when the object goes. The name carries a
/// random number of the run, so that two runs of the same test at once (two build trees, say)
/// never share or clear each other's directory. It goes under base, the system's temporary
/// directory unless a test needs another file system.
class TempDir {
public:
   explicit TempDir(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
      static const std::string run = std::to_string(std::random_device{}());
      static std::atomic<int> counter = 0;
      const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
      std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "t";
      std::replace(name.begin(), name.end(), '/', '_');
      path_ = base / "voutil-tests" / (name + "-" + run + "-" + std::to_string(counter++));
      std::filesystem::remove_all(path_);
      std::filesystem::create_directories(path_);
   }
   ~TempDir() {
      std::error_code ignored;
      std::filesystem::remove_all(path_, ignored);
   }
   TempDir(const TempDir&) = delete;
   TempDir& operator=(const TempDir&) = delete;

   [[nodiscard]] const std::filesystem::path& path() const { return path_; }
   [[nodiscard]] std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
   std::filesystem::path path_;
};

/// The whole content of a file, byte for byte.
inline std::string readFile(const std::string& name) {
   std::ifstream in(name, std::ios::binary);
   return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Replaces the content of a file, byte for byte.
inline void writeFile(const std::filesystem::path& name, const std::string& content) {
   std::ofstream(name, std::ios::binary) << content;
}

} // namespace vo::test
