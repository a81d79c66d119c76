#pragma once

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace vo::test {

/// A directory of its own for one test, removed when the object goes.
class TempDir {
public:
   TempDir() {
      const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
      std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "t";
      for (char& c : name)
         if (c == '/')
            c = '_';
      path_ = std::filesystem::temp_directory_path() / "voutil-tests" /
              (name + "-" + std::to_string(counter()++));
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
   static int& counter() {
      static int n = 0;
      return n;
   }
   std::filesystem::path path_;
};

/// The whole content of a file, byte for byte.
inline std::string readFile(const std::string& name) {
   std::ifstream in(name, std::ios::binary);
   std::stringstream content;
   content << in.rdbuf();
   return content.str();
}

} // namespace vo::test
