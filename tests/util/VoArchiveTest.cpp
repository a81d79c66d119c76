#include <common/Messages.h>
#include <common/TempDir.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sx/SxFS.h>
#include <voutil/VoArchive.h>
#include <voutil/VoSilentProcess.h>
#include <voutil/VoSysEnv.h>

namespace fs = std::filesystem;
using vo::test::messagesOf;
using vo::test::readFile;
using vo::test::TempDir;

namespace {

// The messages of an exception chain, outermost first.
void writeFile(const fs::path& p, const std::string& content) {
   fs::create_directories(p.parent_path());
   std::ofstream(p, std::ios::binary) << content;
}

class VoArchiveTest : public ::testing::Test {
protected:
   void TearDown() override { VoSysEnv::setRTERootDir(""); }
   TempDir dir_;
};

#ifndef _WIN32
TEST_F(VoArchiveTest, SevenZipRoundTripsAFileAndADirectoryByteForByte) {
   std::string binary;
   for (int i = 0; i < 70000; ++i)
      binary += static_cast<char>(i * 7919 % 256);
   writeFile(dir_.path() / "src" / "a.bin", binary);
   writeFile(dir_.path() / "src" / "sub" / "b.txt", "second file\n");
   const SxString archive = dir_.file("all.7z").c_str();
   VoArchive::compress7z(dir_.file("src").c_str(), archive);
   VoArchive::extract7z(archive, dir_.file("out/deep").c_str());
   EXPECT_EQ(readFile(dir_.file("out/deep/a.bin")), binary);
   EXPECT_EQ(readFile(dir_.file("out/deep/b.txt")), "second file\n") << "stored paths are dropped";

   VoArchive::compress7z(dir_.file("src/sub/b.txt").c_str(), dir_.file("one.7z").c_str());
   VoArchive::extract7z(dir_.file("one.7z").c_str(), dir_.file("one").c_str());
   EXPECT_EQ(readFile(dir_.file("one/b.txt")), "second file\n");
}

TEST_F(VoArchiveTest, TarRoundTripsADirectoryAndAFile) {
   writeFile(dir_.path() / "data" / "run1" / "x" / "y.txt", "nested\n");
   writeFile(dir_.path() / "data" / "single.txt", "alone\n");
   VoArchive::compressZip(dir_.file("data/run1").c_str(), dir_.file("run1.tgz").c_str());
   VoArchive::extractZip(dir_.file("run1.tgz").c_str(), dir_.file("back").c_str());
   EXPECT_EQ(readFile(dir_.file("back/run1/x/y.txt")), "nested\n");
   VoArchive::compressZip(dir_.file("data/single.txt").c_str(), dir_.file("single.tgz").c_str());
   VoArchive::extractZip(dir_.file("single.tgz").c_str(), dir_.file("back").c_str());
   EXPECT_EQ(readFile(dir_.file("back/single.txt")), "alone\n");
}

TEST_F(VoArchiveTest, AToolExitCodeIsReportedWithTheExactArguments) {
   const fs::path fake = dir_.path() / "root" / "7z" / "7zr";
   writeFile(fake, "#!/bin/sh\nexit 2\n");
   fs::permissions(fake, fs::perms::owner_all);
   VoSysEnv::setRTERootDir(dir_.file("root").c_str());
   const SxString tool = VoSysEnv::getRTERootDir() + "/7z/7zr";
   EXPECT_EQ(messagesOf([] { VoArchive::compress7z("D:/src", "D:/a.7z"); }),
             (std::vector<std::string>{
                 "Compression of target file failed",
                 "Could not execute archive process " + tool.str() +
                     " with args :  a -t7z D:/a.7z -m0=lzma2 -mx=9 D:/src Exit code : 2"}));
   const SxString archive = dir_.file("exists.7z").c_str();
   writeFile(archive.utf8(), "x");
   EXPECT_EQ(messagesOf([&] { VoArchive::extract7z(archive, dir_.file("D-out").c_str()); }),
             (std::vector<std::string>{"Extraction of archive failed",
                                       "Could not execute archive process " + tool.str() +
                                           " with args :  e -aoa -o" + dir_.file("D-out") + " " +
                                           archive.str() + " Exit code : 2"}));
   EXPECT_TRUE(fs::is_directory(dir_.file("D-out"))) << "the destination stays";
}
#endif

TEST_F(VoArchiveTest, AMissingToolIsNamedWithItsDoubledSlash) {
   VoSysEnv::setRTERootDir(dir_.file("empty-root").c_str());
   const SxString tool =
       VoSysEnv::getRTERootDir() + (VO_TEST_EXE_SUFFIX[0] ? "/7z/7zr.exe" : "/7z/7zr");
   EXPECT_NE(tool.find("//7z/"), -1);
   EXPECT_EQ(messagesOf([] { VoArchive::compress7z("src", "a.7z"); }),
             (std::vector<std::string>{"Compression of target file failed",
                                       "Archive tool " + tool.str() + " not found"}));
   const SxString archive = dir_.file("a.7z").c_str();
   writeFile(archive.utf8(), "x");
   EXPECT_EQ(messagesOf([&] { VoArchive::extract7z(archive, dir_.file("out").c_str()); }),
             (std::vector<std::string>{"Extraction of archive failed",
                                       "Archive tool " + tool.str() + " not found"}));
}

TEST_F(VoArchiveTest, AMissingArchiveIsReportedUnwrappedAndCreatesNothing) {
   const SxString missing = dir_.file("missing.7z").c_str();
   const SxString out = dir_.file("never").c_str();
   EXPECT_EQ(messagesOf([&] { VoArchive::extract7z(missing, out); }),
             (std::vector<std::string>{"Archive file " + missing.str() + " not found"}));
   EXPECT_EQ(messagesOf([&] { VoArchive::extractZip(missing, out); }),
             (std::vector<std::string>{"Archive file " + missing.str() + " not found"}));
   EXPECT_FALSE(fs::exists(out.utf8()));
   try {
      VoArchive::extract7z(missing, out);
   } catch (const SxException& e) {
      EXPECT_EQ(e.getSource(), "src/util/VoArchive");
   }
}

#ifdef _WIN32
TEST_F(VoArchiveTest, WithoutTheSystemTarItsToolIsReportedMissing) {
   const SxString tar = "C:/Windows/System32/tar.exe";
   if (SxFSAction::test_f(tar))
      GTEST_SKIP() << "this system has its own tar.exe";
   EXPECT_EQ(messagesOf([] { VoArchive::compressZip("D:/data/run1", "D:/run1.tgz"); }),
             (std::vector<std::string>{"Compression of target file failed",
                                       "Archive tool " + tar.str() + " not found"}));
}
#endif

TEST(VoArchiveTimers, PhasesHaveTheirOwnIdsAndNames) {
   const int compression = SxTimer::getTimerId(Timer::Compression);
   const int start = SxTimer::getStartId<Timer::ArchiveTimer>();
   EXPECT_EQ(compression, start + 1);
   EXPECT_EQ(SxTimer::getTimerId(Timer::Decompression), start + 2);
   SxTimer& table = SxTimer::getGlobalTimer();
   EXPECT_EQ(table.getName(compression), "Data Compression");
   EXPECT_EQ(table.getName(start + 2), "Data Decompression");
   EXPECT_EQ(table.getName(start), "") << "there is no phase 0";
   const int64_t before = table.getCount(start + 2);
   EXPECT_THROW(VoArchive::extractZip("/no/such/archive", "/tmp/x"), SxException);
   EXPECT_EQ(table.getCount(start + 2), before + 1) << "a failed call is timed too";
}

TEST(VoSilentProcess, SilenceDropsOutputAndLoudnessAppendsLines) {
#ifdef _WIN32
   VoSilentProcess p(std::getenv("ComSpec"), {"/c", "echo out"});
#else
   VoSilentProcess p("/bin/sh", {"-c", "echo out; echo err >&2"});
#endif
   EXPECT_TRUE(p.isSilent());
   EXPECT_EQ(p.getCommunication(), 6);
   EXPECT_EQ(p.run({}), 0);
   EXPECT_EQ(p.getStdout(), "");
   EXPECT_EQ(p.getStderr(), "");

   p.setSilent(false);
   EXPECT_EQ(p.getCommunication(), 0);
   p.readFromStdout("abc");
   p.readFromStdout("def");
   EXPECT_EQ(p.getStdout(), "abc\ndef\n");
   EXPECT_EQ(p.getStderr(), "");
   p.setSilent(true);
   EXPECT_EQ(p.getCommunication(), 6);
   p.readFromStderr("dropped");
   EXPECT_EQ(p.getStderr(), "");
}

} // namespace
