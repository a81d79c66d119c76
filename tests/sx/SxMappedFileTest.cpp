#include <common/Messages.h>
#include <common/TempDir.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sx/SxMappedFile.h>

namespace {

class SxMappedFileTest : public ::testing::Test {
protected:
   SxString write(const std::string& bytes) {
      const std::string name = dir.file("f.bin");
      std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
      return name.c_str();
   }
   vo::test::TempDir dir;
};

TEST_F(SxMappedFileTest, GivesTheBytesAsTheyAre) {
   const std::string bytes = std::string("line\r\n\xFF\xC3", 8) + std::string(100000, 'x');
   const SxMappedFile mapped(write(bytes));
   EXPECT_TRUE(mapped.isMapped());
   EXPECT_EQ(mapped.bytes(), bytes);

   const SxMappedFile empty(write(""));
   EXPECT_FALSE(empty.isMapped());
   EXPECT_TRUE(empty.bytes().empty());
}

#ifndef _WIN32
TEST_F(SxMappedFileTest, AFileWithoutASizeIsRead) {
   const SxMappedFile status("/proc/self/status");
   EXPECT_FALSE(status.isMapped());
   EXPECT_NE(status.bytes().find("Name:"), std::string_view::npos);
}
#endif

TEST_F(SxMappedFileTest, FailuresAreThoseOfOpeningAndReading) {
   const SxString missing = dir.file("missing").c_str();
   EXPECT_EQ(vo::test::messagesOf([&] { SxMappedFile file(missing); }),
             std::vector<std::string>{"Can't open file '" + missing.str() +
                                      "' : No such file or directory"});
}

} // namespace
