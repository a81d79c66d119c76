#include <common/TempDir.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sx/SxException.h>
#include <sx/SxFileIO.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using vo::test::readFile;
using vo::test::TempDir;

TEST(SxFileIO, WriteModeEmptiesTheFileAndWritesExactBytes) {
   TempDir dir;
   const SxString name = dir.file("log.txt").c_str();
   SxFileIO io;
   io.open(name, "wb", 0600);
   io.write(SxString("first run, long text\n"), -1);
   io.close();
   io.open(name, "wb", 0600);
   EXPECT_TRUE(io.hasMode("w"));
   EXPECT_FALSE(io.hasMode("r"));
   io.write(SxString("abc\n"), 2);
   io.write("\x00\x0A", 2);
   io.flush();
   EXPECT_EQ(io.getOffset(), 4);
   io.close();
   EXPECT_EQ(readFile(name.utf8()), std::string("ab\0\n", 4));
#ifndef _WIN32
   struct stat st {};
   ASSERT_EQ(::stat(name.utf8(), &st), 0);
   EXPECT_EQ(st.st_mode & 0777, 0600u);
#endif
}

TEST(SxFileIO, ReadsBackWithSizeSeekAndUtf8) {
   TempDir dir;
   const SxString name = dir.file("data").c_str();
   {
      SxFileIO io;
      io.open(name, "wb");
      io.write(SxString("h\xC3\xA9llo"));
   }
   SxFileIO io;
   io.open(name, "rb");
   EXPECT_EQ(io.getSize(), 6);
   io.seek(1);
   char two[2];
   EXPECT_EQ(io.read(two, 2), 2);
   EXPECT_EQ(std::string(two, 2), "\xC3\xA9");
   EXPECT_EQ(io.readUtf8(), "llo");
   EXPECT_EQ(io.read(two, 2), 0);
}

TEST(SxFileIO, FailuresNameTheFileAndLeaveTheObjectClosed) {
   TempDir dir;
   const SxString missing = (dir.path() / "no" / "such").string().c_str();
   SxFileIO io;
   try {
      io.open(missing, "rb");
      FAIL() << "opening a missing file must raise";
   } catch (const SxException& e) {
      EXPECT_TRUE(e.getMessage().str().starts_with("Can't open file '" + missing.str() + "' : "));
   }
   EXPECT_FALSE(io.isOpen());
   EXPECT_FALSE(io.hasMode("r"));
   EXPECT_THROW(io.write(SxString("x")), SxException);
   EXPECT_NO_THROW(io.close());
   EXPECT_EQ(SxFileIO::fileReadErr("f"), "Can't read from file 'f'");
   EXPECT_EQ(SxFileIO::fileWriteErr("f"), "Can't write to file 'f'");
}

TEST(SxFileIO, WritingToAReadOnlyFileRaisesATaggedWriteError) {
   TempDir dir;
   const SxString name = dir.file("ro").c_str();
   {
      SxFileIO io;
      io.open(name, "wb");
   }
   SxFileIO io;
   io.open(name, "rb");
   try {
      io.write(SxString("x"));
      io.flush();
      FAIL() << "a write through a read-only stream must fail";
   } catch (const SxException& e) {
      EXPECT_EQ(e.getTag(), "FileWriteError");
      EXPECT_TRUE(e.getMessage().contains(SxFileIO::fileWriteErr(name)));
   }
}

TEST(SxFileIO, TypedArraysRoundTripAndAReadStopsAtTheEnd) {
   TempDir dir;
   const SxString name = dir.file("ints").c_str();
   SxFileIO io;
   io.open(name, "wb");
   io.write(SxArray<int32_t>{1, -2, 3}, 2);
   io.write(SxArray<char>{'x'});
   io.close();
   io.open(name, "rb");
   SxArray<int32_t> ints;
   EXPECT_EQ(io.read(ints, 2), 2);
   EXPECT_EQ(ints, (SxArray<int32_t>{1, -2}));
   SxArray<char> rest(7);
   EXPECT_EQ(io.read(rest, 4), 1); // fewer only where the file ends
   EXPECT_EQ(rest, SxArray<char>{'x'});
   EXPECT_EQ(io.read(rest, 4), 0);
   EXPECT_TRUE(rest.isEmpty());
}

TEST(SxFileIO, AFileEndingInsideAnElementIsAShortRead) {
   TempDir dir;
   const SxString name = dir.file("odd").c_str();
   {
      SxFileIO io;
      io.open(name, "wb");
      io.write("12345", 5);
   }
   SxFileIO io;
   io.open(name, "rb");
   SxArray<int32_t> ints;
   try {
      (void)io.read(ints, 2);
      FAIL() << "half an element must not pass";
   } catch (const SxException& e) {
      EXPECT_TRUE(e.getMessage().str().starts_with(SxFileIO::fileReadErr(name).str()));
      EXPECT_TRUE(e.getTag().isEmpty());
   }
}

#ifndef _WIN32
// A device that opens but takes nothing, and a directory that opens but reads nothing.
TEST(SxFileIO, FailingTypedReadsAndWritesRaiseTheFileErrorTexts) {
   SxFileIO full;
   full.open("/dev/full", "wb");
   try {
      full.write(SxArray<char>(1 << 20));
      FAIL() << "a full device must refuse the bytes";
   } catch (const SxException& e) {
      EXPECT_EQ(e.getTag(), "FileWriteError");
      EXPECT_TRUE(e.getMessage().str().starts_with(SxFileIO::fileWriteErr("/dev/full").str()));
   }

   TempDir dir;
   SxFileIO directory;
   directory.open(dir.path().string().c_str(), "rb");
   SxArray<char> bytes;
   try {
      (void)directory.read(bytes, 16);
      FAIL() << "a directory must not read as a file";
   } catch (const SxException& e) {
      EXPECT_TRUE(
          e.getMessage().str().starts_with(SxFileIO::fileReadErr(directory.getName()).str()));
   }
}
#endif

TEST(SxFileIO, TypedAccessAgainstTheOpenModeStopsTheProcess) {
   TempDir dir;
   const SxString name = dir.file("f").c_str();
   const std::string banner = "Abnormal program stop in file src/sx/SxFileIO at line [0-9]+\\.";
   SxArray<char> bytes(4);
   EXPECT_EXIT(
       {
          SxFileIO io;
          io.open(name, "wb");
          (void)io.read(bytes, 4);
       },
       ::testing::ExitedWithCode(1), banner);
   EXPECT_EXIT(
       {
          SxFileIO io;
          io.open(name, "rb");
          io.write(bytes);
       },
       ::testing::ExitedWithCode(1), banner);
   EXPECT_EXIT(
       {
          SxFileIO io;
          (void)io.read(bytes, 4);
       },
       ::testing::ExitedWithCode(1), banner);
}

} // namespace
